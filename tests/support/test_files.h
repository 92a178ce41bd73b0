// Files for the ndstool and mastered-image tests: whole files in and out,
// trees of parts, UTF-8 paths, and where the sample ROMs are.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace voderer::testing {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// Throws std::runtime_error when the file cannot be read or written.
Bytes read_bytes(const fs::path& path);
void write_bytes(const fs::path& path, std::span<const std::uint8_t> bytes);

// Every file and folder under root by generic relative path, a folder as an
// empty entry ending in '/'; root itself, under "", when it is a file.
std::map<std::string, Bytes> read_tree(const fs::path& root);

std::string utf8(const fs::path& path);
fs::path from_utf8(std::string_view text);

// A path from the environment, as ctest sets it; under Wine a Linux path is
// reached through drive Z:. Empty when the variable is not set.
fs::path env_path(const char* name);

// The sample ROM folder (VODERER_SHARED_DIR/testdata/roms, else
// ../shared/testdata/roms); empty when it is absent, with why_not saying so.
fs::path sample_rom_dir(std::string* why_not = nullptr);

}  // namespace voderer::testing
