// Small DS ROM images built by the tests: every item of the format in a few
// KiB, laid out the way homebrew tools lay them out, with valid CRCs.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace ndstest {

using Bytes = std::vector<std::uint8_t>;

struct MiniRom {
  bool dsi = false;         // 0x1000 header part, 0x4000 header, ARM9i/ARM7i after the DS part
  std::uint8_t pad = 0x00;  // between items (0xFF in mastered images)
  std::uint32_t arm9_size = 0x1234;
  std::uint32_t arm7_size = 0x456;
  std::uint8_t arm7_seed = 7;
  int arm9_overlays = 0;
  int arm7_overlays = 0;
  // Named files, '/'-separated raw FNT names; directories are created on
  // first use, entries keep the order given here.
  std::vector<std::pair<std::string, Bytes>> files;
  bool arm7_last = false;  // ARM7 after the files, right before the DSi sections
  int unnamed = 0;         // FAT entries with neither a name nor an overlay entry
  bool banner = true;
  Bytes trailing;  // bytes after the DS part (and after the DSi part)
};

Bytes build_rom(const MiniRom& desc);

// Deterministic filler with no long runs, so nothing looks like padding.
Bytes noise(std::size_t n, std::uint32_t seed);

// Recomputes the header CRC after a test edited the header.
void fix_header_crc(Bytes& rom);

std::uint32_t rd32(const Bytes& b, std::size_t off);
void wr32(Bytes& b, std::size_t off, std::uint32_t v);
void wr16(Bytes& b, std::size_t off, std::uint16_t v);

}  // namespace ndstest
