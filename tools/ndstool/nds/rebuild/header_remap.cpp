#include "nds/rebuild/header_remap.h"

#include <algorithm>

#include "nds/io/byte_io.h"
#include "nds/format/header.h"

namespace nds {

namespace {

constexpr std::uint64_t kMax32 = 0xFFFFFFFF;

// Writes an item's new place into the header.
class ItemFields {
 public:
  ItemFields(HeaderEdit header, bool arm9_footer) : header_(header), arm9_footer_(arm9_footer) {}

  void set(Kind kind, std::uint64_t at, std::uint64_t size) {
    switch (kind) {
      case Kind::Arm9:
        header_.set_range(field::kArm9.range(), at, size - (arm9_footer_ ? kArm9FooterSize : 0));
        break;
      case Kind::Arm7: header_.set_range(field::kArm7.range(), at, size); break;
      case Kind::Ovt9: header_.set_range(field::kArm9Overlays, at, size); break;
      case Kind::Ovt7: header_.set_range(field::kArm7Overlays, at, size); break;
      case Kind::Fnt: header_.set_offset(field::kFnt, at); break;
      case Kind::Fat: header_.set_offset(field::kFat, at); break;
      case Kind::Banner: header_.set_banner_offset(at); break;
      default: break;
    }
  }

 private:
  HeaderEdit header_;
  bool arm9_footer_;
};

void set_file(std::vector<std::uint8_t>& fat, std::uint32_t id, std::uint64_t start,
              std::uint64_t end) {
  put32(fat, std::size_t{id} * 8, static_cast<std::uint32_t>(start));
  put32(fat, std::size_t{id} * 8 + 4, static_cast<std::uint32_t>(end));
}

void remap_regions(ItemFields& items, std::vector<std::uint8_t>& fat, const Layout& layout,
                   const RegionPlaces& places, const CheckedLayout& checked) {
  for (std::size_t i = 0; i < layout.regions.size(); ++i) {
    const Region& region = layout.regions[i];
    const std::uint64_t start = places.start[i], length = checked.contents[i].length;
    if (region.kind == Kind::File)
      set_file(fat, region.id, start, start + length);
    else if (region.kind != Kind::Header)
      items.set(region.kind, start, length);
  }
}

void remap_pointers(ItemFields& items, std::vector<std::uint8_t>& fat, const Layout& layout,
                    const OffsetMap& map) {
  for (const Pointer& pointer : layout.pointers) {
    // An empty overlay table is no item: its offset points at nothing.
    if (pointer.start == pointer.end && (pointer.kind == Kind::Ovt9 || pointer.kind == Kind::Ovt7))
      continue;
    const std::uint64_t at = map(pointer.start), length = pointer.end - pointer.start;
    if (pointer.kind == Kind::File)
      set_file(fat, pointer.id, at, at + length);
    else
      items.set(pointer.kind, at, length);
  }
}

void remap_kept(ItemFields& items, std::vector<std::uint8_t>& fat, const Layout& layout,
                const OffsetMap& map) {
  for (const Kept& kept : layout.kept) {
    const std::uint64_t at = map(kept.offset);
    if (kept.kind != Kind::File) {
      items.set(kept.kind, at, kept.size);
      continue;
    }
    // The end moves as the start did, where 32 bits hold it.
    const std::uint64_t moved_end = kept.size + (at - kept.offset);
    set_file(fat, kept.id, at, moved_end <= kMax32 ? moved_end : kept.size);
  }
}

void remap_detached(ItemFields& items, const RegionPlaces& places,
                    const std::vector<Detached>& detached) {
  std::vector<std::size_t> seen(places.detached_at.size(), 0);
  for (const Detached& item : detached)
    items.set(item.kind, places.detached_at[item.region][seen[item.region]++], item.size);
}

// A range the header keeps follows the bytes it points at, its end too.
void move_range(HeaderEdit header, RangeField field, const OffsetMap& map) {
  const ItemRange range = header.range(field);
  if (range.size == 0) return;
  const std::uint64_t at = map(range.offset);
  header.set_range(field, at, map(std::uint64_t{range.offset} + range.size) - at);
}

// The end of the DS part, the DSi ranges and the debug ROM follow the bytes
// they point at; the chip grows when the image outgrows it.
void remap_ends(HeaderEdit header, const Layout& layout, const OffsetMap& map,
                std::uint64_t new_size) {
  if (header.used_rom_size() != 0) header.set_used_rom_size(map(header.used_rom_size()));
  move_range(header, field::kDebugRom, map);
  if (header.has_dsi_fields()) {
    for (const RangeField& range : kDsiRanges) move_range(header, range, map);
    if (header.dsi_total_size() != 0) header.set_dsi_total_size(map(header.dsi_total_size()));
  }
  if (new_size > layout.image_size)
    header.set_capacity(std::max(header.capacity(), capacity_for(new_size)));
}

}  // namespace

void remap_header(std::vector<std::uint8_t>& header, std::vector<std::uint8_t>& fat,
                  const Layout& layout, const RegionPlaces& places, const CheckedLayout& checked,
                  std::uint64_t new_size) {
  const OffsetMap map(layout, places);
  ItemFields items(HeaderEdit(header), layout.arm9_footer);
  remap_regions(items, fat, layout, places, checked);
  remap_pointers(items, fat, layout, map);
  remap_kept(items, fat, layout, map);
  remap_detached(items, places, checked.detached);
  remap_ends(HeaderEdit(header), layout, map, new_size);
}

}  // namespace nds
