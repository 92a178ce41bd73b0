#include "header_items.h"

#include <string>

#include "banner.h"
#include "byte_io.h"
#include "error.h"
#include "file_table.h"
#include "header.h"
#include "overlay_table.h"

namespace nds {

namespace {

// No file system needs more: 0xF000 names of 127 bytes and 0x1000 directories.
constexpr std::uint64_t kMaxFnt = 16u << 20;

HeaderItem locate(Kind k, std::uint64_t off, std::uint64_t len, std::uint64_t size,
                  std::size_t header_part, Notes& notes) {
  HeaderItem it{k, off, len, ItemState::Bytes};
  std::string what = std::string(item_label(k)) + ": ";
  if (len == 0) {
    it.state = ItemState::Empty;
    if (off >= size)
      notes.push_back(what + "empty, its offset " + hex(off) +
                      " lies past the end of the file; kept as it is");
  } else if (off > size || len > size - off) {
    it.state = ItemState::Kept;
    notes.push_back(what + hex(len) + " bytes at " + hex(off) + " lie " +
                    (off >= size ? "" : "partly ") +
                    "past the end of the file; kept as it is, not read");
  } else if (off < header_part) {
    it.state = ItemState::Kept;
    notes.push_back(what + hex(len) + " bytes at " + hex(off) +
                    " lie inside the header; kept as it is, not read");
  }
  return it;
}

HeaderItem locate_table(const ByteSource& rom, const DsHeader& h, Kind k, std::size_t field,
                        std::uint64_t max_len, Notes& notes) {
  std::uint64_t off = get32(h.part, field), len = get32(h.part, field + 4);
  if (len > max_len)
    fail(std::string(item_label(k)) + " size " + hex(len) + " is larger than any image has");
  bool optional = k == Kind::Ovt9 || k == Kind::Ovt7;
  if (optional && off == 0 && len == 0) return {k, 0, 0, ItemState::Absent};
  return locate(k, off, len, rom.size(), h.part.size(), notes);
}

HeaderItem locate_banner(const ByteSource& rom, const DsHeader& h, Notes& notes) {
  std::uint64_t off = get32(h.part, hdr::kBanner);
  if (off == 0) return {Kind::Banner, 0, 0, ItemState::Absent};
  if (off + 2 > rom.size()) {  // not even its version to read
    notes.push_back("banner: its offset " + hex(off) +
                    " lies past the end of the file; kept as it is, not read");
    return {Kind::Banner, off, 0, ItemState::Kept};
  }
  if (off < h.part.size()) return locate(Kind::Banner, off, 2, rom.size(), h.part.size(), notes);
  std::uint8_t v[2];
  rom.read_at(off, v);
  std::uint16_t version = get16(v, 0);
  std::uint32_t dsi = h.part.size() == hdr::kDsiPart ? get32(h.part, hdr::kDsiBannerSize) : 0;
  std::uint32_t len = banner_size(version, dsi);
  bool known = version == 0x0001 || version == 0x0002 || version == 0x0003 || version == 0x0103;
  if (!known)
    notes.push_back("banner: unknown version " + hex(version) + "; taken as " + hex(len) +
                    " bytes");
  return locate(Kind::Banner, off, len, rom.size(), h.part.size(), notes);
}

}  // namespace

const char* item_label(Kind k) {
  switch (k) {
    case Kind::Header: return "header";
    case Kind::Arm9: return "ARM9";
    case Kind::Arm7: return "ARM7";
    case Kind::Ovt9: return "ARM9 overlay table";
    case Kind::Ovt7: return "ARM7 overlay table";
    case Kind::Fnt: return "FNT";
    case Kind::Fat: return "FAT";
    case Kind::Banner: return "banner";
    default: return "file";
  }
}

HeaderItems locate_items(const ByteSource& rom, const DsHeader& h, Notes& notes) {
  HeaderItems items;
  items.fnt = locate_table(rom, h, Kind::Fnt, hdr::kFnt, kMaxFnt, notes);
  items.fat = locate_table(rom, h, Kind::Fat, hdr::kFat, std::uint64_t{kMaxFiles} * 8, notes);
  items.ovt9 = locate_table(rom, h, Kind::Ovt9, hdr::kOvt9, kMaxOverlayTable, notes);
  items.ovt7 = locate_table(rom, h, Kind::Ovt7, hdr::kOvt7, kMaxOverlayTable, notes);
  items.banner = locate_banner(rom, h, notes);
  return items;
}

}  // namespace nds
