#include "layout.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <vector>

#include "error.h"
#include "file_table.h"
#include "header.h"

namespace nds {

namespace {

constexpr std::array<const char*, kKinds> kKindNames = {"header", "arm9", "arm7", "ovt9",
                                                        "ovt7",   "fnt",  "fat",  "banner",
                                                        "file",   "fill", "raw",  "shared"};
constexpr std::uint64_t kMaxValue = 1ull << 40;

const char* source_name(Source s) {
  switch (s) {
    case Source::Data: return "data";
    case Source::Overlay: return "overlay";
    case Source::Raw: return "raw";
    case Source::None: break;
  }
  return "none";
}

// Splits the text into lines of space-separated words, strictly.
class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  bool next() {
    words_.clear();
    if (pos_ >= text_.size()) return false;
    std::size_t nl = text_.find('\n', pos_);
    if (nl == std::string_view::npos) bad("last line not terminated");
    std::string_view line = text_.substr(pos_, nl - pos_);
    pos_ = nl + 1;
    ++line_no_;
    std::size_t i = 0;
    while (i <= line.size()) {
      std::size_t sp = line.find(' ', i);
      if (sp == std::string_view::npos) sp = line.size();
      if (sp == i) bad("empty field");
      words_.push_back(line.substr(i, sp - i));
      i = sp + 1;
    }
    return true;
  }
  void expect(std::string_view key, std::size_t nwords) {
    if (!next()) bad("missing \"" + std::string(key) + "\"");
    if (words_[0] != key || words_.size() != nwords) bad("expected \"" + std::string(key) + "\"");
  }
  std::size_t size() const { return words_.size(); }
  std::string_view word(std::size_t i) const { return words_.at(i); }
  std::uint64_t num(std::size_t i, std::uint64_t max = kMaxValue) const {
    std::string_view w = word(i);
    if (w.size() < 3 || w.size() > 18 || w[0] != '0' || w[1] != 'x') bad("bad number");
    std::uint64_t v = 0;
    auto r = std::from_chars(w.data() + 2, w.data() + w.size(), v, 16);
    if (r.ec != std::errc() || r.ptr != w.data() + w.size()) bad("bad number");
    if (v > max) bad("number out of range");
    return v;
  }
  [[noreturn]] void bad(const std::string& what) const {
    fail("layout line " + std::to_string(line_no_) + ": " + what);
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
  int line_no_ = 0;
  std::vector<std::string_view> words_;
};

Kind parse_kind(const Reader& r, std::string_view w) {
  for (std::size_t i = 0; i < kKindNames.size(); ++i)
    if (w == kKindNames[i]) return static_cast<Kind>(i);
  r.bad("unknown kind");
}

Source parse_source(const Reader& r, std::string_view w) {
  if (w == "data") return Source::Data;
  if (w == "overlay") return Source::Overlay;
  if (w == "raw") return Source::Raw;
  r.bad("unknown source");
}

Crc parse_crc(Reader& r, std::string_view name) {
  if (!r.next() || r.word(0) != "crc" || r.size() < 3 || r.word(1) != name)
    r.bad("expected crc " + std::string(name));
  Crc c;
  if (r.size() == 3 && r.word(2) == "none") return c;
  if (r.size() != 4) r.bad("bad crc line");
  c.present = true;
  c.stored = static_cast<std::uint16_t>(r.num(2, 0xFFFF));
  c.computed = static_cast<std::uint16_t>(r.num(3, 0xFFFF));
  return c;
}

std::string crc_line(const char* name, const Crc& c) {
  if (!c.present) return std::string("crc ") + name + " none\n";
  return std::string("crc ") + name + " " + hex(c.stored) + " " + hex(c.computed) + "\n";
}

bool is_item(Kind k) {
  return k != Kind::Fill && k != Kind::Raw && k != Kind::Shared;
}

}  // namespace

const char* kind_name(Kind k) {
  return kKindNames[static_cast<std::size_t>(k)];
}

void Fnv64::update(const std::uint8_t* data, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    h_ ^= data[i];
    h_ *= 0x100000001b3ull;
  }
}

const Region* Layout::find_region(Kind k) const {
  for (const Region& r : regions)
    if (r.kind == k) return &r;
  return nullptr;
}

const Pointer* Layout::find_pointer(Kind k) const {
  for (const Pointer& p : pointers)
    if (p.kind == k) return &p;
  return nullptr;
}

const Kept* Layout::find_kept(Kind k) const {
  for (const Kept& p : kept)
    if (p.kind == k) return &p;
  return nullptr;
}

std::size_t Layout::region_at(std::uint64_t x) const {
  auto it = std::upper_bound(regions.begin(), regions.end(), x,
                             [](std::uint64_t v, const Region& g) { return v < g.offset; });
  return static_cast<std::size_t>(it - regions.begin()) - 1;
}

