// ARM7 ELF files built in memory, as the link scripts of the DS runtimes
// make them: an ELF32 ARM executable with one PT_LOAD program header per
// segment and no section headers, which a loader does not need.
#pragma once

#include <cstdint>
#include <vector>

namespace voderer::testgen {

struct ElfSegment {
  std::uint32_t paddr, vaddr;  // where it is loaded, where it runs
  std::uint32_t memsz, flags;  // 0x100000 in flags: a DSi segment
  std::vector<std::uint8_t> bytes;
};

std::vector<std::uint8_t> elf_file(const std::vector<ElfSegment>& segments,
                                   std::uint32_t entry = 0x02380000);

}  // namespace voderer::testgen
