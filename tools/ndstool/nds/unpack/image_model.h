// -x's first stage: everything it learns from an image, after every check
// passed, before anything is written.
#pragma once

#include <cstdint>
#include <vector>

#include "nds/io/byte_source.h"
#include "nds/format/crcs.h"
#include "nds/format/file_table.h"
#include "nds/layout/layout.h"
#include "nds/layout/notes.h"

namespace nds {

// A laid-out piece of the image with bytes of its own (never Fill or Raw).
using Item = Region;

struct ImageModel {
  std::uint64_t size = 0;
  std::vector<std::uint8_t> header;  // the header part
  bool arm9_footer = false;
  std::vector<FatEntry> fat;
  std::vector<Source> source;  // where each FAT entry's bytes go
  std::vector<std::uint8_t> fnt;
  FileTree tree;
  std::vector<std::uint32_t> overlays;  // file IDs written to the overlay folder
  std::vector<Item> items;              // non-empty, disjoint, by offset
  std::vector<Pointer> pointers;        // zero-length items, bytes inside other items
  std::vector<Kept> kept;               // what was not read, kept as it is
  CrcsBefore crcs;
  Notes notes;  // what was unusual and how it is kept
};

// Checks a whole image and describes it: refuses only what cannot be read
// safely or kept exactly (ds_header.h, header_items.h, file_system.h,
// placement.h); reads only through the source, so it runs on a file or on
// bytes in memory alike.
ImageModel analyse_image(const ByteSource& rom);

}  // namespace nds
