// Stage 1 of -c with a layout: the layout checked against the parts as they
// are now. Every part must still be what the layout can place (the data
// folder holds the same files, a file that shared bytes kept its size, an
// item the image had still has bytes); any other answer is an Error, and -c
// builds a compact image instead.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "nds/layout/layout.h"
#include "nds/layout/parts.h"
#include "nds/rebuild/rebuild_plan.h"

namespace nds {

// A header item whose bytes lay inside a shared region and whose part no
// longer holds them: it gets a place of its own after that region.
struct Detached {
  Kind kind = Kind::Arm7;
  std::size_t region = 0;
  std::uint64_t size = 0;
};

struct CheckedLayout {
  std::vector<std::string> names;  // data folder path by file ID, for named files
  std::vector<Piece> contents;     // per region: where its bytes come from now, and how many
  std::vector<Detached> detached;
};

CheckedLayout check_layout(const Parts& parts, const Inputs& inputs, const Layout& layout,
                           const PartPath& extra);

// The part that holds a header item's bytes; null for the header, FNT and FAT.
const PartPath* part_of(const Parts& parts, Kind kind);

}  // namespace nds
