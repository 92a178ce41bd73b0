// ARM9 and ARM7 overlay tables: 32-byte entries whose file ID (at +0x18)
// names the FAT entry holding the overlay's code.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace nds {

inline constexpr std::size_t kOverlayEntry = 32;
inline constexpr std::size_t kMaxOverlayTable = 0xF000 * kOverlayEntry;

// File IDs of the table's whole entries, in table order, whatever they name.
std::vector<std::uint32_t> overlay_entry_ids(std::span<const std::uint8_t> table);

// File IDs of the table's entries, in table order; refuses a table that is
// not whole entries or names a file ID at or beyond file_limit.
std::vector<std::uint32_t> overlay_file_ids(std::span<const std::uint8_t> table,
                                            std::uint32_t file_limit, const char* which);

}  // namespace nds
