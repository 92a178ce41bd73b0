// Disk names for the entries of one FNT directory. Each raw name takes the
// first of its candidate names that is short enough and that no earlier
// entry of the directory holds under this system's way of comparing names
// (letter case on Windows, and under Wine; nothing on Linux). Candidates:
// the plain mapping, capitals escaped, every letter escaped, then the plain
// mapping with a "%~N" marker (duplicate names). Every candidate unescapes to
// the raw bytes, and the choice depends only on the FNT, so -c finds each
// file under the same name again.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <span>
#include <string>
#include <string_view>

namespace nds {

class DirNames {
 public:
  // The disk name for raw, or empty when no candidate fits kMaxDiskName.
  std::string add(std::span<const std::uint8_t> raw);

 private:
  bool take(const std::string& candidate);
  std::set<std::string> taken_;
  std::map<std::string, std::size_t> next_marker_;
  std::size_t count_ = 0;
};

// What this system's file systems compare when they compare two names.
std::string merge_key(std::string_view disk_name);

}  // namespace nds
