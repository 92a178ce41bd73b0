// An ARM7 given as an ELF file (arm7.elf renamed arm7.bin), turned into the
// bytes an image carries. libnds, BlocksDS and calico link code whose load
// (physical) address differs from its run (virtual) address: the image holds
// it at its load address, and the crt0 copies it. The ARM7i travels in the
// same file, in loadable segments flagged for the DSi.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "nds/io/byte_source.h"

namespace nds {

// The "\x7F" "ELF" magic.
bool looks_like_elf(const ByteSource& file);

struct ElfProgram {
  std::uint32_t entry = 0;  // e_entry
  // The DS segments (PT_LOAD, not flagged for the DSi) that have file bytes,
  // laid out by physical address from the lowest one; gaps are zeros.
  std::uint32_t ds_load = 0;
  std::vector<std::uint8_t> ds;
  // The segments flagged for the DSi (0x100000 in p_flags), likewise.
  bool has_dsi = false;
  std::uint32_t dsi_load = 0;
  std::vector<std::uint8_t> dsi;
};

// Throws Error(BadPart, "<label>: <what is wrong with the ELF>") when the
// file is not a little-endian 32-bit ARM executable whose segments can be
// laid out; nothing is allocated before the sizes are checked.
ElfProgram read_elf(const ByteSource& elf, const std::string& label);

}  // namespace nds
