#include "unpack.h"

#include <algorithm>
#include <map>

#include "banner.h"
#include "byte_io.h"
#include "crc16.h"
#include "error.h"
#include "header.h"
#include "overlay_table.h"

namespace nds {

namespace {

constexpr std::uint64_t kMaxFnt = 16u << 20;
constexpr std::uint64_t kMinFillRun = 32;

std::string item_name(Kind k, std::uint32_t id) {
  switch (k) {
    case Kind::Header: return "header";
    case Kind::Arm9: return "ARM9";
    case Kind::Arm7: return "ARM7";
    case Kind::Ovt9: return "ARM9 overlay table";
    case Kind::Ovt7: return "ARM7 overlay table";
    case Kind::Fnt: return "FNT";
    case Kind::Fat: return "FAT";
    case Kind::Banner: return "banner";
    default: return "file " + std::to_string(id);
  }
}

// Disjoint byte ranges by start.
class Ranges {
 public:
  const Item* overlap(std::uint64_t start, std::uint64_t end) const {
    auto it = by_start_.lower_bound(end);
    if (it == by_start_.begin()) return nullptr;
    --it;
    return it->second.offset + it->second.length > start ? &it->second : nullptr;
  }
  void add(const Item& item) { by_start_[item.offset] = item; }
  std::vector<Item> sorted() const {
    std::vector<Item> v;
    for (const auto& [k, item] : by_start_) v.push_back(item);
    return v;
  }

