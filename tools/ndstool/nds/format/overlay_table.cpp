#include "nds/format/overlay_table.h"

#include <string>

#include "nds/io/byte_io.h"
#include "nds/io/error.h"

namespace nds {

std::vector<std::uint32_t> overlay_entry_ids(std::span<const std::uint8_t> table) {
  std::vector<std::uint32_t> ids;
  ids.reserve(table.size() / kOverlayEntry);
  for (std::size_t off = 0; off + kOverlayEntry <= table.size(); off += kOverlayEntry)
    ids.push_back(get32(table, off + 0x18));
  return ids;
}

std::vector<std::uint32_t> overlay_file_ids(std::span<const std::uint8_t> table,
                                            std::uint32_t file_limit, const char* which) {
  if (table.size() % kOverlayEntry != 0)
    fail(ErrorKind::BadPart, std::string(which) + " overlay table size is not a multiple of 32");
  if (table.size() > kMaxOverlayTable)
    fail(ErrorKind::BadPart, std::string(which) + " overlay table has too many entries");
  std::vector<std::uint32_t> ids;
  ids.reserve(table.size() / kOverlayEntry);
  for (std::size_t off = 0; off < table.size(); off += kOverlayEntry) {
    std::uint32_t id = get32(table, off + 0x18);
    if (id >= file_limit)
      fail(ErrorKind::BadPart, std::string(which) + " overlay table entry " +
                                   std::to_string(off / kOverlayEntry) + ": file ID " +
                                   std::to_string(id) + " beyond the FAT");
    ids.push_back(id);
  }
  return ids;
}

}  // namespace nds
