// The items the header points at besides the ARM binaries: FNT, FAT, the
// two overlay tables and the banner. Each is absent, empty (wherever its
// offset points, past the end of the file too), has bytes inside the file,
// or is kept as it is without being read (it lies partly past the end of
// the file or inside the header). Only sizes no image can have are refused.
#pragma once

#include <cstdint>

#include "nds/io/byte_source.h"
#include "nds/format/ds_header.h"
#include "nds/layout/layout.h"
#include "nds/layout/notes.h"

namespace nds {

enum class ItemState { Absent, Empty, Bytes, Kept };

struct HeaderItem {
  Kind kind = Kind::Fnt;
  std::uint64_t offset = 0;
  std::uint64_t length = 0;  // the header's size field; the banner's size by version
  ItemState state = ItemState::Absent;
};

struct HeaderItems {
  HeaderItem fnt, fat, ovt9, ovt7, banner;
};

HeaderItems locate_items(const ByteSource& rom, const DsHeader& header, Notes& notes);

// "FNT", "ARM9 overlay table", ... for messages.
const char* item_label(Kind kind);

}  // namespace nds