 private:
  std::map<std::uint64_t, Item> by_start_;
};

}  // namespace

Crc secure_area_crc(std::uint64_t arm9_offset, std::uint64_t image_size,
                    const std::function<void(std::uint64_t, std::span<std::uint8_t>)>& read) {
  Crc c;
  if (arm9_offset >= hdr::kSecureEnd || image_size < hdr::kSecureEnd) return c;
  std::vector<std::uint8_t> bytes(hdr::kSecureEnd - arm9_offset);
  read(arm9_offset, bytes);
  c.present = true;
  c.computed = crc16(bytes);
  return c;
}

ImageModel analyse_image(const ByteSource& rom) {
  ImageModel m;
  m.size = rom.size();
  if (m.size < hdr::kDsPart) fail("image too small for a header");
  if (m.size > 0xFFFFFFFFull) fail("image larger than 4 GiB");
  auto h0 = rom.read_vector(0, hdr::kDsPart);
  std::size_t hp = hdr::part_size(h0);
  if (m.size < hp) fail("image too small for its DSi header");
  m.header = rom.read_vector(0, hp);
  const auto& h = m.header;

  auto check_range = [&](const std::string& what, std::uint64_t off, std::uint64_t len) {
    if (off > m.size || len > m.size - off)
      fail(what + " at " + hex(off) + " size " + hex(len) + " lies beyond the end of the image");
  };
  std::uint64_t arm9_off = get32(h, hdr::kArm9), arm9_len = get32(h, hdr::kArm9 + 12);
  check_range("ARM9", arm9_off, arm9_len);
  if (arm9_off + arm9_len + hdr::kFooterSize <= m.size) {
    std::uint8_t w[4];
    rom.read_at(arm9_off + arm9_len, w);
    m.arm9_footer = get32(w, 0) == hdr::kFooterMagic;
  }
  if (m.arm9_footer) arm9_len += hdr::kFooterSize;
  std::uint64_t arm7_off = get32(h, hdr::kArm7), arm7_len = get32(h, hdr::kArm7 + 12);
  check_range("ARM7", arm7_off, arm7_len);

  std::uint64_t fnt_off = get32(h, hdr::kFnt), fnt_len = get32(h, hdr::kFnt + 4);
  check_range("FNT", fnt_off, fnt_len);
  if (fnt_len > kMaxFnt) fail("FNT larger than 16 MiB");
  std::uint64_t fat_off = get32(h, hdr::kFat), fat_len = get32(h, hdr::kFat + 4);
  check_range("FAT", fat_off, fat_len);
  if (fat_len > std::uint64_t{kMaxFiles} * 8)
    fail("FAT has more than " + std::to_string(kMaxFiles) + " entries");
  m.fat = parse_fat(rom.read_vector(fat_off, static_cast<std::size_t>(fat_len)), m.size);
  m.fnt = rom.read_vector(fnt_off, static_cast<std::size_t>(fnt_len));
  m.tree = parse_fnt(m.fnt, static_cast<std::uint32_t>(m.fat.size()));

  std::vector<Source> claim(m.fat.size(), Source::Raw);
  for (const NamedFile& f : m.tree.files) claim[f.id] = Source::Data;
  std::uint64_t ovt_off[2], ovt_len[2];
  const char* which[2] = {"ARM9", "ARM7"};
  for (int t = 0; t < 2; ++t) {
    std::size_t field = t == 0 ? hdr::kOvt9 : hdr::kOvt7;
    ovt_off[t] = get32(h, field);
    ovt_len[t] = get32(h, field + 4);
    check_range(std::string(which[t]) + " overlay table", ovt_off[t], ovt_len[t]);
    if (ovt_len[t] > kMaxOverlayTable)
      fail(std::string(which[t]) + " overlay table has too many entries");
    auto ids = overlay_file_ids(rom.read_vector(ovt_off[t], static_cast<std::size_t>(ovt_len[t])),
                                static_cast<std::uint32_t>(m.fat.size()), which[t]);
    for (std::uint32_t id : ids) {
      if (claim[id] != Source::Raw)
        fail(std::string(which[t]) + " overlay table: file ID " + std::to_string(id) +
             " is claimed twice");
      claim[id] = Source::Overlay;
      m.overlays.push_back(id);
    }
  }

  std::uint64_t banner_off = get32(h, hdr::kBanner), banner_len = 0;
  if (banner_off != 0) {
    check_range("banner", banner_off, 2);
    std::uint8_t v[2];
    rom.read_at(banner_off, v);
    banner_len = banner_size(get16(v, 0), hp == hdr::kDsiPart ? get32(h, hdr::kDsiBannerSize) : 0);
    check_range("banner", banner_off, banner_len);
  }

  m.header_crc = {true, get16(h, hdr::kHeaderCrc), hdr::header_crc(h)};
  m.logo_crc = {true, get16(h, hdr::kLogoCrc), hdr::logo_crc(h)};
  m.secure_crc = secure_area_crc(
      arm9_off, m.size, [&](std::uint64_t o, std::span<std::uint8_t> b) { rom.read_at(o, b); });
  m.secure_crc.stored = get16(h, hdr::kSecureCrc);

  Ranges ranges;
  const Item mains[] = {
      {Kind::Header, 0, hp},
      {Kind::Arm9, arm9_off, arm9_len},
      {Kind::Arm7, arm7_off, arm7_len},
      {Kind::Ovt9, ovt_off[0], ovt_len[0]},
      {Kind::Ovt7, ovt_off[1], ovt_len[1]},
      {Kind::Fnt, fnt_off, fnt_len},
      {Kind::Fat, fat_off, fat_len},
      {Kind::Banner, banner_off, banner_len},
  };
  for (const Item& it : mains) {
    if (it.length == 0) {
      bool absent = (it.kind == Kind::Ovt9 || it.kind == Kind::Ovt7 || it.kind == Kind::Banner) &&
                    it.offset == 0;
      if (!absent) m.pointers.push_back({it.kind, it.offset, it.offset, 0, Source::None});
      continue;
    }
    if (const Item* other = ranges.overlap(it.offset, it.offset + it.length))
      fail(item_name(it.kind, 0) + " overlaps the " + item_name(other->kind, 0));
    ranges.add(it);
  }
  std::vector<std::uint32_t> order(m.fat.size());
  for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    return m.fat[a].start < m.fat[b].start;
  });
  for (std::uint32_t id : order) {
    const FatEntry& e = m.fat[id];
    Item it{.kind = Kind::File,
            .offset = e.start,
            .length = std::uint64_t{e.end} - e.start,
            .id = id,
            .source = claim[id]};
    if (it.length == 0 || ranges.overlap(it.offset, it.offset + it.length))
      m.pointers.push_back({Kind::File, e.start, e.end, id, claim[id]});
    else
      ranges.add(it);
  }
  m.items = ranges.sorted();
  return m;
}

namespace {

// Splits a gap between items into runs of one byte value (fill regions) and
// everything else (raw regions, whose bytes go to the extra file).
class GapScanner {
 public:
  GapScanner(Layout& layout, OutFile& extra, Fnv64& hash)
      : layout_(layout), extra_(extra), hash_(hash) {}

  void scan(const InFile& rom, std::uint64_t start, std::uint64_t end,
            std::vector<std::uint8_t>& buf) {
    raw_start_ = start;
    raw_len_ = 0;
    run_len_ = 0;
    for (std::uint64_t pos = start; pos < end;) {
      std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(end - pos, buf.size()));
      rom.read_at(pos, std::span<std::uint8_t>(buf.data(), n));
      for (std::size_t i = 0; i < n; ++i) {
        if (run_len_ > 0 && buf[i] == run_byte_) {
          ++run_len_;
          continue;
        }
        close_run();
        run_byte_ = buf[i];
        run_start_ = pos + i;
        run_len_ = 1;
      }
      pos += n;
    }
    close_run();
    flush_raw();
  }

