#include "elf_builder.h"

#include <algorithm>
#include <array>

#include "nds_image_builder.h"

namespace voderer::testgen {

Bytes elf_file(const std::vector<ElfSegment>& segments, std::uint32_t entry) {
  constexpr std::size_t kHeader = 52, kProgramHeader = 32;
  Bytes f(kHeader + kProgramHeader * segments.size());
  const std::array<std::uint8_t, 8> ident = {0x7F, 'E', 'L', 'F', 1, 1, 1, 0};
  std::copy(ident.begin(), ident.end(), f.begin());
  wr16(f, 16, 2);   // executable
  wr16(f, 18, 40);  // ARM
  wr32(f, 20, 1);
  wr32(f, 24, entry);
  wr32(f, 28, kHeader);
  wr32(f, 36, 0x05000000);  // EABI 5
  wr16(f, 40, kHeader);
  wr16(f, 42, kProgramHeader);
  wr16(f, 44, static_cast<std::uint32_t>(segments.size()));
  for (std::size_t i = 0; i < segments.size(); ++i) {
    const ElfSegment& s = segments[i];
    const std::array<std::uint32_t, 8> fields = {1,  // PT_LOAD
                                                 static_cast<std::uint32_t>(f.size()),
                                                 s.vaddr,
                                                 s.paddr,
                                                 static_cast<std::uint32_t>(s.bytes.size()),
                                                 s.memsz,
                                                 s.flags,
                                                 4};
    for (std::size_t k = 0; k < fields.size(); ++k)
      wr32(f, kHeader + kProgramHeader * i + k * 4, fields[k]);
    f.insert(f.end(), s.bytes.begin(), s.bytes.end());
  }
  return f;
}

}  // namespace voderer::testgen
