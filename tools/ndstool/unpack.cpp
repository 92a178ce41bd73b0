#include "unpack.h"

#include <algorithm>
#include <map>

#include "byte_io.h"
#include "crc16.h"
#include "error.h"
#include "header.h"
#include "ds_header.h"
#include "file_system.h"
#include "header_items.h"
#include "placement.h"

namespace nds {

namespace {

constexpr std::uint64_t kMinFillRun = 32;
constexpr std::size_t kMaxNotes = 40;

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
  DsHeader h = read_ds_header(rom);
  HeaderItems items = locate_items(rom, h, m.notes);
  FileSystem fs = read_file_system(rom, items, m.notes);
  Placement p = place_items(h, items, fs, m.notes);
  m.header = std::move(h.part);
  m.arm9_footer = h.arm9_footer;
  m.fat = std::move(fs.fat);
  m.source = std::move(fs.source);
  m.fnt = std::move(fs.fnt);
  m.tree = std::move(fs.tree);
  m.overlays = std::move(fs.overlays);
  m.items = std::move(p.items);
  m.pointers = std::move(p.pointers);
  m.kept = std::move(p.kept);

  const auto& hd = m.header;
  m.header_crc = {true, get16(hd, hdr::kHeaderCrc), hdr::header_crc(hd)};
  m.logo_crc = {true, get16(hd, hdr::kLogoCrc), hdr::logo_crc(hd)};
  m.secure_crc =
      secure_area_crc(h.arm9.offset, m.size,
                      [&](std::uint64_t o, std::span<std::uint8_t> b) { rom.read_at(o, b); });
  m.secure_crc.stored = get16(hd, hdr::kSecureCrc);
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
  if (len != 0) out.copy_from(rom, off, len);  // an empty range may point anywhere
  out.close();
}

void remove_stale(const PartPath& p) {
  std::error_code ec;
  fs::remove(p.path, ec);
  if (ec) fail("cannot remove the old " + p.label + ": " + ec.message());
}

// The padding byte for what a smaller item leaves of its slot: the fill
// after the ARM7 if there is one, else the most common fill.
std::uint8_t padding_byte(const Layout& layout) {
  std::map<std::uint8_t, std::uint64_t> fill_total;
  for (const Region& g : layout.regions)
    if (g.kind == Kind::Fill) fill_total[g.fill] += g.length;
  std::uint8_t pad = 0;
  std::uint64_t best = 0;
  for (const auto& [byte, total] : fill_total)
    if (total > best) best = total, pad = byte;
  for (std::size_t i = 0; i + 1 < layout.regions.size(); ++i)
    if (layout.regions[i].kind == Kind::Arm7 && layout.regions[i + 1].kind == Kind::Fill)
      pad = layout.regions[i + 1].fill;
  return pad;
}

// Where the part of a header item lies: its region, or its bytes inside a
// shared one; empty when it has no bytes.
std::pair<std::uint64_t, std::uint64_t> part_range(const ImageModel& m, Kind k) {
  for (const Item& it : m.items)
    if (it.kind == k) return {it.offset, it.length};
  for (const Pointer& p : m.pointers)
    if (p.kind == k) return {p.start, p.end - p.start};
  return {0, 0};
}

void write_main_parts(const InFile& rom, const ImageModel& m, const Parts& parts, const Log& log) {
  const std::pair<Kind, const PartPath*> mains[] = {{Kind::Arm9, &parts.arm9},
                                                    {Kind::Arm7, &parts.arm7},
                                                    {Kind::Ovt9, &parts.y9},
                                                    {Kind::Ovt7, &parts.y7},
                                                    {Kind::Banner, &parts.banner}};
  for (const auto& [kind, part] : mains) {
    auto [off, len] = part_range(m, kind);
    write_range(rom, *part, off, len);
    if (log) log("  " + part->label + ": " + std::to_string(len) + " bytes");
  }
}

void write_folders(const InFile& rom, const ImageModel& m, const Parts& parts, const Log& log) {
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
  std::size_t files = 0;
  for (const NamedFile& f : m.tree.files) {
    if (m.source[f.id] != Source::Data) continue;
    write_range(rom, {parts.data.path / rel_to_path(f.path), parts.data.label + "/" + f.path},
                m.fat[f.id].start, m.fat[f.id].end - m.fat[f.id].start, true);
    ++files;
  }
  for (std::uint32_t id : m.overlays) {
    std::string name = overlay_file_name(id);
    write_range(rom, {parts.overlay.path / name, parts.overlay.label + "/" + name}, m.fat[id].start,
                m.fat[id].end - m.fat[id].start, true);
  }
  if (log)
    log("  " + parts.data.label + ": " + std::to_string(files) + " files in " +
        std::to_string(m.tree.dirs.size()) + " folders; " + parts.overlay.label + ": " +
        std::to_string(m.overlays.size()) + " files");
}

// Regions for the gaps between items, and the bytes no part carries (gaps,
// the FNT, shared regions, unnamed files) in the extra file.
Layout layout_of(const InFile& rom, const ImageModel& m, const PartPath& extra_p) {
  Layout layout;
  layout.image_size = m.size;
  layout.header_part = static_cast<std::uint32_t>(m.header.size());
  layout.arm9_footer = m.arm9_footer;
  layout.fat_count = static_cast<std::uint32_t>(m.fat.size());
  layout.header_crc = m.header_crc;
  layout.logo_crc = m.logo_crc;
  layout.secure_crc = m.secure_crc;
  layout.pointers = m.pointers;
  layout.kept = m.kept;
  OutFile extra(extra_p.path, extra_p.label, false);
  Fnv64 hash;
  GapScanner gaps(layout, extra, hash);
  std::vector<std::uint8_t> buf(kIoBuffer);
  std::uint64_t pos = 0;
  for (const Item& it : m.items) {
    gaps.scan(rom, pos, it.offset, buf);
    Region g = it;
    if (it.kind == Kind::Fnt || it.kind == Kind::Shared ||
        (it.kind == Kind::File && it.source == Source::Raw))
      g.extra = gaps.copy_item(rom, it.offset, it.length, buf);
    layout.regions.push_back(g);
    pos = it.offset + it.length;
  }
  gaps.scan(rom, pos, m.size, buf);
  layout.extra_size = extra.position();
  layout.extra_hash = hash.value();
  extra.close();
  layout.pad = padding_byte(layout);
  return layout;
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
  if (log) {
    log("unpacking " + rom_part.label + ": " + std::to_string(m.size) + " bytes, " +
        std::to_string(m.tree.files.size()) + " named files, " + std::to_string(m.overlays.size()) +
        " overlays, " + std::to_string(m.fat.size()) + " FAT entries");
    for (std::size_t i = 0; i < m.notes.size() && i < kMaxNotes; ++i) log("  " + m.notes[i]);
    if (m.notes.size() > kMaxNotes)
      log("  (" + std::to_string(m.notes.size() - kMaxNotes) + " more such notes)");
  }

  // The header part goes last: a half-finished unpack has none, so a
  // rebuild from it stops instead of dropping files.
  PartPath layout_p = layout_part(parts), extra_p = extra_part(parts);
  remove_stale(parts.header);
  remove_stale(layout_p);
  remove_stale(extra_p);
  write_main_parts(rom, m, parts, log);
  write_folders(rom, m, parts, log);
  Layout layout = layout_of(rom, m, extra_p);
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
