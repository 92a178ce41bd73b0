// File system names: which raw FNT names are refused, and how the accepted
// ones map to names on disk and back. The plain mapping is the same on every
// OS: valid UTF-8 stays as it is; a byte that is not part of valid UTF-8,
// '%', a character Windows cannot hold (<>:"|?*\ and control characters)
// and a trailing dot or space become "%XX". A name that this system's file
// systems would take for an earlier one of its folder gets more of its
// letters escaped, or a "%~N" marker that unescapes to nothing (disk_names.h).
// Unescaping gives the raw bytes back, so the mapping is reversible without
// the layout file.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace nds {

inline constexpr std::size_t kMaxNameBytes = 127;
inline constexpr std::size_t kMaxDiskName = 255;

// Empty when the raw name may be written to disk; otherwise why not (a name
// that could leave the folder it belongs in, or address a device).
std::string name_problem(std::span<const std::uint8_t> raw);

// How much of a name is escaped beyond the plain mapping: ASCII capitals, or
// every letter (ASCII ones and every byte of other characters), which leaves
// nothing a case-insensitive file system could fold.
enum class Escape { Plain, Capitals, Letters };

std::string disk_name(std::span<const std::uint8_t> raw, Escape escape);

// The raw bytes of a disk name: "%XX" unescaped, "%~N" markers dropped.
std::vector<std::uint8_t> raw_name(std::string_view disk);

}  // namespace nds
