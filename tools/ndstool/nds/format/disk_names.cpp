#include "nds/format/disk_names.h"

#include <algorithm>

#include "nds/format/names.h"

namespace nds {

bool DirNames::take(const std::string& candidate) {
  return candidate.size() <= kMaxDiskName && taken_.insert(merge_key(candidate)).second;
}

std::string DirNames::add(std::span<const std::uint8_t> raw) {
  ++count_;
  for (Escape e : {Escape::Plain, Escape::Capitals, Escape::Letters}) {
    std::string name = disk_name(raw, e);
    if (take(name)) return name;
  }
  // Only the same raw name met again (or a name of every letter escaped
  // taken by another) gets here: a number no earlier entry can hold.
  // Numbers go on from the last one this name took: a folder of thousands of
  // equal names stays linear.
  std::string plain = disk_name(raw, Escape::Plain);
  std::size_t& k = next_marker_[plain];
  for (k = std::max<std::size_t>(k, 2); k <= count_ + 1; ++k) {
    std::string name = plain + "%~" + std::to_string(k);
    if (take(name)) return name;
  }
  return {};
}

}  // namespace nds
