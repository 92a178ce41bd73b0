// What every DS needs before anything else of an image is read: a header and
// ARM9 and ARM7 binaries inside the file. A file without them is not a DS
// image in standard form (a loader with a prefix before its header, an
// all-zero header, some other file) and is refused as such, naming the main
// reason rather than one absurd field.
#pragma once

#include <cstdint>
#include <vector>

#include "nds/io/byte_source.h"
#include "nds/format/header.h"

namespace nds {

struct ArmBinary {
  std::uint64_t offset = 0;
  std::uint64_t length = 0;  // the ARM9's includes its footer when it has one
};

struct DsHeader {
  std::vector<std::uint8_t> part;  // the header part: 0x200 bytes, 0x1000 with the DSi header
  ArmBinary arm9, arm7;
  bool arm9_footer = false;

  HeaderView view() const { return HeaderView(part); }
};

DsHeader read_ds_header(const ByteSource& rom);

}  // namespace nds