  // Raw bytes of an item (the FNT, unnamed files): returns their extra offset.
  std::uint64_t copy_item(const InFile& rom, std::uint64_t off, std::uint64_t len,
                          std::vector<std::uint8_t>& buf) {
    std::uint64_t at = extra_.position();
    for (std::uint64_t done = 0; done < len;) {
      std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(len - done, buf.size()));
      rom.read_at(off + done, std::span<std::uint8_t>(buf.data(), n));
      hash_.update(buf.data(), n);
      extra_.write(std::span<const std::uint8_t>(buf.data(), n));
      done += n;
    }
    return at;
  }

 private:
  void close_run() {
    if (run_len_ == 0) return;
    if (run_len_ >= kMinFillRun) {
      flush_raw();
      Region g;
      g.kind = Kind::Fill;
      g.offset = run_start_;
      g.length = run_len_;
      g.fill = run_byte_;
      layout_.regions.push_back(g);
      raw_start_ = run_start_ + run_len_;
    } else {
      std::uint8_t chunk[kMinFillRun];
      std::fill_n(chunk, run_len_, run_byte_);
      hash_.update(chunk, static_cast<std::size_t>(run_len_));
      extra_.write(std::span<const std::uint8_t>(chunk, static_cast<std::size_t>(run_len_)));
      raw_len_ += run_len_;
    }
    run_len_ = 0;
  }
  void flush_raw() {
    if (raw_len_ == 0) return;
    Region g;
    g.kind = Kind::Raw;
    g.offset = raw_start_;
    g.length = raw_len_;
    g.extra = extra_.position() - raw_len_;
    layout_.regions.push_back(g);
    raw_start_ += raw_len_;
    raw_len_ = 0;
  }

  Layout& layout_;
  OutFile& extra_;
  Fnv64& hash_;
  std::uint8_t run_byte_ = 0;
  std::uint64_t run_start_ = 0, run_len_ = 0;
  std::uint64_t raw_start_ = 0, raw_len_ = 0;
};

void require_parent(const PartPath& p) {
  fs::path parent = p.path.parent_path();
  std::error_code ec;
  if (!parent.empty() && !fs::is_directory(parent, ec))
    fail("cannot write " + p.label + ": its folder does not exist");
}

void require_empty_folder(const PartPath& p) {
  std::error_code ec;
  require_parent(p);
  if (!fs::exists(fs::symlink_status(p.path, ec))) return;
  if (!fs::is_directory(fs::symlink_status(p.path, ec)))
    fail("cannot write " + p.label + ": not a folder");
  if (!fs::is_empty(p.path, ec) || ec) fail("cannot write " + p.label + ": folder is not empty");
}

// exclusive: the file must be new, so two names that one file system takes
// for the same (case, normalisation) are an error instead of a lost file.
void write_range(const InFile& rom, const PartPath& part, std::uint64_t off, std::uint64_t len,
                 bool exclusive = false) {
  OutFile out(part.path, part.label, exclusive);
  out.copy_from(rom, off, len);
  out.close();
}

void remove_stale(const PartPath& p) {
  std::error_code ec;
  fs::remove(p.path, ec);
  if (ec) fail("cannot remove the old " + p.label + ": " + ec.message());
}

}  // namespace

