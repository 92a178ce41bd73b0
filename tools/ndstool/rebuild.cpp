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
#include "unpack.h"

namespace nds {

namespace {

constexpr std::uint64_t kAlign = 0x200;
constexpr std::uint64_t kMaxBanner = 0x10000;
// Shorter runs of mixed bytes between items are leftovers, not data.
constexpr std::uint64_t kMinRawObstacle = 32;

// One stretch of the output image.
struct Piece {
  enum Type { Fill, Bytes, File, Extra } type = Fill;
  std::uint64_t length = 0;
  std::uint8_t byte = 0;
  std::uint64_t offset = 0;  // within the source
  std::shared_ptr<const std::vector<std::uint8_t>> bytes;
  // File and Extra: a fixed part, or a file of the data or overlay folder
  // by its ID, whose path is made only when it is copied (no path per file
  // held: memory stays small with tens of thousands of files).
  const PartPath* part = nullptr;
  Source folder = Source::None;
  std::uint32_t id = 0;
};

struct Plan {
  std::shared_ptr<std::vector<std::uint8_t>> header;
  std::vector<Piece> pieces;
  std::vector<std::string> names;  // data folder path by file ID
  std::uint64_t size = 0;
  std::uint64_t moved_by = 0;
  // What to finish once the bytes are written.
  Crc old_secure, old_header;
  bool secure_if_stored = false;  // recompute the secure area CRC only where the field is in use
};

// The inputs every rebuild reads, checked before anything is planned.
struct Inputs {
  std::vector<std::uint8_t> header;
  std::vector<std::uint8_t> y9, y7;
  std::uint64_t arm9_size = 0, arm7_size = 0, banner_size = 0;
};

std::uint64_t file_size_of(const PartPath& p) {
  InFile f(p.path, p.label);
  return f.size();
}

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

PartPath overlay_part(const Parts& parts, std::uint32_t id) {
  std::string name = overlay_file_name(id);
  return {parts.overlay.path / name, parts.overlay.label + "/" + name};
}

PartPath data_part(const Parts& parts, const std::string& rel) {
  return {parts.data.path / rel_to_path(rel), parts.data.label + "/" + rel};
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
Piece bytes_piece(std::shared_ptr<const std::vector<std::uint8_t>> b) {
  std::uint64_t n = b->size();
  return {Piece::Bytes, n, 0, 0, std::move(b)};
}

PartPath folder_file(const Parts& parts, const std::vector<std::string>& names, Source folder,
                     std::uint32_t id) {
  return folder == Source::Data ? data_part(parts, names[id]) : overlay_part(parts, id);
}

void set_range(std::vector<std::uint8_t>& h, std::size_t field, std::uint64_t off,
               std::uint64_t size) {
  put32(h, field, static_cast<std::uint32_t>(off));
  put32(h, field + 4, static_cast<std::uint32_t>(size));
}

// ---- exact layout from the layout file ----

struct SourceInfo {
  const PartPath* part = nullptr;  // else a file of a folder, by the region's ID
  Piece::Type type = Piece::File;
  std::uint64_t extra = 0;
};

Plan plan_from_layout(const Parts& parts, const Inputs& in, const Layout& l,
                      const PartPath& extra_p) {
  Plan plan;
  // The extra file must be the one written with this layout.
  {
    InFile extra(extra_p.path, extra_p.label);
    if (extra.size() != l.extra_size)
      fail(extra_p.label + " has another size than the layout expects");
    Fnv64 hash;
    std::vector<std::uint8_t> buf(kIoBuffer);
    for (std::uint64_t pos = 0; pos < extra.size();) {
      std::size_t n =
          static_cast<std::size_t>(std::min<std::uint64_t>(extra.size() - pos, buf.size()));
      extra.read_at(pos, std::span<std::uint8_t>(buf.data(), n));
      hash.update(buf.data(), n);
      pos += n;
    }
    if (hash.value() != l.extra_hash) fail(extra_p.label + " does not match the layout");
  }
  if (in.header.size() != l.header_part)
    fail(parts.header.label + " has another size than the layout expects");

  // File IDs and where each file's bytes come from now.
  const Region* fnt_region = l.find_region(Kind::Fnt);
  if (fnt_region->length > (16u << 20)) fail("FNT too large");
  FileTree tree;
  {
    InFile extra(extra_p.path, extra_p.label);
    tree = parse_fnt(
        extra.read_vector(fnt_region->extra, static_cast<std::size_t>(fnt_region->length)),
        l.fat_count);
  }
  {
    DiskTree disk = scan_tree(parts.data.path, parts.data.label);
    std::vector<std::string> want_files, want_dirs = tree.dirs;
    for (const NamedFile& f : tree.files) want_files.push_back(f.path);
    for (auto* v : {&want_files, &want_dirs, &disk.files, &disk.dirs})
      std::sort(v->begin(), v->end());
    if (want_files != disk.files || want_dirs != disk.dirs)
      fail(parts.data.label + " holds other files than the image had");
  }

  std::vector<std::string>& name_of = plan.names;
  name_of.resize(l.fat_count);
  for (NamedFile& f : tree.files) name_of[f.id] = std::move(f.path);
  std::set<std::uint32_t> overlays;
  for (const auto* table : {&in.y9, &in.y7})
    for (std::uint32_t id :
         overlay_file_ids(*table, l.fat_count, table == &in.y9 ? "ARM9" : "ARM7"))
      if (!overlays.insert(id).second)
        fail("overlay file ID " + std::to_string(id) + " claimed twice");
  std::set<std::uint32_t> had_overlays;
  auto file_size = [&](std::uint32_t id, Source src, std::uint64_t& size) {
    if ((src == Source::Data) != !name_of[id].empty())
      fail("file " + std::to_string(id) + " changed its kind");
    if (src == Source::Overlay) had_overlays.insert(id);
    if (src != Source::Raw) size = file_size_of(folder_file(parts, name_of, src, id));
  };

  // New length of every region's content.
  const std::size_t n = l.regions.size();
  std::vector<std::uint64_t> content(n);
  std::vector<SourceInfo> source(n);
  for (std::size_t i = 0; i < n; ++i) {
    const Region& g = l.regions[i];
    content[i] = g.length;
    SourceInfo& s = source[i];
    switch (g.kind) {
      case Kind::Arm9:
        s.part = &parts.arm9;
        content[i] = in.arm9_size;
        break;
      case Kind::Arm7:
        s.part = &parts.arm7;
        content[i] = in.arm7_size;
        break;
      case Kind::Ovt9:
        s.part = &parts.y9;
        content[i] = in.y9.size();
        break;
      case Kind::Ovt7:
        s.part = &parts.y7;
        content[i] = in.y7.size();
        break;
      case Kind::Banner:
        s.part = &parts.banner;
        content[i] = in.banner_size;
        break;
      case Kind::Fnt:
      case Kind::Raw:
        s.type = Piece::Extra;
        s.extra = g.extra;
        break;
      case Kind::File:
        if (g.source == Source::Raw) {
          s.type = Piece::Extra;
          s.extra = g.extra;
        } else {
          file_size(g.id, g.source, content[i]);
        }
        break;
      default: break;
    }
    if (g.kind != Kind::File && g.kind != Kind::Fill && g.kind != Kind::Raw && content[i] == 0)
      fail(std::string("the image had a ") + kind_name(g.kind) + " and its part is empty now");
  }
  if (l.arm9_footer && in.arm9_size < hdr::kFooterSize)
    fail(parts.arm9.label + " lacks the footer it had");
  for (const Pointer& p : l.pointers) {
    if (p.kind == Kind::File) {
      std::uint64_t size = p.end - p.start;
      file_size(p.id, p.source, size);
      if (size != p.end - p.start)
        fail("file " + std::to_string(p.id) + " shares its bytes and changed size");
      continue;
    }
    std::uint64_t now = 0;
    switch (p.kind) {
      case Kind::Arm9: now = in.arm9_size; break;
      case Kind::Arm7: now = in.arm7_size; break;
      case Kind::Ovt9: now = in.y9.size(); break;
      case Kind::Ovt7: now = in.y7.size(); break;
      case Kind::Banner: now = in.banner_size; break;
      default: break;
    }
    if (now != 0)
      fail(std::string("the image had no ") + kind_name(p.kind) +
           " bytes and its part has some now");
  }
  if (!l.find_region(Kind::Ovt9) && !in.y9.empty()) fail("the image had no ARM9 overlay table");
  if (!l.find_region(Kind::Ovt7) && !in.y7.empty()) fail("the image had no ARM7 overlay table");
  if (!l.find_region(Kind::Banner) && in.banner_size != 0) fail("the image had no banner");
  if (overlays != had_overlays) fail("the overlay tables name other files than the image had");

  // Positions: an item that outgrows its slot (up to the next item) moves
  // everything after it by a multiple of 0x200; order and gaps are kept.
  // An item's room ends at the next item or at gap bytes that are not
  // padding (a DSi section, a signature block): only fill is given up.
  auto obstacle = [](const Region& g) {
    return g.kind != Kind::Fill && (g.kind != Kind::Raw || g.length >= kMinRawObstacle);
  };
  std::vector<std::uint64_t> next_item(n + 1, l.image_size);
  for (std::size_t i = n; i-- > 0;)
    next_item[i] =
        i + 1 < n && obstacle(l.regions[i + 1]) ? l.regions[i + 1].offset : next_item[i + 1];
  std::vector<std::uint64_t> start(n), extent(n);
  std::uint64_t shift = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const Region& g = l.regions[i];
    start[i] = g.offset + shift;
    extent[i] = g.length;
    bool item = g.kind != Kind::Fill && g.kind != Kind::Raw;
    if (item && content[i] > g.length) {
      extent[i] = content[i];
      std::uint64_t slot = next_item[i] - g.offset;
      if (content[i] > slot) shift += align_up(content[i] - slot, kAlign);
    }
  }
  // An image filled up to its chip size stays filled to a chip size: the
  // fill at its end gives up what the moved items need, and only when they
  // no longer fit does the chip (and with it the fill) grow.
  if (shift != 0 && n > 0 && l.regions[n - 1].kind == Kind::Fill &&
      l.image_size == hdr::chip_size(in.header[hdr::kCapacity])) {
    std::uint64_t content_end = start[n - 1];
    std::uint64_t chip =
        content_end > l.image_size ? hdr::chip_size(hdr::capacity_for(content_end)) : l.image_size;
    extent[n - 1] = chip - content_end;
  }
  if (l.image_size + shift > 0xFFFFFFFFull) fail("the image would grow beyond 4 GiB");

  plan.header = std::make_shared<std::vector<std::uint8_t>>(in.header);
  auto fat = std::make_shared<std::vector<std::uint8_t>>(std::size_t{l.fat_count} * 8);
  std::uint64_t cursor = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const Region& g = l.regions[i];
    if (start[i] > cursor) plan.pieces.push_back(fill_piece(l.pad, start[i] - cursor));
    std::uint64_t skip = cursor > start[i] ? cursor - start[i] : 0;
    if (skip >= extent[i]) continue;
    bool item = g.kind != Kind::Fill && g.kind != Kind::Raw;
    if (item && skip != 0) fail("layout: items overlap after moving");
    if (g.kind == Kind::Fill) {
      plan.pieces.push_back(fill_piece(g.fill, extent[i] - skip));
    } else if (g.kind == Kind::Header) {
      plan.pieces.push_back(bytes_piece(plan.header));
    } else if (g.kind == Kind::Fat) {
      plan.pieces.push_back(bytes_piece(fat));
    } else if (source[i].type == Piece::Extra) {
      plan.pieces.push_back(
          {Piece::Extra, g.length - skip, 0, source[i].extra + skip, nullptr, &extra_p});
    } else {
      plan.pieces.push_back(source[i].part ? file_piece(*source[i].part, content[i])
                                           : folder_piece(g.source, g.id, content[i]));
      if (extent[i] > content[i]) plan.pieces.push_back(fill_piece(l.pad, extent[i] - content[i]));
    }
    cursor = start[i] + extent[i];
  }
  plan.size = cursor;
  plan.moved_by = shift;

