// One image through the patch script's two steps, judged from the outside:
// it must unpack, rebuild byte for byte, unpack again to the same parts, and
// take a larger and a smaller ARM7 surgically (swap_check.h). Runs ndstool's
// command line in-process; returns what went wrong, nothing when all held.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace voderer::testgen {

std::vector<std::string> check_image_property(const std::vector<std::uint8_t>& image,
                                              const std::filesystem::path& work);

}  // namespace voderer::testgen
