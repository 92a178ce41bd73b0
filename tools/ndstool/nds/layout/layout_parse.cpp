// The layout file read back as hostile input: one function per record.
#include <array>
#include <charconv>
#include <vector>

#include "nds/io/error.h"
#include "nds/format/file_table.h"
#include "nds/format/header.h"
#include "nds/layout/layout.h"

namespace nds {

namespace {

constexpr std::uint64_t kMaxValue = 1ull << 40;
constexpr std::uint64_t kMaxField = 0xFFFFFFFF;

[[noreturn]] void bad_layout(const std::string& what) {
  fail(ErrorKind::BadLayout, what);
}

// Splits the text into lines of space-separated words, strictly.
class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  bool next() {
    words_.clear();
    if (pos_ >= text_.size()) return false;
    const std::size_t newline = text_.find('\n', pos_);
    if (newline == std::string_view::npos) bad("last line not terminated");
    const std::string_view line = text_.substr(pos_, newline - pos_);
    pos_ = newline + 1;
    ++line_number_;
    for (std::size_t start = 0; start <= line.size();) {
      std::size_t space = line.find(' ', start);
      if (space == std::string_view::npos) space = line.size();
      if (space == start) bad("empty field");
      words_.push_back(line.substr(start, space - start));
      start = space + 1;
    }
    return true;
  }
  void expect(std::string_view key, std::size_t word_count) {
    if (!next()) bad("missing \"" + std::string(key) + "\"");
    if (words_[0] != key || words_.size() != word_count)
      bad("expected \"" + std::string(key) + "\"");
  }
  std::size_t size() const { return words_.size(); }
  std::string_view word(std::size_t i) const { return words_.at(i); }
  std::uint64_t number(std::size_t i, std::uint64_t max = kMaxValue) const {
    const std::string_view w = word(i);
    if (w.size() < 3 || w.size() > 18 || w[0] != '0' || w[1] != 'x') bad("bad number");
    std::uint64_t value = 0;
    auto result = std::from_chars(w.data() + 2, w.data() + w.size(), value, 16);
    if (result.ec != std::errc() || result.ptr != w.data() + w.size()) bad("bad number");
    if (value > max) bad("number out of range");
    return value;
  }
  Kind kind(std::size_t i) const {
    const std::optional<Kind> kind = kind_named(word(i));
    if (!kind || *kind == Kind::Arm7i) bad("unknown kind");
    return *kind;
  }
  Source source(std::size_t i) const {
    const std::string_view w = word(i);
    if (w == "data") return Source::Data;
    if (w == "overlay") return Source::Overlay;
    if (w == "raw") return Source::Raw;
    bad("unknown source");
  }
  [[noreturn]] void bad(const std::string& what) const {
    bad_layout("layout line " + std::to_string(line_number_) + ": " + what);
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
  int line_number_ = 0;
  std::vector<std::string_view> words_;
};

// Which items and FAT entries the records have listed so far.
struct Seen {
  explicit Seen(std::uint32_t fat_count) : file(fat_count, false) {}
  std::vector<bool> file;
  std::array<int, kKinds> kind{};

