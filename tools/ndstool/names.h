// File system names: which raw FNT names are refused, and how the accepted
// ones map to names on disk and back. The mapping is the same on every OS:
// valid UTF-8 stays as it is; a byte that is not part of valid UTF-8, '%',
// a character Windows cannot hold (<>:"|?*\ and control characters) and a
// trailing dot or space become "%XX". Within one folder, a name that differs
// from an earlier one only in ASCII case also gets its capitals escaped, so
// that case-insensitive file systems keep both. Unescaping gives the raw
// bytes back, so the mapping is reversible without the layout file.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace nds {

inline constexpr std::size_t kMaxNameBytes = 127;
inline constexpr std::size_t kMaxDiskName = 255;

// Empty when the raw name may be written to disk; otherwise why not.
std::string name_problem(std::span<const std::uint8_t> raw);

std::string disk_name(std::span<const std::uint8_t> raw, bool escape_capitals);

std::vector<std::uint8_t> raw_name(std::string_view disk);

// ASCII lower case: how case-insensitive file systems compare names.
std::string fold_case(std::string_view s);

}  // namespace nds
