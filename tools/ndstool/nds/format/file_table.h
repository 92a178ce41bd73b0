// The file system tables: the FAT (file ID -> byte range) and the FNT
// (directories and names -> file IDs), read from an image with every count,
// offset and ID checked, or generated from a folder tree.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace nds {

inline constexpr std::uint32_t kMaxFiles = 0xF000;  // IDs from 0xF000 up are directories
inline constexpr std::uint32_t kMaxDirs = 0x1000;
inline constexpr std::uint16_t kRootDir = 0xF000;
// No file system needs more: 0xF000 names of 127 bytes and 0x1000 directories.
inline constexpr std::uint64_t kMaxFnt = 16u << 20;

struct FatEntry {
  std::uint32_t start = 0;
  std::uint32_t end = 0;
};

// A named file or directory of the FNT, with its path relative to the data
// folder: disk names joined by '/'.
struct NamedFile {
  std::uint16_t id = 0;
  std::string path;
};
struct FileTree {
  std::vector<std::string> dirs;  // reachable directories except the root, parents first
  std::vector<NamedFile> files;   // in FNT order
};

// Walks the FNT from the root; refuses unterminated sub-tables, directory IDs
// out of range or reached twice, file IDs out of range or repeated, and names
// that could escape the data folder.
FileTree parse_fnt(std::span<const std::uint8_t> fnt, std::uint32_t file_count);

// Contents of a data folder on disk (relative paths, '/'-separated), bounded
// by the limits of the format.
struct DiskTree {
  std::vector<std::string> dirs;
  std::vector<std::string> files;
};
DiskTree scan_tree(const std::filesystem::path& root, const std::string& label);

// A generated FNT: names in byte-wise order, directory IDs breadth first,
// file IDs consecutive per directory from first_id.
struct BuiltFnt {
  std::vector<std::uint8_t> bytes;
  std::vector<NamedFile> files;  // by ascending file ID
};
BuiltFnt build_fnt(const std::filesystem::path& root, const std::string& label,
                   std::uint32_t first_id);

std::filesystem::path rel_to_path(const std::string& rel);

}  // namespace nds