  // Old offsets to new ones.
  auto region_at = [&](std::uint64_t x) {  // the region holding byte x
    auto it = std::upper_bound(l.regions.begin(), l.regions.end(), x,
                               [](std::uint64_t v, const Region& g) { return v < g.offset; });
    return static_cast<std::size_t>(it - l.regions.begin()) - 1;
  };
  auto map = [&](std::uint64_t x) -> std::uint64_t {
    if (x >= l.image_size) return plan.size + (x - l.image_size);
    std::size_t r = region_at(x);
    return start[r] + (x - l.regions[r].offset);
  };
  auto map_end = [&](std::uint64_t x) -> std::uint64_t {
    if (x == 0) return 0;
    if (x > l.image_size) return x;
    std::size_t r = region_at(x - 1);
    if (x == l.regions[r].offset + l.regions[r].length) return start[r] + extent[r];
    return start[r] + (x - l.regions[r].offset);
  };

  std::vector<std::uint8_t>& h = *plan.header;
  const bool dsi = h.size() == hdr::kDsiPart;
  std::uint32_t old_used = get32(h, hdr::kUsedSize),
                old_total = dsi ? get32(h, hdr::kDsiTotalSize) : 0;
  for (std::size_t i = 0; i < n; ++i) {
    const Region& g = l.regions[i];
    switch (g.kind) {
      case Kind::Arm9:
        put32(h, hdr::kArm9, static_cast<std::uint32_t>(start[i]));
        put32(h, hdr::kArm9 + 12,
              static_cast<std::uint32_t>(content[i] - (l.arm9_footer ? hdr::kFooterSize : 0)));
        break;
      case Kind::Arm7:
        put32(h, hdr::kArm7, static_cast<std::uint32_t>(start[i]));
        put32(h, hdr::kArm7 + 12, static_cast<std::uint32_t>(content[i]));
        break;
      case Kind::Ovt9: set_range(h, hdr::kOvt9, start[i], content[i]); break;
      case Kind::Ovt7: set_range(h, hdr::kOvt7, start[i], content[i]); break;
      case Kind::Fnt: set_range(h, hdr::kFnt, start[i], g.length); break;
      case Kind::Fat: set_range(h, hdr::kFat, start[i], fat->size()); break;
      case Kind::Banner: put32(h, hdr::kBanner, static_cast<std::uint32_t>(start[i])); break;
      case Kind::File:
        put32(*fat, g.id * 8, static_cast<std::uint32_t>(start[i]));
        put32(*fat, g.id * 8 + 4, static_cast<std::uint32_t>(start[i] + content[i]));
        break;
      default: break;
    }
  }
  for (const Pointer& p : l.pointers) {
    std::uint32_t at = static_cast<std::uint32_t>(map(p.start));
    switch (p.kind) {
      case Kind::Arm9: put32(h, hdr::kArm9, at); break;
      case Kind::Arm7: put32(h, hdr::kArm7, at); break;
      case Kind::Ovt9: put32(h, hdr::kOvt9, at); break;
      case Kind::Ovt7: put32(h, hdr::kOvt7, at); break;
      case Kind::Fnt: put32(h, hdr::kFnt, at); break;
      case Kind::Fat: put32(h, hdr::kFat, at); break;
      case Kind::Banner: put32(h, hdr::kBanner, at); break;
      case Kind::File:
        put32(*fat, p.id * 8, at);
        put32(*fat, p.id * 8 + 4, static_cast<std::uint32_t>(at + (p.end - p.start)));
        break;
      default: break;
    }
  }
  if (old_used <= l.image_size)
    put32(h, hdr::kUsedSize, static_cast<std::uint32_t>(map_end(old_used)));
  if (plan.size > l.image_size) {
    std::uint8_t cap = hdr::capacity_for(plan.size);
    if (cap > h[hdr::kCapacity]) h[hdr::kCapacity] = cap;
  }
  if (dsi) {
    for (const hdr::DsiRange& r : hdr::dsi_ranges()) {
      std::uint64_t off = get32(h, r.offset_field), size = get32(h, r.size_field);
      if ((off == 0 && size == 0) || off + size > l.image_size) continue;
      std::uint64_t new_off = map(off);
      put32(h, r.offset_field, static_cast<std::uint32_t>(new_off));
      if (size != 0)
        put32(h, r.size_field, static_cast<std::uint32_t>(map_end(off + size) - new_off));
    }
    if (old_total != 0 && old_total <= l.image_size)
      put32(h, hdr::kDsiTotalSize, static_cast<std::uint32_t>(map_end(old_total)));
  }
  std::uint16_t logo = hdr::logo_crc(h);
  if (l.logo_crc.valid() || logo != l.logo_crc.computed) put16(h, hdr::kLogoCrc, logo);
  plan.old_secure = l.secure_crc;
  plan.old_header = l.header_crc;
  return plan;
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
}

// Secure area and header CRCs need the written bytes: fixed last.
void finish_header(Plan& plan, OutFile& out) {
  std::vector<std::uint8_t>& h = *plan.header;
  Crc now =
      secure_area_crc(get32(h, hdr::kArm9), plan.size,
                      [&](std::uint64_t o, std::span<std::uint8_t> b) { out.read_back(o, b); });
  std::uint16_t stored = get16(h, hdr::kSecureCrc);
  if (now.present) {
    bool update = plan.secure_if_stored
                      ? stored != 0
                      : plan.old_secure.valid() ||
                            (stored != 0 && (!plan.old_secure.present ||
                                             now.computed != plan.old_secure.computed));
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
