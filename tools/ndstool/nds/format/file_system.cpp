#include "nds/format/file_system.h"

#include <string>

#include "nds/io/byte_io.h"
#include "nds/io/error.h"
#include "nds/format/overlay_table.h"

namespace nds {

namespace {

// Entries of a FAT whose whole entries lie in the file; a range that does
// not lie in the file is kept as it is.
void read_fat(const ByteSource& rom, HeaderItem& item, FileSystem& file_system, Notes& notes) {
  if (item.state != ItemState::Bytes) return;
  std::uint64_t n = item.length / 8;
  if (item.length % 8 != 0)
    notes.push_back("FAT: size " + hex(item.length) + " is not a multiple of 8; its last " +
                    std::to_string(item.length % 8) + " bytes are kept as they are");
  if (n == 0) {
    item.state = ItemState::Kept;
    return;
  }
  auto bytes = rom.read_vector(item.offset, static_cast<std::size_t>(n * 8));
  file_system.fat.resize(static_cast<std::size_t>(n));
  file_system.kept.assign(file_system.fat.size(), false);
  std::size_t bad = 0, first_bad = 0;
  for (std::size_t i = 0; i < file_system.fat.size(); ++i) {
    file_system.fat[i] = {get32(bytes, i * 8), get32(bytes, i * 8 + 4)};
    const FatEntry& entry = file_system.fat[i];  // an empty range may point anywhere
    file_system.kept[i] =
        entry.start > entry.end || (entry.end > rom.size() && entry.start != entry.end);
    if (file_system.kept[i] && bad++ == 0) first_bad = i;
  }
  if (bad != 0)
    notes.push_back("FAT: " + std::to_string(bad) +
                    " entries end before they start or lie past the end of the file (the first: " +
                    std::to_string(first_bad) + ", " + hex(file_system.fat[first_bad].start) +
                    ".." + hex(file_system.fat[first_bad].end) +
                    "); kept as they are, not written to the parts");
}

std::vector<std::uint8_t> read_table(const ByteSource& rom, const HeaderItem& item) {
  if (item.state != ItemState::Bytes) return {};
  return rom.read_vector(item.offset, static_cast<std::size_t>(item.length));
}

bool needs_names(const FileSystem& file_system, std::span<const std::uint8_t> y9,
                 std::span<const std::uint8_t> y7) {
  std::vector<bool> overlay(file_system.fat.size(), false);
  for (auto table : {y9, y7})
    for (std::uint32_t id : overlay_entry_ids(table))
      if (id < overlay.size()) overlay[id] = true;
  for (std::size_t i = 0; i < file_system.fat.size(); ++i)
    if (!file_system.kept[i] && !overlay[i]) return true;
  return false;
}

void read_names(const ByteSource& rom, HeaderItem& item, bool needed, FileSystem& file_system,
                Notes& notes) {
  if (item.state == ItemState::Bytes && item.length < 8) {
    item.state = ItemState::Kept;
    notes.push_back("FNT: " + hex(item.length) +
                    " bytes, shorter than a root entry; no names, kept as it is");
  } else if (item.state == ItemState::Bytes) {
    auto bytes = rom.read_vector(item.offset, static_cast<std::size_t>(item.length));
    try {
      file_system.tree = parse_fnt(bytes, static_cast<std::uint32_t>(file_system.fat.size()));
      file_system.fnt = std::move(bytes);
      return;
    } catch (const Error& e) {
      if (needed) throw;
      item.state = ItemState::Kept;
      notes.push_back(std::string(e.what()) +
                      "; no FAT entry needs a name, so the FNT is kept as it is, not read");
    }
  }
  if (needed) notes.push_back("FAT: entries without an FNT to name them; kept as unnamed entries");
}

void note_overlays(const char* which, std::span<const std::uint8_t> table,
                   const FileSystem& file_system, std::vector<bool>& claimed, Notes& notes) {
  std::string what = std::string(which) + " overlay table";
  if (table.size() % kOverlayEntry != 0)
    notes.push_back(what + ": size " + hex(table.size()) +
                    " is not a multiple of 32; the rest is kept as it is");
  auto ids = overlay_entry_ids(table);
  for (std::size_t k = 0; k < ids.size(); ++k) {
    std::uint32_t id = ids[k];
    std::string entry = what + " entry " + std::to_string(k) + ": file ID " + std::to_string(id);
    if (id >= file_system.fat.size())
      notes.push_back(entry + " lies beyond the FAT; kept as it is");
    else if (file_system.kept[id])
      notes.push_back(entry + " has no readable range; kept as it is");
    else if (claimed[id] || file_system.source[id] != Source::Overlay)
      notes.push_back(entry + " is claimed by another entry or name; its file is written once");
    else
      claimed[id] = true;
  }
}

}  // namespace

std::vector<Source> claim_sources(const std::vector<bool>& kept, const FileTree& tree,
                                  std::span<const std::uint8_t> y9,
                                  std::span<const std::uint8_t> y7) {
  std::vector<Source> src(kept.size(), Source::Raw);
  for (std::size_t i = 0; i < kept.size(); ++i)
    if (kept[i]) src[i] = Source::None;
  for (const NamedFile& f : tree.files)
    if (src[f.id] == Source::Raw) src[f.id] = Source::Data;
  for (auto table : {y9, y7})
    for (std::uint32_t id : overlay_entry_ids(table))
      if (id < src.size() && src[id] == Source::Raw) src[id] = Source::Overlay;
  return src;
}

FileSystem read_file_system(const ByteSource& rom, HeaderItems& items, Notes& notes) {
  FileSystem file_system;
  read_fat(rom, items.fat, file_system, notes);
  auto y9 = read_table(rom, items.ovt9), y7 = read_table(rom, items.ovt7);
  read_names(rom, items.fnt, needs_names(file_system, y9, y7), file_system, notes);
  file_system.source = claim_sources(file_system.kept, file_system.tree, y9, y7);
  std::vector<bool> claimed(file_system.fat.size(), false);
  note_overlays("ARM9", y9, file_system, claimed, notes);
  note_overlays("ARM7", y7, file_system, claimed, notes);
  for (std::uint32_t id = 0; id < file_system.source.size(); ++id)
    if (file_system.source[id] == Source::Overlay) file_system.overlays.push_back(id);
  return file_system;
}

}  // namespace nds
