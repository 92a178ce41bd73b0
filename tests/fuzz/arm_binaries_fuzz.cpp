// libFuzzer target: any bytes as the arm7.bin a user supplies, or, when
// they hold a DS header whose ARM9 and ARM7 lie inside them, as an image's
// two halves. The ELF reader, the crt0 decoders and the ARM9 start-code
// walk must answer (the ELF reader may refuse with nds::Error); any other
// way out (a crash, another exception, a sanitizer report) is a finding.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "nds/binaries/elf.h"
#include "nds/binaries/runtime.h"
#include "nds/io/byte_io.h"
#include "nds/io/byte_source.h"
#include "nds/io/error.h"

namespace {

using Bytes = std::span<const std::uint8_t>;

void as_arm7(const nds::ByteSource& file, std::uint32_t load, std::uint32_t entry) {
  if (nds::looks_like_elf(file)) {
    try {
      const nds::ElfProgram elf = nds::read_elf(file, "arm7.bin");
      const nds::MemorySource ds(elf.ds);
      (void)nds::identify_arm7(ds);
      (void)nds::starts_like_arm9(ds, elf.ds_load, elf.entry);
    } catch (const nds::Error&) {
      // Refused as an ELF file: an answer.
    }
  }
  const nds::Arm7Identity id = nds::identify_arm7(file);
  (void)nds::runtime_label(id.runtime);
  (void)nds::starts_like_arm9(file, load, entry);
  if (id.load_address && id.entry) (void)nds::starts_like_arm9(file, *id.load_address, *id.entry);
}

void as_arm9(const nds::ByteSource& arm9, std::uint32_t ram, std::uint32_t entry, Bytes footer,
             std::uint32_t hook) {
  (void)nds::runtime_label(nds::identify_arm9(arm9, ram, entry, footer, hook));
  (void)nds::starts_like_arm9(arm9, ram, entry);
}

// The part [offset, offset + size) named at a header field, when inside.
bool part(Bytes all, std::size_t field, Bytes* out) {
  const std::uint64_t offset = nds::get32(all, field), size = nds::get32(all, field + 12);
  if (offset > all.size() || size > all.size() - offset) return false;
  *out = all.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(size));
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Bytes all(data, size);
  const nds::MemorySource whole(all);
  as_arm7(whole, 0x02380000, 0x02380000);
  Bytes arm9, arm7;
  if (size < 0x200 || !part(all, 0x20, &arm9) || !part(all, 0x30, &arm7)) {
    as_arm9(whole, 0x02000000, 0x02000800, all.last(size < 12 ? size : 12), 0);
    return 0;
  }
  const std::size_t after = static_cast<std::size_t>(arm9.data() - data) + arm9.size();
  const Bytes footer = all.subspan(after, size - after < 12 ? size - after : 12);
  const nds::MemorySource arm9_source(arm9), arm7_source(arm7);
  as_arm9(arm9_source, nds::get32(all, 0x28), nds::get32(all, 0x24), footer, nds::get32(all, 0x70));
  as_arm7(arm7_source, nds::get32(all, 0x38), nds::get32(all, 0x34));
  return 0;
}
