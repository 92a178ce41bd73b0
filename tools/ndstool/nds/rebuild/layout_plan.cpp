// -c with the layout file: the exact image -x read, with the parts as they
// are now, in named stages. Parts that kept their size go back where they
// were; one that grew beyond its room moves what follows; a part that lay
// inside bytes shared with other items and changed goes right after them.
//   1. check the layout against the parts   (layout_check.h)
//   2. place the regions                    (region_placement.h)
//   3. emit the pieces                      (here)
//   4. remap the header and the FAT         (header_remap.h)
//   5. finish the CRCs, once the bytes are written (crcs.h, rebuild.cpp)
// Before them, an ELF's ARM7i is given a region of its own (stage 0).
#include <algorithm>

#include "nds/io/error.h"
#include "nds/format/header.h"
#include "nds/rebuild/header_remap.h"
#include "nds/rebuild/layout_check.h"
#include "nds/rebuild/rebuild_plan.h"
#include "nds/rebuild/region_placement.h"

namespace nds {

namespace {

// Positions something in the image points at, in the old image: an item
// that grows must not run over them (region_placement.h).
std::vector<std::uint64_t> anchors_of(const Layout& layout, const HeaderView& header) {
  std::vector<std::uint64_t> anchors = {header.fnt().offset, header.fat().offset,
                                        header.used_rom_size()};
  for (ItemRange range :
       {header.arm9_overlays(), header.arm7_overlays(), header.range(field::kDebugRom)})
    if (range.size != 0) anchors.push_back(range.offset);
  if (header.banner_offset() != 0) anchors.push_back(header.banner_offset());
  if (header.has_dsi_fields()) {
    for (const RangeField& field : kDsiRanges)
      if (header.range(field).size != 0) anchors.push_back(header.range(field).offset);
    anchors.push_back(header.dsi_total_size());
  }
  for (const Region& region : layout.regions)
    if (region.kind == Kind::File) anchors.push_back(region.offset);
  for (const Pointer& pointer : layout.pointers)
    if (pointer.kind == Kind::File) anchors.push_back(pointer.start);
  for (const Kept& kept : layout.kept)
    if (kept.kind == Kind::File) anchors.push_back(kept.offset);
  std::sort(anchors.begin(), anchors.end());
  return anchors;
}

PlacementInput placement_input(const Layout& layout, const CheckedLayout& checked,
                               const std::vector<std::uint8_t>& header) {
  PlacementInput input;
  for (const Piece& content : checked.contents) input.content.push_back(content.length);
  input.anchors = anchors_of(layout, HeaderView(header));
  input.detached.resize(layout.regions.size());
  for (const Detached& item : checked.detached) input.detached[item.region].push_back(item.size);
  input.capacity = HeaderView(header).capacity();
  return input;
}

// A FAT that could not be read keeps the entries it had: they would miss
// items that moved.
void refuse_moves_past_kept_fat(const Layout& layout, const RegionPlaces& places) {
  const Kept* fat = layout.find_kept(Kind::Fat);
  if (fat == nullptr || fat->size < 8 || places.shift == 0) return;
  fail(ErrorKind::CannotKeep,
       "the image's FAT lies partly past the end of the file, so its entries cannot follow items "
       "that would move by " +
           hex(places.shift) + "; only an ARM7 binary that fits its present room can be taken");
}

// Where a region's new bytes stood in the unpacked image, for the undo
// record: the parts -x wrote are those bytes unless their size changed; the
// header, the FAT and the ARM7 are written anew.
void claim_origin(Piece& content, const Region& region, std::uint64_t skip) {
  switch (region.kind) {
    case Kind::Header:
    case Kind::Fat:
    case Kind::Arm7:
    case Kind::Arm7i: return;
    case Kind::Fill:
    case Kind::Raw:
      if (skip >= region.length) return;
      content.origin = region.offset + skip;
      content.origin_length = std::min(content.length, region.length - skip);
      return;
    default:
      if (content.length != region.length) return;
      content.origin = region.offset;
      content.origin_length = content.length;
  }
}

// Stage 3: the pieces in order, with the padding the moves left between them.
class PieceEmitter {
 public:
  PieceEmitter(Plan& plan, const Layout& layout) : plan_(plan), layout_(layout) {}

  void region(std::size_t i, const RegionPlaces& places, Piece content) {
    const Region& region = layout_.regions[i];
    const std::uint64_t start = places.start[i], extent = places.extent[i];
    pad_to(start);
    const std::uint64_t skip = cursor_ > start ? cursor_ - start : 0;
    if (skip >= extent) return;
    // What an item grew over: fill, and leftovers too short to be data.
    if (region.kind == Kind::Fill) {
      content.length = extent - skip;
    } else if (region.kind == Kind::Raw) {
      content.offset += skip;
      content.length -= skip;
    } else if (skip != 0) {
      fail(ErrorKind::BadLayout, "layout: items overlap after moving");
    }
    claim_origin(content, region, skip);
    plan_.pieces.push_back(content);
    if (extent > skip + content.length)
      plan_.pieces.push_back(fill_piece(layout_.pad, extent - skip - content.length));
    cursor_ = start + extent;
  }

  void detached(std::uint64_t at, Piece piece) {
    pad_to(at);
    cursor_ = at + piece.length;
    plan_.pieces.push_back(std::move(piece));
  }

