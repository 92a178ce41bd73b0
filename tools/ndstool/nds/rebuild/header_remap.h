// Stage 4 of -c with a layout: the header's fields and the FAT's entries
// for where everything went, through the offset map of the placed regions.
#pragma once

#include <cstdint>
#include <vector>

#include "nds/layout/layout.h"
#include "nds/rebuild/layout_check.h"
#include "nds/rebuild/region_placement.h"

namespace nds {

void remap_header(std::vector<std::uint8_t>& header, std::vector<std::uint8_t>& fat,
                  const Layout& layout, const RegionPlaces& places, const CheckedLayout& checked,
                  std::uint64_t new_size);

}  // namespace nds
