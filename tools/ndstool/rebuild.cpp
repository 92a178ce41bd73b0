#include "rebuild.h"

#include <algorithm>
#include <map>
#include <memory>
#include <set>

#include "atomic_file.h"
#include "byte_io.h"
#include "crc16.h"
#include "error.h"
#include "file_io.h"
#include "file_table.h"
#include "header.h"
#include "layout.h"
#include "overlay_table.h"
#include "rebuild_plan.h"
#include "unpack.h"

namespace nds {

namespace {

constexpr std::uint64_t kMaxBanner = 0x10000;

PartPath overlay_part(const Parts& parts, std::uint32_t id) {
  std::string name = overlay_file_name(id);
  return {parts.overlay.path / name, parts.overlay.label + "/" + name};
}

PartPath data_part(const Parts& parts, const std::string& rel) {
  return {parts.data.path / rel_to_path(rel), parts.data.label + "/" + rel};
}

}  // namespace

std::uint64_t file_size_of(const PartPath& p) {
  InFile f(p.path, p.label);
  return f.size();
}

Piece fill_piece(std::uint8_t byte, std::uint64_t n) {
  return {Piece::Fill, n, byte, 0, nullptr};
}
Piece file_piece(const PartPath& p, std::uint64_t n) {
  return {Piece::File, n, 0, 0, nullptr, &p};
}
Piece folder_piece(Source folder, std::uint32_t id, std::uint64_t n) {
  return {Piece::File, n, 0, 0, nullptr, nullptr, folder, id};
}
Piece bytes_piece(SharedBytes b) {
  std::uint64_t n = b->size();
  return {Piece::Bytes, n, 0, 0, std::move(b)};
}

PartPath folder_file(const Parts& parts, const std::vector<std::string>& names, Source folder,
                     std::uint32_t id) {
  return folder == Source::Data ? data_part(parts, names[id]) : overlay_part(parts, id);
}

namespace {

void require_folder(const PartPath& p) {
  std::error_code ec;
  if (fs::is_directory(p.path, ec)) return;
  fail("cannot read folder " + p.label +
       (fs::exists(p.path, ec) ? ": not a folder" : ": No such folder"));
}

Inputs read_inputs(const Parts& parts) {
  Inputs in;
  // Unpacking writes the header part last: without it there is nothing to
  // rebuild from, and saying "cannot read" would hide why.
  std::error_code ec;
  if (fs::symlink_status(parts.header.path, ec).type() == fs::file_type::not_found)
    fail("nothing to rebuild because unpacking failed or was not run (" + parts.header.label +
         " is missing)");
  in.header = read_small_file(parts.header.path, parts.header.label, hdr::kDsiPart);
  if (in.header.size() != hdr::kDsPart && in.header.size() != hdr::kDsiPart)
    fail(parts.header.label + ": size " + hex(in.header.size()) + ", expected 0x200 or 0x1000");
  if (hdr::part_size(in.header) != in.header.size())
    fail(parts.header.label + ": its unit code does not match its size");
  in.arm9_size = file_size_of(parts.arm9);
  in.arm7_size = file_size_of(parts.arm7);
  if (in.arm9_size == 0) fail(parts.arm9.label + ": empty file");
  if (in.arm7_size == 0) fail(parts.arm7.label + ": empty file");
  in.y9 = read_small_file(parts.y9.path, parts.y9.label, kMaxOverlayTable);
  in.y7 = read_small_file(parts.y7.path, parts.y7.label, kMaxOverlayTable);
  in.banner_size = file_size_of(parts.banner);
  if (in.banner_size > kMaxBanner) fail(parts.banner.label + ": too large for a banner");
  if (in.arm9_size > 0xFFFFFFFFull || in.arm7_size > 0xFFFFFFFFull)
    fail("ARM binary larger than 4 GiB");
  require_folder(parts.data);
  require_folder(parts.overlay);
  return in;
}

void set_range(std::vector<std::uint8_t>& h, std::size_t field, std::uint64_t off,
               std::uint64_t size) {
  put32(h, field, static_cast<std::uint32_t>(off));
  put32(h, field + 4, static_cast<std::uint32_t>(size));
}

// ---- compact image from the parts alone ----

Plan plan_compact(const Parts& parts, const Inputs& in) {
  Plan plan;
  plan.header = std::make_shared<std::vector<std::uint8_t>>(in.header);
  std::vector<std::uint8_t>& h = *plan.header;
  const std::uint64_t hp = h.size();
  std::uint64_t hsize = get32(h, hdr::kHeaderSize);
  if (hsize % kAlign != 0 || hsize < hp || hsize > 0x8000)
    hsize = hp == hdr::kDsiPart ? 0x4000 : 0x200;
  put32(h, hdr::kHeaderSize, static_cast<std::uint32_t>(hsize));

  bool footer = false;
  if (in.arm9_size >= hdr::kFooterSize) {
    InFile arm9(parts.arm9.path, parts.arm9.label);
    std::uint8_t w[4];
    arm9.read_at(in.arm9_size - hdr::kFooterSize, w);
    footer = get32(w, 0) == hdr::kFooterMagic;
  }
  auto ids9 = overlay_file_ids(in.y9, kMaxFiles, "ARM9");
  auto ids7 = overlay_file_ids(in.y7, kMaxFiles, "ARM7");
  std::set<std::uint32_t> seen;
  std::uint32_t first_named = 0;
  std::map<std::uint32_t, std::uint64_t> overlay_sizes;
  for (const auto* ids : {&ids9, &ids7})
    for (std::uint32_t id : *ids) {
      if (!seen.insert(id).second)
        fail("overlay tables: file ID " + std::to_string(id) + " claimed twice");
      overlay_sizes[id] = file_size_of(overlay_part(parts, id));
      first_named = std::max(first_named, id + 1);
    }
  BuiltFnt fnt = build_fnt(parts.data.path, parts.data.label, first_named);
  std::vector<std::uint64_t> named_sizes;
  for (const NamedFile& f : fnt.files)
    named_sizes.push_back(file_size_of(data_part(parts, f.path)));
  const std::uint32_t fat_count = first_named + static_cast<std::uint32_t>(fnt.files.size());
  auto fat = std::make_shared<std::vector<std::uint8_t>>(std::size_t{fat_count} * 8);

  std::uint64_t pos = 0;
  auto place = [&](Piece piece) -> std::uint64_t {
    std::uint64_t aligned = align_up(pos, kAlign);
    if (aligned > pos) plan.pieces.push_back(fill_piece(0, aligned - pos));
    pos = aligned + piece.length;
    if (pos > 0xFFFFFFFFull) fail("the image would grow beyond 4 GiB");
    if (piece.length != 0) plan.pieces.push_back(std::move(piece));
    return aligned;
  };
  auto place_file = [&](std::uint32_t id, Source folder, std::uint64_t size) {
    std::uint64_t at = size == 0 ? pos : place(folder_piece(folder, id, size));
    put32(*fat, id * 8, static_cast<std::uint32_t>(at));
    put32(*fat, id * 8 + 4, static_cast<std::uint32_t>(at + size));
  };
  auto place_overlays = [&](const std::vector<std::uint32_t>& ids) {
    std::vector<std::uint32_t> sorted = ids;
    std::sort(sorted.begin(), sorted.end());
    for (std::uint32_t id : sorted) place_file(id, Source::Overlay, overlay_sizes[id]);
  };

  plan.pieces.push_back(bytes_piece(plan.header));
  pos = hp;
  if (hsize > hp) plan.pieces.push_back(fill_piece(0, hsize - hp));
  pos = hsize;
  put32(h, hdr::kArm9, static_cast<std::uint32_t>(place(file_piece(parts.arm9, in.arm9_size))));
  put32(h, hdr::kArm9 + 12,
        static_cast<std::uint32_t>(in.arm9_size - (footer ? hdr::kFooterSize : 0)));
  set_range(h, hdr::kOvt9, 0, 0);
  if (!in.y9.empty())
    set_range(h, hdr::kOvt9, place(file_piece(parts.y9, in.y9.size())), in.y9.size());
  place_overlays(ids9);
  put32(h, hdr::kArm7, static_cast<std::uint32_t>(place(file_piece(parts.arm7, in.arm7_size))));
  put32(h, hdr::kArm7 + 12, static_cast<std::uint32_t>(in.arm7_size));
  set_range(h, hdr::kOvt7, 0, 0);
  if (!in.y7.empty())
    set_range(h, hdr::kOvt7, place(file_piece(parts.y7, in.y7.size())), in.y7.size());
  place_overlays(ids7);
  auto fnt_bytes = std::make_shared<const std::vector<std::uint8_t>>(std::move(fnt.bytes));
  set_range(h, hdr::kFnt, place(bytes_piece(fnt_bytes)), fnt_bytes->size());
  set_range(h, hdr::kFat, place(bytes_piece(fat)), fat->size());
  put32(h, hdr::kBanner,
        in.banner_size == 0
            ? 0
            : static_cast<std::uint32_t>(place(file_piece(parts.banner, in.banner_size))));
  plan.names.resize(fat_count);
  for (std::size_t i = 0; i < fnt.files.size(); ++i) {
    plan.names[fnt.files[i].id] = std::move(fnt.files[i].path);
    place_file(fnt.files[i].id, Source::Data, named_sizes[i]);
  }

  plan.size = pos;
  put32(h, hdr::kUsedSize, static_cast<std::uint32_t>(pos));
  h[hdr::kCapacity] = std::max(h[hdr::kCapacity], hdr::capacity_for(pos));
  if (h.size() == hdr::kDsiPart) {
    // The DSi sections are not among the parts: nothing may point at them.
    for (const hdr::DsiRange& r : hdr::dsi_ranges())
      set_range(h, r.offset_field, 0, 0), put32(h, r.size_field, 0);
    put32(h, hdr::kDsiTotalSize, static_cast<std::uint32_t>(pos));
  }
  put16(h, hdr::kLogoCrc, hdr::logo_crc(h));
  plan.secure_if_stored = true;
  return plan;
}

void emit(const Plan& plan, const Parts& parts, OutFile& out) {
  std::optional<InFile> extra;
  for (const Piece& p : plan.pieces) {
    switch (p.type) {
      case Piece::Fill: out.fill(p.byte, p.length); break;
      case Piece::Bytes: out.write(*p.bytes); break;
      case Piece::File: {
        PartPath source = p.part ? *p.part : folder_file(parts, plan.names, p.folder, p.id);
        InFile f(source.path, source.label);
        if (f.size() != p.length) fail(source.label + " changed while the image was being written");
        out.copy_from(f, 0, p.length);
        break;
      }
      case Piece::Extra:
        if (!extra) extra.emplace(p.part->path, p.part->label);
        out.copy_from(*extra, p.offset, p.length);
        break;
    }
  }
  if (out.position() != plan.size) fail("internal error: image size differs from its plan");
  for (const auto& [at, bytes] : plan.patches) out.write_at(at, *bytes);
}

// Secure area and header CRCs need the written bytes: fixed last.
void finish_header(Plan& plan, OutFile& out) {
  std::vector<std::uint8_t>& h = *plan.header;
  Crc now =
      secure_area_crc(get32(h, hdr::kArm9), plan.size,
                      [&](std::uint64_t o, std::span<std::uint8_t> b) { out.read_back(o, b); });
  std::uint16_t stored = get16(h, hdr::kSecureCrc);
  if (now.present) {
    // A stored CRC that was right follows the bytes; a wrong one stays as
    // it was (nothing reads it).
    bool update = plan.secure_if_stored
                      ? stored != 0
                      : plan.old_secure.valid() || (stored != 0 && !plan.old_secure.present);
    if (update) put16(h, hdr::kSecureCrc, now.computed);
  }
  std::uint16_t crc = hdr::header_crc(h);
  if (plan.secure_if_stored || plan.old_header.valid() || crc != plan.old_header.computed)
    put16(h, hdr::kHeaderCrc, crc);
  out.write_at(0, h);
}

}  // namespace

RebuildResult rebuild(const PartPath& rom, const Parts& parts, const Log& log,
                      const std::function<void()>& before_commit) {
  Inputs in = read_inputs(parts);
  RebuildResult result;
  result.arm7_before = get32(in.header, hdr::kArm7 + 12);
  result.arm7_after = in.arm7_size;
  Plan plan;
  PartPath layout_p = layout_part(parts), extra_p = extra_part(parts);
  std::error_code ec;
  bool have_layout = fs::exists(layout_p.path, ec);
  if (have_layout) {
    try {
      auto text = read_small_file(layout_p.path, layout_p.label, kMaxLayoutText);
      Layout layout =
          parse_layout(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
      plan = plan_from_layout(parts, in, layout, extra_p);
      result.used_layout = true;
    } catch (const Error& e) {
      result.layout_note = e.what();
    }
  }
  if (!result.used_layout) plan = plan_compact(parts, in);
  result.size = plan.size;
  result.moved_by = plan.moved_by;
  if (log) {
    if (result.used_layout)
      log("rebuilding " + rom.label + " with the layout of " + layout_p.label +
          (plan.moved_by ? ": later items move by " + hex(plan.moved_by) : ": nothing moves"));
    else
      log("rebuilding " + rom.label + " as a compact image" +
          (have_layout ? " (" + layout_p.label + " not used: " + result.layout_note + ")" : ""));
  }

  AtomicReplace target(rom);
  emit(plan, parts, target.out());
  finish_header(plan, target.out());
  if (before_commit) before_commit();
  target.commit();
  if (log) log("wrote " + rom.label + ": " + std::to_string(plan.size) + " bytes");
  return result;
}

}  // namespace nds