  std::uint64_t end() const { return cursor_; }

 private:
  void pad_to(std::uint64_t position) {
    if (position > cursor_) plan_.pieces.push_back(fill_piece(layout_.pad, position - cursor_));
  }

  Plan& plan_;
  const Layout& layout_;
  std::uint64_t cursor_ = 0;
};

void emit_pieces(Plan& plan, const Layout& layout, const RegionPlaces& places,
                 const CheckedLayout& checked, const Parts& parts, const Inputs& inputs,
                 const SharedBytes& fat) {
  // A piece per region and per detached item, and padding only where
  // items moved: reserved, so that the list is not grown to twice its size
  // (with tens of thousands of files, the largest block -c holds).
  plan.pieces.reserve(layout.regions.size() + checked.detached.size());
  PieceEmitter emitter(plan, layout);
  for (std::size_t i = 0; i < layout.regions.size(); ++i) {
    const Kind kind = layout.regions[i].kind;
    emitter.region(i, places,
                   kind == Kind::Header ? bytes_piece(plan.header)
                   : kind == Kind::Fat  ? bytes_piece(fat)
                                        : checked.contents[i]);
    std::size_t next = 0;
    for (const Detached& item : checked.detached)
      if (item.region == i)
        emitter.detached(places.detached_at[i][next++],
                         item.kind == Kind::Arm7
                             ? arm7_piece(parts, inputs)
                             : file_piece(*part_of(parts, item.kind), item.size));
  }
  plan.size = emitter.end();
}

// Stage 0, for an ELF's ARM7i: the raw and fill regions that held the
// image's own ARM7i become one region of the new bytes, which grows like an
// item and moves what follows. False where the ARM7i is not in such
// regions alone (it shares bytes with an item, or lies past the file's end).
bool isolate_arm7i(Layout& layout, ItemRange arm7i) {
  const std::uint64_t start = arm7i.offset, end = start + arm7i.size;
  if (arm7i.size == 0 || end > layout.image_size) return false;
  const std::size_t first = layout.region_at(start), last = layout.region_at(end - 1);
  for (std::size_t i = first; i <= last; ++i)
    if (layout.regions[i].kind != Kind::Raw && layout.regions[i].kind != Kind::Fill) return false;
  std::vector<Region> regions(layout.regions.begin(),
                              layout.regions.begin() + static_cast<std::ptrdiff_t>(first));
  Region head = layout.regions[first];
  if (head.offset < start) {
    head.length = start - head.offset;
    regions.push_back(head);
  }
  Region arm7i_region;
  arm7i_region.kind = Kind::Arm7i;
  arm7i_region.offset = start;
  arm7i_region.length = arm7i.size;
  regions.push_back(arm7i_region);
  Region tail = layout.regions[last];
  if (tail.offset + tail.length > end) {
    const std::uint64_t cut = end - tail.offset;
    tail.offset = end;
    tail.length -= cut;
    if (tail.kind == Kind::Raw) tail.extra += cut;
    regions.push_back(tail);
  }
  regions.insert(regions.end(), layout.regions.begin() + static_cast<std::ptrdiff_t>(last) + 1,
                 layout.regions.end());
  layout.regions = std::move(regions);
  return true;
}

Plan plan_layout(const Parts& parts, const Inputs& inputs, const Layout& layout,
                 const PartPath& extra) {
  const CheckedLayout checked = check_layout(parts, inputs, layout, extra);
  const RegionPlaces places =
      place_regions(layout, placement_input(layout, checked, inputs.header));
  refuse_moves_past_kept_fat(layout, places);

  Plan plan;
  plan.header = std::make_shared<std::vector<std::uint8_t>>(inputs.header);
  plan.names = checked.names;
  auto fat = std::make_shared<std::vector<std::uint8_t>>(std::size_t{layout.fat_count} * 8);
  emit_pieces(plan, layout, places, checked, parts, inputs, fat);
  if (plan.size > 0xFFFFFFFFull)
    fail(ErrorKind::ImageTooLarge, "the image would grow beyond 4 GiB");
  plan.moved_by = places.shift;
  remap_header(*plan.header, *fat, layout, places, checked, plan.size);
  if (const Pointer* pointer = layout.find_pointer(Kind::Fat);
      pointer && pointer->end > pointer->start)
    plan.patches.push_back({OffsetMap(layout, places)(pointer->start), fat});
  plan.crcs_before = {layout.header_crc, layout.logo_crc, layout.secure_crc};
  if (const Region* arm7i = layout.find_region(Kind::Arm7i)) {
    const auto i = static_cast<std::size_t>(arm7i - layout.regions.data());
    HeaderEdit(*plan.header).set_range(field::kArm7i, places.start[i], inputs.arm7i_bytes->size());
    plan.arm7i_replaced = true;
  }
  return plan;
}

}  // namespace

Plan plan_from_layout(const Parts& parts, const Inputs& inputs, const Layout& layout,
                      const PartPath& extra) {
  if (inputs.arm7i_bytes) {
    Layout with_arm7i = layout;
    if (isolate_arm7i(with_arm7i, HeaderView(inputs.header).arm7i()))
      return plan_layout(parts, inputs, with_arm7i, extra);
  }
  return plan_layout(parts, inputs, layout, extra);
}

}  // namespace nds
