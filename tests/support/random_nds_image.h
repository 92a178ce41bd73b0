// Random *valid* DS images for the property test: every image here is one a
// DS boots, laid out in ways real tools and hand-made homebrew lay them out:
// random trees (case twins, Shift-JIS names, names seen twice, files listed
// after sub-directories), random item order and padding, empty items
// anywhere (past the end of the file too), no file system at all, FAT
// entries sharing a range or reaching past the end, overlapping items, files
// stored before the FNT, trimmed or filled to the chip, DS and DSi. Written
// from the format facts alone, sharing no code with tools/ndstool.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace voderer::testgen {

struct RandomImage {
  std::vector<std::uint8_t> bytes;
  std::string traits;  // what the seed chose, for failure messages
};

RandomImage random_image(std::uint64_t seed);

}  // namespace voderer::testgen