std::string layout_text(const Layout& l) {
  std::string t = "voderer-ndstool-layout 1\n";
  t += "image " + hex(l.image_size) + "\n";
  t += "header-part " + hex(l.header_part) + "\n";
  t += "pad " + hex(l.pad) + "\n";
  t += std::string("arm9-footer ") + (l.arm9_footer ? "1" : "0") + "\n";
  t += "fat-count " + hex(l.fat_count) + "\n";
  t += crc_line("header", l.header_crc) + crc_line("logo", l.logo_crc) +
       crc_line("secure", l.secure_crc);
  t += "extra " + hex(l.extra_size) + " " + hex(l.extra_hash) + "\n";
  for (const Region& r : l.regions) {
    t += std::string("region ") + kind_name(r.kind) + " " + hex(r.offset) + " " + hex(r.length);
    if (r.kind == Kind::Fill) t += " fill " + hex(r.fill);
    if (r.kind == Kind::Raw || r.kind == Kind::Shared || r.kind == Kind::Fnt)
      t += " raw " + hex(r.extra);
    if (r.kind == Kind::File) {
      t += " id " + hex(r.id) + " " + source_name(r.source);
      if (r.source == Source::Raw) t += " " + hex(r.extra);
    }
    t += "\n";
  }
  for (const Pointer& p : l.pointers) {
    t += std::string("pointer ") + kind_name(p.kind) + " " + hex(p.start) + " " + hex(p.end);
    if (p.kind == Kind::File) t += " id " + hex(p.id) + " " + source_name(p.source);
    t += "\n";
  }
  for (const Kept& k : l.kept) {
    t += std::string("kept ") + kind_name(k.kind) + " " + hex(k.offset) + " " + hex(k.size);
    if (k.kind == Kind::File) t += " id " + hex(k.id);
    t += "\n";
  }
  t += "end\n";
  return t;
}

namespace {

constexpr std::uint64_t kMaxField = 0xFFFFFFFF;

// Which items and FAT entries the records have listed so far.
struct Seen {
  explicit Seen(std::uint32_t fat_count) : file(fat_count, false) {}
  std::vector<bool> file;
  std::array<int, kKinds> kind{};

