#include "placement.h"

#include <algorithm>
#include <map>
#include <string>

#include "error.h"

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
std::vector<Region> main_items(const DsHeader& h, const HeaderItems& items, const FileSystem& fs,
                               Placement& p) {
  std::vector<Region> mains = {{Kind::Header, 0, h.part.size()},
                               {Kind::Arm9, h.arm9.offset, h.arm9.length}};
  if (h.arm7.length != 0)
    mains.push_back({Kind::Arm7, h.arm7.offset, h.arm7.length});
  else
    p.pointers.push_back({Kind::Arm7, h.arm7.offset, h.arm7.offset});
  for (const HeaderItem* it : {&items.ovt9, &items.ovt7, &items.fnt, &items.fat, &items.banner}) {
    switch (it->state) {
      case ItemState::Absent: break;
      case ItemState::Empty: p.pointers.push_back({it->kind, it->offset, it->offset}); break;
      case ItemState::Kept: p.kept.push_back({it->kind, it->offset, it->length}); break;
      case ItemState::Bytes: {
        std::uint64_t len = it->kind == Kind::Fat ? fs.fat.size() * 8 : it->length;
        mains.push_back({it->kind, it->offset, len});
        break;
      }
    }
  }
  std::stable_sort(mains.begin(), mains.end(),
                   [](const Region& a, const Region& b) { return a.offset < b.offset; });
  return mains;
}

// Overlapping main items become one shared region with a pointer for each.
void place_cluster(const std::vector<Region>& members, Placement& p, Ranges& ranges, Notes& notes) {
  if (members.size() == 1) {
    ranges.add(members[0]);
    return;
  }
  std::uint64_t start = members[0].offset, end = 0;
  std::string names;
  for (const Region& m : members) {
    if (m.kind == Kind::Header) fail("internal error: an item overlaps the header");
    end = std::max(end, m.offset + m.length);
    p.pointers.push_back({m.kind, m.offset, m.offset + m.length});
    names += std::string(names.empty() ? "" : ", ") + item_label(m.kind);
  }
  ranges.add({Kind::Shared, start, end - start});
  notes.push_back(names + ": they overlap each other in " + hex(start) + ".." + hex(end) +
                  "; their shared bytes are kept as they are");
}

void place_files(const FileSystem& fs, Placement& p, Ranges& ranges) {
  std::vector<std::uint32_t> order(fs.fat.size());
  for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    return fs.fat[a].start < fs.fat[b].start;
  });
  for (std::uint32_t id : order) {
    const FatEntry& e = fs.fat[id];
    if (fs.kept[id]) {
      p.kept.push_back({Kind::File, e.start, e.end, id});
      continue;
    }
    Region it{.kind = Kind::File,
              .offset = e.start,
              .length = std::uint64_t{e.end} - e.start,
              .id = id,
              .source = fs.source[id]};
    if (it.length == 0 || ranges.overlaps(it.offset, it.offset + it.length))
      p.pointers.push_back({Kind::File, e.start, e.end, id, fs.source[id]});
    else
      ranges.add(it);
  }
}

}  // namespace

Placement place_items(const DsHeader& h, const HeaderItems& items, const FileSystem& fs,
                      Notes& notes) {
  Placement p;
  Ranges ranges;
  std::vector<Region> cluster;
  std::uint64_t cluster_end = 0;
  for (const Region& m : main_items(h, items, fs, p)) {
    if (!cluster.empty() && m.offset >= cluster_end) {
      place_cluster(cluster, p, ranges, notes);
      cluster.clear();
    }
    cluster_end =
        cluster.empty() ? m.offset + m.length : std::max(cluster_end, m.offset + m.length);
    cluster.push_back(m);
  }
  place_cluster(cluster, p, ranges, notes);
  place_files(fs, p, ranges);
  p.items = ranges.sorted();
  return p;
}

}  // namespace nds
