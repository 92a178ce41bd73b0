#include "nds/format/header_items.h"

#include <string>

#include "nds/format/banner.h"
#include "nds/io/byte_io.h"
#include "nds/io/error.h"
#include "nds/format/file_table.h"
#include "nds/format/overlay_table.h"

namespace nds {

namespace {

HeaderItem locate(Kind kind, std::uint64_t offset, std::uint64_t length, std::uint64_t size,
                  std::size_t header_part, Notes& notes) {
  HeaderItem item{kind, offset, length, ItemState::Bytes};
  const std::string what = std::string(item_label(kind)) + ": ";
  if (length == 0) {
    item.state = ItemState::Empty;
    if (offset >= size)
      notes.push_back(what + "empty, its offset " + hex(offset) +
                      " lies past the end of the file; kept as it is");
  } else if (offset > size || length > size - offset) {
    item.state = ItemState::Kept;
    notes.push_back(what + hex(length) + " bytes at " + hex(offset) + " lie " +
                    (offset >= size ? "" : "partly ") +
                    "past the end of the file; kept as it is, not read");
  } else if (offset < header_part) {
    item.state = ItemState::Kept;
    notes.push_back(what + hex(length) + " bytes at " + hex(offset) +
                    " lie inside the header; kept as it is, not read");
  }
  return item;
}

HeaderItem locate_table(const ByteSource& rom, const DsHeader& header, Kind kind, RangeField field,
                        std::uint64_t max_length, Notes& notes) {
  const ItemRange range = header.view().range(field);
  if (range.size > max_length)
    fail(ErrorKind::UnsafeImage, std::string(item_label(kind)) + " size " + hex(range.size) +
                                     " is larger than any image has");
  const bool optional = kind == Kind::Ovt9 || kind == Kind::Ovt7;
  if (optional && range.offset == 0 && range.size == 0) return {kind, 0, 0, ItemState::Absent};
  return locate(kind, range.offset, range.size, rom.size(), header.part.size(), notes);
}

bool known_banner_version(std::uint16_t version) {
  return version == 0x0001 || version == 0x0002 || version == 0x0003 || version == 0x0103;
}

HeaderItem locate_banner(const ByteSource& rom, const DsHeader& header, Notes& notes) {
  const std::uint64_t offset = header.view().banner_offset();
  const std::size_t header_part = header.part.size();
  if (offset == 0) return {Kind::Banner, 0, 0, ItemState::Absent};
  if (offset + 2 > rom.size()) {  // not even its version to read
    notes.push_back("banner: its offset " + hex(offset) +
                    " lies past the end of the file; kept as it is, not read");
    return {Kind::Banner, offset, 0, ItemState::Kept};
  }
  if (offset < header_part) return locate(Kind::Banner, offset, 2, rom.size(), header_part, notes);
  std::uint8_t version_bytes[2];
  rom.read_at(offset, version_bytes);
  const std::uint16_t version = get16(version_bytes, 0);
  const std::uint32_t length = banner_size(version, header.view().dsi_banner_size());
  if (!known_banner_version(version))
    notes.push_back("banner: unknown version " + hex(version) + "; taken as " + hex(length) +
                    " bytes");
  return locate(Kind::Banner, offset, length, rom.size(), header_part, notes);
}

}  // namespace

const char* item_label(Kind kind) {
  switch (kind) {
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

HeaderItems locate_items(const ByteSource& rom, const DsHeader& header, Notes& notes) {
  HeaderItems items;
  items.fnt = locate_table(rom, header, Kind::Fnt, field::kFnt, kMaxFnt, notes);
  items.fat =
      locate_table(rom, header, Kind::Fat, field::kFat, std::uint64_t{kMaxFiles} * 8, notes);
  items.ovt9 = locate_table(rom, header, Kind::Ovt9, field::kArm9Overlays, kMaxOverlayTable, notes);
  items.ovt7 = locate_table(rom, header, Kind::Ovt7, field::kArm7Overlays, kMaxOverlayTable, notes);
  items.banner = locate_banner(rom, header, notes);
  return items;
}

}  // namespace nds