  void claim_file(const Reader& r, std::uint64_t id) {
    if (id >= file.size()) r.bad("file ID beyond the FAT");
    if (file[id]) r.bad("file ID listed twice");
    file[id] = true;
  }
  void count(const Reader& r, Kind k) {
    if (++kind[static_cast<std::size_t>(k)] > 1) r.bad("item listed twice");
  }
};

void parse_head(Reader& r, Layout& l) {
  r.expect("voderer-ndstool-layout", 2);
  if (r.word(1) != "1") r.bad("unknown version");
  r.expect("image", 2);
  l.image_size = r.num(1, kMaxField);
  r.expect("header-part", 2);
  l.header_part = static_cast<std::uint32_t>(r.num(1));
  if (l.header_part != hdr::kDsPart && l.header_part != hdr::kDsiPart)
    r.bad("bad header part size");
  r.expect("pad", 2);
  l.pad = static_cast<std::uint8_t>(r.num(1, 0xFF));
  r.expect("arm9-footer", 2);
  if (r.word(1) != "0" && r.word(1) != "1") r.bad("bad flag");
  l.arm9_footer = r.word(1) == "1";
  r.expect("fat-count", 2);
  l.fat_count = static_cast<std::uint32_t>(r.num(1, kMaxFiles));
  l.header_crc = parse_crc(r, "header");
  l.logo_crc = parse_crc(r, "logo");
  l.secure_crc = parse_crc(r, "secure");
  r.expect("extra", 3);
  l.extra_size = r.num(1);
  l.extra_hash = r.num(2, ~0ull);
}

// The words after KIND OFFSET LENGTH, by kind.
void parse_region_tail(const Reader& r, const Layout& l, Seen& seen, Region& g) {
  auto extra_range = [&](std::size_t at) {
    g.extra = r.num(at);
    if (g.extra > l.extra_size || g.length > l.extra_size - g.extra)
      r.bad("range beyond the extra file");
  };
  std::size_t n = 4;
  if (g.kind == Kind::Fill) {
    if (r.size() != 6 || r.word(4) != "fill") r.bad("bad fill region");
    g.fill = static_cast<std::uint8_t>(r.num(5, 0xFF));
    n = 6;
  } else if (g.kind == Kind::Raw || g.kind == Kind::Shared || g.kind == Kind::Fnt) {
    if (r.size() != 6 || r.word(4) != "raw") r.bad("bad raw region");
    extra_range(5);
    n = 6;
  } else if (g.kind == Kind::File) {
    if (r.size() < 7 || r.word(4) != "id") r.bad("bad file region");
    g.id = static_cast<std::uint32_t>(r.num(5, kMaxFiles));
    seen.claim_file(r, g.id);
    g.source = parse_source(r, r.word(6));
    n = 7;
    if (g.source == Source::Raw) {
      if (r.size() != 8) r.bad("bad file region");
      extra_range(7);
      n = 8;
    }
  }
  if (r.size() != n) r.bad("extra fields");
}

Region parse_region(const Reader& r, const Layout& l, Seen& seen, Kind kind, std::uint64_t pos) {
  Region g;
  g.kind = kind;
  g.offset = r.num(2);
  g.length = r.num(3);
  if (g.offset != pos) r.bad("regions not contiguous");
  if (g.length == 0 || g.length > l.image_size - pos) r.bad("region length out of range");
  parse_region_tail(r, l, seen, g);
  if (kind == Kind::Header && (g.offset != 0 || g.length != l.header_part))
    r.bad("bad header region");
  if (kind == Kind::Fat && g.length != std::uint64_t{l.fat_count} * 8) r.bad("FAT size mismatch");
  if (is_item(kind) && kind != Kind::File) seen.count(r, kind);
  return g;
}

Pointer parse_pointer(const Reader& r, const Layout& l, Seen& seen, Kind kind) {
  Pointer p;
  p.kind = kind;
  p.start = r.num(2, kMaxField);
  p.end = r.num(3, kMaxField);
  if (p.start > p.end || (p.start < p.end && p.end > l.image_size)) r.bad("pointer out of range");
  if (!is_item(kind) || kind == Kind::Header) r.bad("bad pointer kind");
  if (kind == Kind::File) {
    if (r.size() != 7 || r.word(4) != "id") r.bad("bad file pointer");
    p.id = static_cast<std::uint32_t>(r.num(5, kMaxFiles));
    seen.claim_file(r, p.id);
    p.source = parse_source(r, r.word(6));
  } else {
    if (r.size() != 4) r.bad("bad pointer");
    seen.count(r, kind);
  }
  return p;
}

Kept parse_kept(const Reader& r, Seen& seen, Kind kind) {
  Kept k;
  k.kind = kind;
  k.offset = r.num(2, kMaxField);
  k.size = r.num(3, kMaxField);
  if (kind == Kind::File) {
    if (r.size() != 6 || r.word(4) != "id") r.bad("bad kept file");
    k.id = static_cast<std::uint32_t>(r.num(5, kMaxFiles));
    seen.claim_file(r, k.id);
    return k;
  }
  if (r.size() != 4) r.bad("bad kept item");
  if (kind != Kind::Fnt && kind != Kind::Fat && kind != Kind::Ovt9 && kind != Kind::Ovt7 &&
      kind != Kind::Banner)
    r.bad("bad kept kind");
  seen.count(r, kind);
  return k;
}

// What no single record shows: the items every image has, the FAT's size,
// pointers with bytes inside a shared region.
void check_whole(const Layout& l, const Seen& seen) {
  for (Kind k : {Kind::Header, Kind::Arm9, Kind::Arm7, Kind::Fnt, Kind::Fat})
    if (seen.kind[static_cast<std::size_t>(k)] != 1)
      fail(std::string("layout: no ") + kind_name(k));
  for (std::uint32_t i = 0; i < l.fat_count; ++i)
    if (!seen.file[i]) fail("layout: FAT entry " + std::to_string(i) + " missing");
  for (const Pointer& p : l.pointers) {
    if (p.kind == Kind::File || p.start == p.end) continue;
    const Region& g = l.regions[l.region_at(p.start)];
    if (g.kind != Kind::Shared || p.end > g.offset + g.length)
      fail(std::string("layout: the ") + kind_name(p.kind) + " lies outside a shared region");
  }
  std::uint64_t fat_bytes = 0;
  if (const Pointer* p = l.find_pointer(Kind::Fat)) fat_bytes = p->end - p->start;
  if (!l.find_region(Kind::Fat) && fat_bytes != std::uint64_t{l.fat_count} * 8)
    fail("layout: FAT size mismatch");
}

}  // namespace

Layout parse_layout(std::string_view text) {
  if (text.size() > kMaxLayoutText) fail("layout file too large");
  Reader r(text);
  Layout l;
  parse_head(r, l);
  Seen seen(l.fat_count);
  std::uint64_t pos = 0;
  for (;;) {
    if (!r.next()) r.bad("missing \"end\"");
    if (r.word(0) == "end" && r.size() == 1) break;
    if (r.size() < 4) r.bad("short record");
    Kind kind = parse_kind(r, r.word(1));
    if (r.word(0) == "region") {
      l.regions.push_back(parse_region(r, l, seen, kind, pos));
      pos += l.regions.back().length;
    } else if (r.word(0) == "pointer") {
      l.pointers.push_back(parse_pointer(r, l, seen, kind));
    } else if (r.word(0) == "kept") {
      l.kept.push_back(parse_kept(r, seen, kind));
    } else {
      r.bad("unknown record");
    }
  }
  if (r.next()) r.bad("text after \"end\"");
  if (pos != l.image_size) r.bad("regions do not cover the image");
  check_whole(l, seen);
  return l;
}

}  // namespace nds
