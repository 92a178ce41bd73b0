// How -x lays the items it found out as the layout's regions, every byte of
// the file in at most one of them. Items that overlap each other keep their
// bytes in one shared region (raw, in the extra file), each a pointer into
// it; a FAT entry whose bytes lie in another item's points at them; a
// zero-length item points wherever its offset says; what -x did not read is
// kept as it is.
#pragma once

#include <vector>

#include "nds/format/ds_header.h"
#include "nds/format/file_system.h"
#include "nds/format/header_items.h"
#include "nds/layout/layout.h"
#include "nds/layout/notes.h"

namespace nds {

struct Placement {
  std::vector<Region> items;  // non-empty, disjoint, by offset
  std::vector<Pointer> pointers;
  std::vector<Kept> kept;
};

Placement place_items(const DsHeader& header, const HeaderItems& items,
                      const FileSystem& file_system, Notes& notes);

}  // namespace nds
