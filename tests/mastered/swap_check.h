// Judges an image rebuilt with another ARM7 against the image it came from:
// either the new ARM7 fitted and nothing but the ARM7, its size field and the
// header CRC changed, or everything after the ARM7 moved by one aligned amount
// with every pointer to it following. Works on any image, not only generated ones.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace voderer::testgen {

struct SwapVerdict {
  bool moved = false;           // the later items had to move
  std::uint32_t delta = 0;      // by how much
  std::uint32_t next_item = 0;  // where the first item after the ARM7 started before
  std::vector<std::string> faults;
};

SwapVerdict check_swap(std::span<const std::uint8_t> before, std::span<const std::uint8_t> after,
                       std::span<const std::uint8_t> new_arm7);

// Offset of the first item that starts after the ARM7 (a header pointer, a FAT
// entry, the end of the DS part, or the end of the file): the room the ARM7 has.
std::uint32_t next_item_after_arm7(std::span<const std::uint8_t> image);

}  // namespace voderer::testgen
