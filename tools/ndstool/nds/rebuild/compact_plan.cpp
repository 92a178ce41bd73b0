// -c without a usable layout file: a compact image from the parts alone.
// Items follow the header in the usual order, each aligned; overlay files
// keep their IDs, named files take the IDs after them in name order.
#include <algorithm>
#include <map>
#include <set>

#include "nds/io/byte_io.h"
#include "nds/io/error.h"
#include "nds/io/file_io.h"
#include "nds/format/file_table.h"
#include "nds/format/header.h"
#include "nds/format/overlay_table.h"
#include "nds/rebuild/rebuild_plan.h"

namespace nds {

namespace {

// What the data and overlay folders hold, with their new file IDs.
struct CompactFiles {
  std::vector<std::uint32_t> ids9, ids7;  // overlay files by table, in table order
  std::map<std::uint32_t, std::uint64_t> overlay_sizes;
  BuiltFnt fnt;
  std::vector<std::uint64_t> named_sizes;  // by fnt.files
  std::uint32_t fat_count = 0;
};

CompactFiles collect_files(const Parts& parts, const Inputs& inputs) {
  CompactFiles files;
  files.ids9 = overlay_file_ids(inputs.y9, kMaxFiles, "ARM9");
  files.ids7 = overlay_file_ids(inputs.y7, kMaxFiles, "ARM7");
  std::set<std::uint32_t> seen;
  std::uint32_t first_named = 0;
  for (const auto* ids : {&files.ids9, &files.ids7})
    for (std::uint32_t id : *ids) {
      if (!seen.insert(id).second)
        fail(ErrorKind::BadPart,
             "overlay tables: file ID " + std::to_string(id) + " claimed twice");
      const PartPath file = overlay_file_part(parts, id);
      files.overlay_sizes[id] = file_size_of(file.path, file.label);
      first_named = std::max(first_named, id + 1);
    }
  files.fnt = build_fnt(parts.data.path, parts.data.label, first_named);
  for (const NamedFile& named : files.fnt.files) {
    const PartPath file = data_file_part(parts, named.path);
    files.named_sizes.push_back(file_size_of(file.path, file.label));
  }
  files.fat_count = first_named + static_cast<std::uint32_t>(files.fnt.files.size());
  return files;
}

// SDK-built ARM9 binaries end with a 12-byte footer that the size field leaves out.
bool ends_with_footer(const PartPath& arm9, std::uint64_t size) {
  if (size < kArm9FooterSize) return false;
  InFile file(arm9.path, arm9.label);
  std::uint8_t word[4];
  file.read_at(size - kArm9FooterSize, word);
  return get32(word, 0) == kArm9FooterMagic;
}

// A part that -x read from the unpacked image at `at`: the undo record needs
// only where it went.
Piece claimed(Piece piece, std::uint64_t at) {
  if (at != 0) {
    piece.origin = at;
    piece.origin_length = piece.length;
  }
  return piece;
}

// Lays pieces one after the other, each at the next aligned position.
class Packer {
 public:
  Packer(Plan& plan, std::vector<std::uint8_t>& fat) : plan_(plan), fat_(fat) {}

  void start_after_header(std::uint64_t header_part, std::uint64_t header_size) {
    plan_.pieces.push_back(bytes_piece(plan_.header));
    if (header_size > header_part) plan_.pieces.push_back(fill_piece(0, header_size - header_part));
    pos_ = header_size;
  }

  // Returns where the piece went.
  std::uint64_t place(Piece piece) {
    const std::uint64_t aligned = align_up(pos_, kAlign);
    if (aligned > pos_) plan_.pieces.push_back(fill_piece(0, aligned - pos_));
    pos_ = aligned + piece.length;
    if (pos_ > 0xFFFFFFFFull) fail(ErrorKind::ImageTooLarge, "the image would grow beyond 4 GiB");
    if (piece.length != 0) plan_.pieces.push_back(std::move(piece));
    return aligned;
  }

  // A zero-length file takes no room: it points where the next item starts.
  void place_file(std::uint32_t id, Source folder, std::uint64_t size) {
    const std::uint64_t at = size == 0 ? pos_ : place(folder_piece(folder, id, size));
    put32(fat_, std::size_t{id} * 8, static_cast<std::uint32_t>(at));
    put32(fat_, std::size_t{id} * 8 + 4, static_cast<std::uint32_t>(at + size));
  }