void unpack(const PartPath& rom_part, const Parts& parts, const Log& log) {
  InFile rom(rom_part.path, rom_part.label);
  ImageModel m;
  try {
    m = analyse_image(rom);
  } catch (const Error& e) {
    fail("refused " + rom_part.label + ": " + e.what());
  }
  for (const PartPath* p :
       {&parts.arm9, &parts.arm7, &parts.y9, &parts.y7, &parts.banner, &parts.header})
    require_parent(*p);
  require_empty_folder(parts.data);
  require_empty_folder(parts.overlay);
  if (log)
    log("unpacking " + rom_part.label + ": " + std::to_string(m.size) + " bytes, " +
        std::to_string(m.tree.files.size()) + " named files, " + std::to_string(m.overlays.size()) +
        " overlays, " + std::to_string(m.fat.size()) + " FAT entries");

  // The header part goes last: a half-finished unpack has none, so a
  // rebuild from it stops instead of dropping files.
  PartPath layout_p = layout_part(parts), extra_p = extra_part(parts);
  remove_stale(parts.header);
  remove_stale(layout_p);
  remove_stale(extra_p);

  const Item* found[11] = {};
  for (const Item& it : m.items)
    if (it.kind != Kind::File) found[static_cast<std::size_t>(it.kind)] = &it;
  auto write_item = [&](Kind k, const PartPath& part) {
    const Item* it = found[static_cast<std::size_t>(k)];
    write_range(rom, part, it ? it->offset : 0, it ? it->length : 0);
    if (log) log("  " + part.label + ": " + std::to_string(it ? it->length : 0) + " bytes");
  };
  write_item(Kind::Arm9, parts.arm9);
  write_item(Kind::Arm7, parts.arm7);
  write_item(Kind::Ovt9, parts.y9);
  write_item(Kind::Ovt7, parts.y7);
  write_item(Kind::Banner, parts.banner);

  std::error_code ec;
  fs::create_directory(parts.data.path, ec);
  if (ec) fail("cannot create " + parts.data.label + ": " + ec.message());
  fs::create_directory(parts.overlay.path, ec);
  if (ec) fail("cannot create " + parts.overlay.label + ": " + ec.message());
  for (const std::string& d : m.tree.dirs) {
    bool made = fs::create_directory(parts.data.path / rel_to_path(d), ec);
    if (ec) fail("cannot create " + parts.data.label + "/" + d + ": " + ec.message());
    if (!made)
      fail("cannot create " + parts.data.label + "/" + d +
           ": the file system takes it for another name");
  }
  for (const NamedFile& f : m.tree.files)
    write_range(rom, {parts.data.path / rel_to_path(f.path), parts.data.label + "/" + f.path},
                m.fat[f.id].start, m.fat[f.id].end - m.fat[f.id].start, true);
  for (std::uint32_t id : m.overlays) {
    std::string name = overlay_file_name(id);
    write_range(rom, {parts.overlay.path / name, parts.overlay.label + "/" + name}, m.fat[id].start,
                m.fat[id].end - m.fat[id].start, true);
  }
  if (log)
    log("  " + parts.data.label + ": " + std::to_string(m.tree.files.size()) + " files in " +
        std::to_string(m.tree.dirs.size()) + " folders; " + parts.overlay.label + ": " +
        std::to_string(m.overlays.size()) + " files");

  Layout layout;
  layout.image_size = m.size;
  layout.header_part = static_cast<std::uint32_t>(m.header.size());
  layout.arm9_footer = m.arm9_footer;
  layout.fat_count = static_cast<std::uint32_t>(m.fat.size());
  layout.header_crc = m.header_crc;
  layout.logo_crc = m.logo_crc;
  layout.secure_crc = m.secure_crc;
  layout.pointers = m.pointers;
  {
    OutFile extra(extra_p.path, extra_p.label, false);
    Fnv64 hash;
    GapScanner gaps(layout, extra, hash);
    std::vector<std::uint8_t> buf(kIoBuffer);
    std::uint64_t pos = 0;
    for (const Item& it : m.items) {
      gaps.scan(rom, pos, it.offset, buf);
      Region g = it;
      if (it.kind == Kind::Fnt || (it.kind == Kind::File && it.source == Source::Raw))
        g.extra = gaps.copy_item(rom, it.offset, it.length, buf);
      layout.regions.push_back(g);
      pos = it.offset + it.length;
    }
    gaps.scan(rom, pos, m.size, buf);
    layout.extra_size = extra.position();
    layout.extra_hash = hash.value();
    extra.close();
  }
  // The padding byte for what a smaller item leaves of its slot: the fill
  // after the ARM7 if there is one, else the most common fill.
  std::map<std::uint8_t, std::uint64_t> fill_total;
  for (std::size_t i = 0; i < layout.regions.size(); ++i) {
    const Region& g = layout.regions[i];
    if (g.kind == Kind::Fill) fill_total[g.fill] += g.length;
  }
  std::uint64_t best = 0;
  for (const auto& [byte, total] : fill_total)
    if (total > best) best = total, layout.pad = byte;
  for (std::size_t i = 0; i + 1 < layout.regions.size(); ++i)
    if (layout.regions[i].kind == Kind::Arm7 && layout.regions[i + 1].kind == Kind::Fill)
      layout.pad = layout.regions[i + 1].fill;
  {
    std::string text = layout_text(layout);
    OutFile out(layout_p.path, layout_p.label, false);
    out.write(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()),
                                            text.size()));
    out.close();
  }
  write_range(rom, parts.header, 0, m.header.size());
  if (log)
    log("  " + layout_p.label + ": " + std::to_string(layout.regions.size()) + " regions; " +
        extra_p.label + ": " + std::to_string(layout.extra_size) + " bytes");
}

}  // namespace nds
