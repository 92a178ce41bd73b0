// The file system as -x reads it: the FAT's entries, the names the FNT gives
// them, and where each entry's bytes go among the parts. Without a usable
// FNT (none, shorter than a root entry, past the end of the file) the image
// has no names and its FAT entries are kept unnamed; an FNT that cannot be
// read is refused only when some FAT entry needs a name from it.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "nds/io/byte_source.h"
#include "nds/format/file_table.h"
#include "nds/format/header_items.h"
#include "nds/layout/layout.h"
#include "nds/layout/notes.h"

namespace nds {

struct FileSystem {
  std::vector<FatEntry> fat;      // the entries read; none when the FAT is not read
  std::vector<bool> kept;         // entries with no readable range: kept as they are
  std::vector<std::uint8_t> fnt;  // the FNT, when names come from it
  FileTree tree;
  std::vector<Source> source;           // per entry; None for kept ones
  std::vector<std::uint32_t> overlays;  // entries written to the overlay folder
};

// Reads FAT, FNT and overlay tables; items the file system cannot use
// (a FAT of less than one entry, an FNT it does not need) become Kept.
FileSystem read_file_system(const ByteSource& rom, HeaderItems& items, Notes& notes);

// Where each FAT entry's bytes go: a named one to the data folder, else the
// first overlay-table entry naming it to the overlay folder, else the extra
// file; kept entries nowhere. -x and -c decide alike by this.
std::vector<Source> claim_sources(const std::vector<bool>& kept, const FileTree& tree,
                                  std::span<const std::uint8_t> y9,
                                  std::span<const std::uint8_t> y7);

}  // namespace nds