  void place_overlays(std::vector<std::uint32_t> ids, const CompactFiles& files) {
    std::sort(ids.begin(), ids.end());
    for (std::uint32_t id : ids) place_file(id, Source::Overlay, files.overlay_sizes.at(id));
  }

  std::uint64_t position() const { return pos_; }

 private:
  Plan& plan_;
  std::vector<std::uint8_t>& fat_;
  std::uint64_t pos_ = 0;
};

// The header size field, where it cannot be what it says.
std::uint64_t header_size_of(const HeaderView& header) {
  const std::uint64_t size = header.header_size();
  if (size % kAlign == 0 && size >= header.bytes().size() && size <= 0x8000) return size;
  return header.bytes().size() == kDsiHeaderPart ? 0x4000 : 0x200;
}

// An overlay table and its files; the table's offset is 0 when there is none.
void place_overlay_table(Packer& packer, HeaderEdit header, RangeField field, const PartPath& table,
                         std::uint64_t table_size, const std::vector<std::uint32_t>& ids,
                         const CompactFiles& files) {
  const std::uint64_t was_at = header.range(field).offset;
  header.set_range(field, 0, 0);
  if (table_size != 0)
    header.set_range(field, packer.place(claimed(file_piece(table, table_size), was_at)),
                     table_size);
  packer.place_overlays(ids, files);
}

// The DSi sections are not among the parts: nothing may point at them.
void drop_dsi_sections(HeaderEdit header, std::uint64_t size) {
  if (!header.has_dsi_fields()) return;
  for (const RangeField& range : kDsiRanges) header.set_range(range, 0, 0);
  header.set_dsi_total_size(size);
}

}  // namespace

Plan plan_compact(const Parts& parts, const Inputs& inputs) {
  Plan plan;
  plan.header = std::make_shared<std::vector<std::uint8_t>>(inputs.header);
  HeaderEdit header(*plan.header);
  const std::uint64_t header_size = header_size_of(header);
  header.set_header_size(header_size);
  const bool footer = ends_with_footer(parts.arm9, inputs.arm9_size);
  CompactFiles files = collect_files(parts, inputs);
  auto fat = std::make_shared<std::vector<std::uint8_t>>(std::size_t{files.fat_count} * 8);

  const HeaderView before(inputs.header);
  Packer packer(plan, *fat);
  packer.start_after_header(plan.header->size(), header_size);
  header.set_range(
      field::kArm9.range(),
      packer.place(claimed(file_piece(parts.arm9, inputs.arm9_size), before.arm9().offset)),
      inputs.arm9_size - (footer ? kArm9FooterSize : 0));
  place_overlay_table(packer, header, field::kArm9Overlays, parts.y9, inputs.y9.size(), files.ids9,
                      files);
  header.set_range(field::kArm7.range(), packer.place(arm7_piece(parts, inputs)), inputs.arm7_size);
  place_overlay_table(packer, header, field::kArm7Overlays, parts.y7, inputs.y7.size(), files.ids7,
                      files);
  auto fnt = std::make_shared<const std::vector<std::uint8_t>>(std::move(files.fnt.bytes));
  header.set_range(field::kFnt, packer.place(bytes_piece(fnt)), fnt->size());
  header.set_range(field::kFat, packer.place(bytes_piece(fat)), fat->size());
  header.set_banner_offset(inputs.banner_size == 0
                               ? 0
                               : packer.place(claimed(file_piece(parts.banner, inputs.banner_size),
                                                      before.banner_offset())));
  plan.names.resize(files.fat_count);
  for (std::size_t i = 0; i < files.fnt.files.size(); ++i) {
    NamedFile& named = files.fnt.files[i];
    plan.names[named.id] = std::move(named.path);
    packer.place_file(named.id, Source::Data, files.named_sizes[i]);
  }

  plan.size = packer.position();
  header.set_used_rom_size(plan.size);
  header.set_capacity(std::max(header.capacity(), capacity_for(plan.size)));
  drop_dsi_sections(header, plan.size);
  return plan;
}

}  // namespace nds
