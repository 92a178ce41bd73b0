// -c with the layout file: the exact image -x read, with the parts as they
// are now. Parts that kept their size go back where they were; one that grew
// beyond its room moves what follows (item_moves.h); a part that lay inside
// bytes shared with other items and changed goes right after them.
#include <algorithm>

#include "byte_io.h"
#include "error.h"
#include "file_io.h"
#include "file_system.h"
#include "file_table.h"
#include "header.h"
#include "header_items.h"
#include "item_moves.h"
#include "rebuild_plan.h"

namespace nds {

namespace {

constexpr std::uint64_t kMaxFnt = 16u << 20;

// The extra file must be the one written with this layout.
void check_extra_file(const PartPath& extra_p, const Layout& l) {
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

// Where the bytes of a pointer into a shared region are in the extra file.
std::uint64_t extra_offset(const Layout& l, const Pointer& p) {
  const Region& g = l.regions[l.region_at(p.start)];
  return g.extra + (p.start - g.offset);
}

// The FNT's bytes when names come from it (it was read), else none.
std::vector<std::uint8_t> fnt_bytes(const Layout& l, const PartPath& extra_p) {
  std::uint64_t off = 0, len = 0;
  if (const Region* g = l.find_region(Kind::Fnt)) {
    off = g->extra;
    len = g->length;
  } else if (const Pointer* p = l.find_pointer(Kind::Fnt); p && p->end > p->start) {
    off = extra_offset(l, *p);
    len = p->end - p->start;
  }
  if (len == 0) return {};
  if (len > kMaxFnt) fail("FNT too large");
  InFile extra(extra_p.path, extra_p.label);
  return extra.read_vector(off, static_cast<std::size_t>(len));
}

struct FileKinds {
  FileTree tree;
  std::vector<Source> source;      // as -x would claim the entries with the parts as they are now
  std::vector<std::string> names;  // data folder path by file ID, for named ones
};

void check_data_folder(const Parts& parts, const FileKinds& k) {
  DiskTree disk = scan_tree(parts.data.path, parts.data.label);
  std::vector<std::string> want_files, want_dirs = k.tree.dirs;
  for (const std::string& n : k.names)
    if (!n.empty()) want_files.push_back(n);
  for (auto* v : {&want_files, &want_dirs, &disk.files, &disk.dirs})
    std::sort(v->begin(), v->end());
  if (want_files != disk.files || want_dirs != disk.dirs)
    fail(parts.data.label + " holds other files than the image had");
}

FileKinds file_kinds(const Parts& parts, const Inputs& in, const Layout& l,
                     const PartPath& extra_p) {
  FileKinds k;
  std::vector<std::uint8_t> fnt = fnt_bytes(l, extra_p);
  if (!fnt.empty()) k.tree = parse_fnt(fnt, l.fat_count);
  std::vector<bool> kept(l.fat_count, false);
  for (const Kept& x : l.kept)
    if (x.kind == Kind::File) kept[x.id] = true;
  k.source = claim_sources(kept, k.tree, in.y9, in.y7);
  k.names.resize(l.fat_count);
  for (NamedFile& f : k.tree.files)
    if (k.source[f.id] == Source::Data) k.names[f.id] = std::move(f.path);
  check_data_folder(parts, k);
  for (const Region& g : l.regions)
    if (g.kind == Kind::File && g.source != k.source[g.id])
      fail("file " + std::to_string(g.id) + " changed its kind");
  for (const Pointer& p : l.pointers)
    if (p.kind == Kind::File && p.source != k.source[p.id])
      fail("file " + std::to_string(p.id) + " changed its kind");
  return k;
}

const PartPath* part_of(const Parts& parts, Kind k) {
  switch (k) {
    case Kind::Arm9: return &parts.arm9;
    case Kind::Arm7: return &parts.arm7;
    case Kind::Ovt9: return &parts.y9;
    case Kind::Ovt7: return &parts.y7;
    case Kind::Banner: return &parts.banner;
    default: return nullptr;
  }
}

std::uint64_t part_size(const Inputs& in, Kind k) {
  switch (k) {
    case Kind::Arm9: return in.arm9_size;
    case Kind::Arm7: return in.arm7_size;
    case Kind::Ovt9: return in.y9.size();
    case Kind::Ovt7: return in.y7.size();
    case Kind::Banner: return in.banner_size;
    default: return 0;
  }
}

// Where each region's bytes come from now, and how many there are.
struct Contents {
  std::vector<std::uint64_t> length;
  std::vector<Piece> piece;  // its source, with length = the new length
};

Contents region_contents(const Parts& parts, const Inputs& in, const Layout& l, const FileKinds& k,
                         const PartPath& extra_p) {
  Contents c;
  for (const Region& g : l.regions) {
    Piece p = fill_piece(g.fill, g.length);
    if (const PartPath* part = part_of(parts, g.kind)) {
      p = file_piece(*part, part_size(in, g.kind));
      if (p.length == 0)
        fail(std::string("the image had a ") + kind_name(g.kind) + " and its part is empty now");
    } else if (g.kind == Kind::Fnt || g.kind == Kind::Raw || g.kind == Kind::Shared ||
               (g.kind == Kind::File && g.source == Source::Raw)) {
      p = {Piece::Extra, g.length, 0, g.extra, nullptr, &extra_p};
    } else if (g.kind == Kind::File) {
      p = folder_piece(g.source, g.id, file_size_of(folder_file(parts, k.names, g.source, g.id)));
    } else if (g.kind == Kind::Header || g.kind == Kind::Fat) {
      p.length = g.length;  // written from the plan's own bytes
    }
    c.length.push_back(p.length);
    c.piece.push_back(std::move(p));
  }
  if (l.arm9_footer && in.arm9_size < hdr::kFooterSize)
    fail(parts.arm9.label + " lacks the footer it had");
  return c;
}

bool same_bytes(const PartPath& part, const PartPath& extra_p, std::uint64_t at, std::uint64_t n) {
  InFile a(part.path, part.label), b(extra_p.path, extra_p.label);
  if (a.size() != n) return false;
  std::vector<std::uint8_t> x(1 << 16), y(1 << 16);
  for (std::uint64_t done = 0; done < n;) {
    std::size_t k = static_cast<std::size_t>(std::min<std::uint64_t>(n - done, x.size()));
    a.read_at(done, std::span<std::uint8_t>(x.data(), k));
    b.read_at(at + done, std::span<std::uint8_t>(y.data(), k));
    if (!std::equal(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(k), y.begin())) return false;
    done += k;
  }
  return true;
}

// A header item whose bytes lay inside a shared region and whose part no
// longer holds them: it gets a place of its own after that region.
struct Detached {
  Kind kind = Kind::Arm7;
  std::size_t region = 0;
  std::uint64_t size = 0;
};

std::vector<Detached> check_header_items(const Parts& parts, const Inputs& in, const Layout& l,
                                         const PartPath& extra_p) {
  std::vector<Detached> out;
  for (const Pointer& p : l.pointers) {
    const PartPath* part = part_of(parts, p.kind);
    if (p.kind == Kind::File || part == nullptr) continue;
    std::uint64_t now = part_size(in, p.kind), was = p.end - p.start;
    if (was == 0 && now != 0)
      fail(std::string("the image had no ") + kind_name(p.kind) +
           " bytes and its part has some now");
    if (was == 0 || (now == was && same_bytes(*part, extra_p, extra_offset(l, p), now))) continue;
    if (now == 0)
      fail(std::string("the image had a ") + kind_name(p.kind) + " and its part is empty now");
    out.push_back({p.kind, l.region_at(p.start), now});
  }
  for (const Kept& k : l.kept)
    if (k.kind != Kind::File && part_size(in, k.kind) != 0)
      fail(std::string("the image's ") + item_label(k.kind) +
           " was kept as it was, unread, and its part has bytes now");
  for (Kind kind : {Kind::Ovt9, Kind::Ovt7, Kind::Banner})
    if (!l.find_region(kind) && !l.find_pointer(kind) && !l.find_kept(kind) &&
        part_size(in, kind) != 0)
      fail(std::string("the image had no ") + item_label(kind));
  return out;
}

void check_shared_files(const Parts& parts, const Layout& l, const FileKinds& k) {
  for (const Pointer& p : l.pointers) {
    if (p.kind != Kind::File || p.source == Source::Raw) continue;
    if (file_size_of(folder_file(parts, k.names, p.source, p.id)) != p.end - p.start)
      fail("file " + std::to_string(p.id) + " shares its bytes and changed size");
  }
}

// Positions something in the image points at, in the old image: an item
// that grows must not run over them (see item_moves.h).
std::vector<std::uint64_t> anchors_of(const Layout& l, std::span<const std::uint8_t> h) {
  std::vector<std::uint64_t> a = {get32(h, hdr::kFnt), get32(h, hdr::kFat),
                                  get32(h, hdr::kUsedSize)};
  for (std::size_t f : {hdr::kOvt9, hdr::kOvt7, hdr::kDebugRom})
    if (get32(h, f + 4) != 0) a.push_back(get32(h, f));
  if (get32(h, hdr::kBanner) != 0) a.push_back(get32(h, hdr::kBanner));
  if (h.size() == hdr::kDsiPart) {
    for (const hdr::DsiRange& r : hdr::dsi_ranges())
      if (get32(h, r.size_field) != 0) a.push_back(get32(h, r.offset_field));
    a.push_back(get32(h, hdr::kDsiTotalSize));
  }
  for (const Region& g : l.regions)
    if (g.kind == Kind::File) a.push_back(g.offset);
  for (const Pointer& p : l.pointers)
    if (p.kind == Kind::File) a.push_back(p.start);
  for (const Kept& k : l.kept)
    if (k.kind == Kind::File) a.push_back(k.offset);
  std::sort(a.begin(), a.end());
  return a;
}

void add_pieces(Plan& plan, const Layout& l, const MovePlan& mv, Contents& c,
                const std::vector<Detached>& detached, const Parts& parts, const SharedBytes& fat) {
  std::uint64_t cursor = 0;
  for (std::size_t i = 0; i < l.regions.size(); ++i) {
    const Region& g = l.regions[i];
    if (mv.start[i] > cursor) plan.pieces.push_back(fill_piece(l.pad, mv.start[i] - cursor));
    std::uint64_t skip = cursor > mv.start[i] ? cursor - mv.start[i] : 0;
    Piece& p = c.piece[i];
    if (skip < mv.extent[i]) {
      // What an item grew over: fill, and leftovers too short to be data.
      if (g.kind == Kind::Fill) {
        p.length = mv.extent[i] - skip;
      } else if (g.kind == Kind::Raw) {
        p.offset += skip;
        p.length -= skip;
      } else if (skip != 0) {
        fail("layout: items overlap after moving");
      }
      if (g.kind == Kind::Header) p = bytes_piece(plan.header);
      if (g.kind == Kind::Fat) p = bytes_piece(fat);
      plan.pieces.push_back(p);
      if (mv.extent[i] > skip + p.length)
        plan.pieces.push_back(fill_piece(l.pad, mv.extent[i] - skip - p.length));
      cursor = mv.start[i] + mv.extent[i];
    }
    std::size_t k = 0;
    for (const Detached& d : detached) {
      if (d.region != i) continue;
      std::uint64_t at = mv.detached_at[i][k++];
      if (at > cursor) plan.pieces.push_back(fill_piece(l.pad, at - cursor));
      plan.pieces.push_back(file_piece(*part_of(parts, d.kind), d.size));
      cursor = at + d.size;
    }
  }
  plan.size = cursor;
}

void set_item(std::vector<std::uint8_t>& h, Kind k, std::uint64_t at, std::uint64_t size,
              bool footer) {
  auto u32 = [](std::uint64_t v) { return static_cast<std::uint32_t>(v); };
  switch (k) {
    case Kind::Arm9:
      put32(h, hdr::kArm9, u32(at));
      put32(h, hdr::kArm9 + 12, u32(size - (footer ? hdr::kFooterSize : 0)));
      break;
    case Kind::Arm7: put32(h, hdr::kArm7, u32(at)), put32(h, hdr::kArm7 + 12, u32(size)); break;
    case Kind::Ovt9: put32(h, hdr::kOvt9, u32(at)), put32(h, hdr::kOvt9 + 4, u32(size)); break;
    case Kind::Ovt7: put32(h, hdr::kOvt7, u32(at)), put32(h, hdr::kOvt7 + 4, u32(size)); break;
    case Kind::Fnt: put32(h, hdr::kFnt, u32(at)); break;
    case Kind::Fat: put32(h, hdr::kFat, u32(at)); break;
    case Kind::Banner: put32(h, hdr::kBanner, u32(at)); break;
    default: break;
  }
}

void set_file(std::vector<std::uint8_t>& fat, std::uint32_t id, std::uint64_t start,
              std::uint64_t end) {
  put32(fat, std::size_t{id} * 8, static_cast<std::uint32_t>(start));
  put32(fat, std::size_t{id} * 8 + 4, static_cast<std::uint32_t>(end));
}

// Header fields and FAT entries for where everything went.
void remap_items(std::vector<std::uint8_t>& h, std::vector<std::uint8_t>& fat, const Layout& l,
                 const MovePlan& mv, const Contents& c, const std::vector<Detached>& detached) {
  for (std::size_t i = 0; i < l.regions.size(); ++i) {
    const Region& g = l.regions[i];
    if (g.kind == Kind::File)
      set_file(fat, g.id, mv.start[i], mv.start[i] + c.length[i]);
    else if (g.kind != Kind::Header)
      set_item(h, g.kind, mv.start[i], c.length[i], l.arm9_footer);
  }
  for (const Pointer& p : l.pointers) {
    // An empty overlay table is no item: its offset points at nothing.
    if (p.start == p.end && (p.kind == Kind::Ovt9 || p.kind == Kind::Ovt7)) continue;
    std::uint64_t at = mv.map(l, p.start);
    if (p.kind == Kind::File)
      set_file(fat, p.id, at, at + (p.end - p.start));
    else
      set_item(h, p.kind, at, p.end - p.start, l.arm9_footer);
  }
  for (const Kept& k : l.kept) {
    std::uint64_t at = mv.map(l, k.offset);
    if (k.kind == Kind::File)  // the end moves as the start did, where 32 bits hold it
      set_file(fat, k.id, at,
               k.size + (at - k.offset) <= 0xFFFFFFFF ? k.size + (at - k.offset) : k.size);
    else
      set_item(h, k.kind, at, k.size, l.arm9_footer);
  }
  std::vector<std::size_t> seen(l.regions.size(), 0);
  for (const Detached& d : detached)
    set_item(h, d.kind, mv.detached_at[d.region][seen[d.region]++], d.size, l.arm9_footer);
}

// The end of the DS part, the DSi ranges and the debug ROM follow the bytes
// they point at; the chip grows when the image outgrows it.
void remap_ends(std::vector<std::uint8_t>& h, const Layout& l, const MovePlan& mv,
                std::uint64_t new_size) {
  auto move = [&](std::size_t field) {
    put32(h, field, static_cast<std::uint32_t>(mv.map(l, get32(h, field))));
  };
  auto move_range = [&](std::size_t off_field, std::size_t size_field) {
    std::uint64_t off = get32(h, off_field), size = get32(h, size_field);
    if (size == 0) return;
    std::uint64_t at = mv.map(l, off);
    put32(h, off_field, static_cast<std::uint32_t>(at));
    put32(h, size_field, static_cast<std::uint32_t>(mv.map(l, off + size) - at));
  };
  if (get32(h, hdr::kUsedSize) != 0) move(hdr::kUsedSize);
  move_range(hdr::kDebugRom, hdr::kDebugRom + 4);
  if (h.size() == hdr::kDsiPart) {
    for (const hdr::DsiRange& r : hdr::dsi_ranges()) move_range(r.offset_field, r.size_field);
    if (get32(h, hdr::kDsiTotalSize) != 0) move(hdr::kDsiTotalSize);
  }
  if (new_size > l.image_size) {
    std::uint8_t cap = hdr::capacity_for(new_size);
    if (cap > h[hdr::kCapacity]) h[hdr::kCapacity] = cap;
  }
  std::uint16_t logo = hdr::logo_crc(h);
  if (l.logo_crc.valid() || logo != l.logo_crc.computed) put16(h, hdr::kLogoCrc, logo);
}

// A FAT that could not be read keeps the entries it had: they would miss
// items that moved.
void refuse_moves_past_kept_fat(const Layout& l, const MovePlan& mv) {
  const Kept* k = l.find_kept(Kind::Fat);
  if (k == nullptr || k->size < 8 || mv.shift == 0) return;
  fail(
      "the image's FAT lies partly past the end of the file, so its entries cannot follow items "
      "that would move by " +
      hex(mv.shift) + "; the parts must keep their sizes");
}

}  // namespace

Plan plan_from_layout(const Parts& parts, const Inputs& in, const Layout& l,
                      const PartPath& extra_p) {
  check_extra_file(extra_p, l);
  if (in.header.size() != l.header_part)
    fail(parts.header.label + " has another size than the layout expects");
  FileKinds kinds = file_kinds(parts, in, l, extra_p);
  Contents c = region_contents(parts, in, l, kinds, extra_p);
  std::vector<Detached> detached = check_header_items(parts, in, l, extra_p);
  check_shared_files(parts, l, kinds);

  std::vector<std::vector<std::uint64_t>> sizes(l.regions.size());
  for (const Detached& d : detached) sizes[d.region].push_back(d.size);
  MovePlan mv = plan_moves(l, c.length, anchors_of(l, in.header), sizes, in.header[hdr::kCapacity]);
  refuse_moves_past_kept_fat(l, mv);

  Plan plan;
  plan.header = std::make_shared<std::vector<std::uint8_t>>(in.header);
  plan.names = std::move(kinds.names);
  auto fat = std::make_shared<std::vector<std::uint8_t>>(std::size_t{l.fat_count} * 8);
  add_pieces(plan, l, mv, c, detached, parts, fat);
  if (plan.size > 0xFFFFFFFFull) fail("the image would grow beyond 4 GiB");
  plan.moved_by = mv.shift;
  remap_items(*plan.header, *fat, l, mv, c, detached);
  remap_ends(*plan.header, l, mv, plan.size);
  if (const Pointer* p = l.find_pointer(Kind::Fat); p && p->end > p->start)
    plan.patches.push_back({mv.map(l, p->start), fat});
  plan.old_secure = l.secure_crc;
  plan.old_header = l.header_crc;
  return plan;
}

}  // namespace nds
