#include "nds/unpack/placement.h"

#include <algorithm>
#include <map>
#include <string>

#include "nds/io/error.h"

namespace nds {

namespace {

// Disjoint byte ranges by start.
class Ranges {
 public:
  bool overlaps(std::uint64_t start, std::uint64_t end) const {
    auto it = by_start_.lower_bound(end);
    if (it == by_start_.begin()) return false;
    --it;
    return it->second.offset + it->second.length > start;
  }
  void add(const Region& item) { by_start_[item.offset] = item; }
  std::vector<Region> sorted() const {
    std::vector<Region> v;
    for (const auto& [k, item] : by_start_) v.push_back(item);
    return v;
  }

 private:
  std::map<std::uint64_t, Region> by_start_;
};

// The header items with bytes of their own; the others become pointers or
// kept records.
std::vector<Region> main_items(const DsHeader& header, const HeaderItems& items,
                               const FileSystem& file_system, Placement& placement) {
  std::vector<Region> mains = {{Kind::Header, 0, header.part.size()},
                               {Kind::Arm9, header.arm9.offset, header.arm9.length}};
  if (header.arm7.length != 0)
    mains.push_back({Kind::Arm7, header.arm7.offset, header.arm7.length});
  else
    placement.pointers.push_back({Kind::Arm7, header.arm7.offset, header.arm7.offset});
  for (const HeaderItem* item : {&items.ovt9, &items.ovt7, &items.fnt, &items.fat, &items.banner}) {
    switch (item->state) {
      case ItemState::Absent: break;
      case ItemState::Empty:
        placement.pointers.push_back({item->kind, item->offset, item->offset});
        break;
      case ItemState::Kept:
        placement.kept.push_back({item->kind, item->offset, item->length});
        break;
      case ItemState::Bytes: {
        const std::uint64_t length =
            item->kind == Kind::Fat ? file_system.fat.size() * 8 : item->length;
        mains.push_back({item->kind, item->offset, length});
        break;
      }
    }
  }
  std::stable_sort(mains.begin(), mains.end(),
                   [](const Region& a, const Region& b) { return a.offset < b.offset; });
  return mains;
}

// Overlapping main items become one shared region with a pointer for each.
void place_cluster(const std::vector<Region>& members, Placement& placement, Ranges& ranges,
                   Notes& notes) {
  if (members.size() == 1) {
    ranges.add(members[0]);
    return;
  }
  std::uint64_t start = members[0].offset, end = 0;
  std::string names;
  for (const Region& member : members) {
    if (member.kind == Kind::Header)
      fail(ErrorKind::Internal, "internal error: an item overlaps the header");
    end = std::max(end, member.offset + member.length);
    placement.pointers.push_back({member.kind, member.offset, member.offset + member.length});
    names += std::string(names.empty() ? "" : ", ") + item_label(member.kind);
  }
  ranges.add({Kind::Shared, start, end - start});
  notes.push_back(names + ": they overlap each other in " + hex(start) + ".." + hex(end) +
                  "; their shared bytes are kept as they are");
}

void place_files(const FileSystem& file_system, Placement& placement, Ranges& ranges) {
  const std::vector<FatEntry>& fat = file_system.fat;
  std::vector<std::uint32_t> order(fat.size());
  for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](std::uint32_t a, std::uint32_t b) { return fat[a].start < fat[b].start; });
  for (std::uint32_t id : order) {
    const FatEntry& entry = fat[id];
    if (file_system.kept[id]) {
      placement.kept.push_back({Kind::File, entry.start, entry.end, id});
      continue;
    }
    const Region file{.kind = Kind::File,
                      .offset = entry.start,
                      .length = std::uint64_t{entry.end} - entry.start,
                      .id = id,
                      .source = file_system.source[id]};
    if (file.length == 0 || ranges.overlaps(file.offset, file.offset + file.length))
      placement.pointers.push_back({Kind::File, entry.start, entry.end, id, file.source});
    else
      ranges.add(file);
  }
}

}  // namespace

Placement place_items(const DsHeader& header, const HeaderItems& items,
                      const FileSystem& file_system, Notes& notes) {
  Placement placement;
  Ranges ranges;
  std::vector<Region> cluster;
  std::uint64_t cluster_end = 0;
  for (const Region& main : main_items(header, items, file_system, placement)) {
    const std::uint64_t end = main.offset + main.length;
    if (!cluster.empty() && main.offset >= cluster_end) {
      place_cluster(cluster, placement, ranges, notes);
      cluster.clear();
    }
    cluster_end = cluster.empty() ? end : std::max(cluster_end, end);
    cluster.push_back(main);
  }
  place_cluster(cluster, placement, ranges, notes);
  place_files(file_system, placement, ranges);
  placement.items = ranges.sorted();
  return placement;
}

}  // namespace nds
