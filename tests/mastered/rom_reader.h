// An independent reader of DS images for the tests: header fields, FAT, FNT
// and overlay tables parsed straight from the bytes, so that ndstool's output
// is judged without ndstool's own library.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

namespace voderer::testgen {

struct RomFat {
  std::uint32_t start = 0, end = 0;
};

struct RomDir {
  std::uint16_t id = 0, parent = 0, first_file = 0;
  std::uint32_t subtable = 0;  // relative to the FNT
  std::string path;            // raw name bytes joined by '/'
};

struct RomImage {
  std::span<const std::uint8_t> bytes;
  std::vector<RomFat> fat;   // end before start or past the end of the file included
  std::vector<RomDir> dirs;  // by directory ID - 0xF000
  std::map<std::uint16_t, std::string> names;  // file ID -> raw path

  std::uint32_t u32(std::size_t off) const;
  std::uint16_t u16(std::size_t off) const;
  bool dsi() const { return (bytes[0x12] & 2) != 0; }
  std::uint32_t header_size() const { return dsi() ? 0x1000 : 0x200; }
  // Whether the CRCs stored in the header and the banner match their bytes.
  bool header_crc_ok() const;
};

// Tables that do not lie whole in the file count as absent, FAT ranges are
// taken as they stand; throws std::runtime_error when the FNT is broken.
RomImage read_rom(std::span<const std::uint8_t> bytes);

}  // namespace voderer::testgen