  void claim_file(const Reader& reader, std::uint64_t id) {
    if (id >= file.size()) reader.bad("file ID beyond the FAT");
    if (file[id]) reader.bad("file ID listed twice");
    file[id] = true;
  }
  void count(const Reader& reader, Kind k) {
    if (++kind[static_cast<std::size_t>(k)] > 1) reader.bad("item listed twice");
  }
};

Crc parse_crc(Reader& reader, std::string_view name) {
  if (!reader.next() || reader.word(0) != "crc" || reader.size() < 3 || reader.word(1) != name)
    reader.bad("expected crc " + std::string(name));
  Crc crc;
  if (reader.size() == 3 && reader.word(2) == "none") return crc;
  if (reader.size() != 4) reader.bad("bad crc line");
  crc.present = true;
  crc.stored = static_cast<std::uint16_t>(reader.number(2, 0xFFFF));
  crc.computed = static_cast<std::uint16_t>(reader.number(3, 0xFFFF));
  return crc;
}

// The records before the first region, each once and in this order.
void parse_head(Reader& reader, Layout& layout) {
  reader.expect("voderer-ndstool-layout", 2);
  if (reader.word(1) != "1") reader.bad("unknown version");
  reader.expect("image", 2);
  layout.image_size = reader.number(1, kMaxField);
  reader.expect("header-part", 2);
  layout.header_part = static_cast<std::uint32_t>(reader.number(1));
  if (layout.header_part != kDsHeaderPart && layout.header_part != kDsiHeaderPart)
    reader.bad("bad header part size");
  reader.expect("pad", 2);
  layout.pad = static_cast<std::uint8_t>(reader.number(1, 0xFF));
  reader.expect("arm9-footer", 2);
  if (reader.word(1) != "0" && reader.word(1) != "1") reader.bad("bad flag");
  layout.arm9_footer = reader.word(1) == "1";
  reader.expect("fat-count", 2);
  layout.fat_count = static_cast<std::uint32_t>(reader.number(1, kMaxFiles));
  layout.header_crc = parse_crc(reader, "header");
  layout.logo_crc = parse_crc(reader, "logo");
  layout.secure_crc = parse_crc(reader, "secure");
  reader.expect("extra", 3);
  layout.extra_size = reader.number(1);
  layout.extra_hash = reader.number(2, ~0ull);
}

// "raw EXTRA_OFF" at word at: where the region's bytes are in the extra file.
void parse_extra_range(const Reader& reader, const Layout& layout, std::size_t at, Region& region) {
  region.extra = reader.number(at);
  if (region.extra > layout.extra_size || region.length > layout.extra_size - region.extra)
    reader.bad("range beyond the extra file");
}

// The words after KIND OFFSET LENGTH, by kind; returns how many words the record has.
std::size_t parse_region_tail(const Reader& reader, const Layout& layout, Seen& seen,
                              Region& region) {
  if (region.kind == Kind::Fill) {
    if (reader.size() != 6 || reader.word(4) != "fill") reader.bad("bad fill region");
    region.fill = static_cast<std::uint8_t>(reader.number(5, 0xFF));
    return 6;
  }
  if (region.kind == Kind::Raw || region.kind == Kind::Shared || region.kind == Kind::Fnt) {
    if (reader.size() != 6 || reader.word(4) != "raw") reader.bad("bad raw region");
    parse_extra_range(reader, layout, 5, region);
    return 6;
  }
  if (region.kind != Kind::File) return 4;
  if (reader.size() < 7 || reader.word(4) != "id") reader.bad("bad file region");
  region.id = static_cast<std::uint32_t>(reader.number(5, kMaxFiles));
  seen.claim_file(reader, region.id);
  region.source = reader.source(6);
  if (region.source != Source::Raw) return 7;
  if (reader.size() != 8) reader.bad("bad file region");
  parse_extra_range(reader, layout, 7, region);
  return 8;
}

Region parse_region(const Reader& reader, const Layout& layout, Seen& seen, std::uint64_t pos) {
  Region region;
  region.kind = reader.kind(1);
  region.offset = reader.number(2);
  region.length = reader.number(3);
  if (region.offset != pos) reader.bad("regions not contiguous");
  if (region.length == 0 || region.length > layout.image_size - pos)
    reader.bad("region length out of range");
  if (reader.size() != parse_region_tail(reader, layout, seen, region)) reader.bad("extra fields");
  if (region.kind == Kind::Header && (region.offset != 0 || region.length != layout.header_part))
    reader.bad("bad header region");
  if (region.kind == Kind::Fat && region.length != std::uint64_t{layout.fat_count} * 8)
    reader.bad("FAT size mismatch");
  if (is_item(region.kind) && region.kind != Kind::File) seen.count(reader, region.kind);
  return region;
}

Pointer parse_pointer(const Reader& reader, const Layout& layout, Seen& seen) {
  Pointer pointer;
  pointer.kind = reader.kind(1);
  pointer.start = reader.number(2, kMaxField);
  pointer.end = reader.number(3, kMaxField);
  if (pointer.start > pointer.end ||
      (pointer.start < pointer.end && pointer.end > layout.image_size))
    reader.bad("pointer out of range");
  if (!is_item(pointer.kind) || pointer.kind == Kind::Header) reader.bad("bad pointer kind");
  if (pointer.kind == Kind::File) {
    if (reader.size() != 7 || reader.word(4) != "id") reader.bad("bad file pointer");
    pointer.id = static_cast<std::uint32_t>(reader.number(5, kMaxFiles));
    seen.claim_file(reader, pointer.id);
    pointer.source = reader.source(6);
  } else {
    if (reader.size() != 4) reader.bad("bad pointer");
    seen.count(reader, pointer.kind);
  }
  return pointer;
}

bool may_be_kept(Kind kind) {
  return kind == Kind::Fnt || kind == Kind::Fat || kind == Kind::Ovt9 || kind == Kind::Ovt7 ||
         kind == Kind::Banner;
}

Kept parse_kept(const Reader& reader, Seen& seen) {
  Kept kept;
  kept.kind = reader.kind(1);
  kept.offset = reader.number(2, kMaxField);
  kept.size = reader.number(3, kMaxField);
  if (kept.kind == Kind::File) {
    if (reader.size() != 6 || reader.word(4) != "id") reader.bad("bad kept file");
    kept.id = static_cast<std::uint32_t>(reader.number(5, kMaxFiles));
    seen.claim_file(reader, kept.id);
    return kept;
  }
  if (reader.size() != 4) reader.bad("bad kept item");
  if (!may_be_kept(kept.kind)) reader.bad("bad kept kind");
  seen.count(reader, kept.kind);
  return kept;
}

// What no single record shows: the items every image has, the FAT's size,
// pointers with bytes inside a shared region.
void check_whole(const Layout& layout, const Seen& seen) {
  for (Kind kind : {Kind::Header, Kind::Arm9, Kind::Arm7, Kind::Fnt, Kind::Fat})
    if (seen.kind[static_cast<std::size_t>(kind)] != 1)
      bad_layout(std::string("layout: no ") + kind_name(kind));
  for (std::uint32_t id = 0; id < layout.fat_count; ++id)
    if (!seen.file[id]) bad_layout("layout: FAT entry " + std::to_string(id) + " missing");
  for (const Pointer& pointer : layout.pointers) {
    if (pointer.kind == Kind::File || pointer.start == pointer.end) continue;
    const Region& region = layout.regions[layout.region_at(pointer.start)];
    if (region.kind != Kind::Shared || pointer.end > region.offset + region.length)
      bad_layout(std::string("layout: the ") + kind_name(pointer.kind) +
                 " lies outside a shared region");
  }
  std::uint64_t fat_bytes = 0;
  if (const Pointer* pointer = layout.find_pointer(Kind::Fat))
    fat_bytes = pointer->end - pointer->start;
  if (!layout.find_region(Kind::Fat) && fat_bytes != std::uint64_t{layout.fat_count} * 8)
    bad_layout("layout: FAT size mismatch");
}

}  // namespace

Layout parse_layout(std::string_view text) {
  if (text.size() > kMaxLayoutText) bad_layout("layout file too large");
  Reader reader(text);
  Layout layout;
  parse_head(reader, layout);
  Seen seen(layout.fat_count);
  std::uint64_t pos = 0;
  for (;;) {
    if (!reader.next()) reader.bad("missing \"end\"");
    if (reader.word(0) == "end" && reader.size() == 1) break;
    if (reader.size() < 4) reader.bad("short record");
    const std::string_view record = reader.word(0);
    reader.kind(1);  // an unknown kind is refused before the record's own checks
    if (record == "region") {
      layout.regions.push_back(parse_region(reader, layout, seen, pos));
      pos += layout.regions.back().length;
    } else if (record == "pointer") {
      layout.pointers.push_back(parse_pointer(reader, layout, seen));
    } else if (record == "kept") {
      layout.kept.push_back(parse_kept(reader, seen));
    } else {
      reader.bad("unknown record");
    }
  }
  if (reader.next()) reader.bad("text after \"end\"");
  if (pos != layout.image_size) reader.bad("regions do not cover the image");
  check_whole(layout, seen);
  return layout;
}

}  // namespace nds
