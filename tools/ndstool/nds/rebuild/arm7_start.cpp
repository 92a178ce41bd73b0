#include "nds/rebuild/arm7_start.h"

#include <array>
#include <cstdint>

#include "nds/binaries/runtime.h"
#include "nds/io/byte_io.h"
#include "nds/io/error.h"

namespace nds {

using result_file::Refusal;

void refuse_unless_arm7_start(const ByteSource& binary, const ArmLoad& load,
                              const std::string& label, const result_file::Arm7Check& check) {
  const std::uint64_t size = binary.size();
  // Where the CPU fetches the first instruction: ARM state ignores the
  // entry's low two bits.
  const std::uint64_t at = std::uint64_t{load.entry & ~3u} - load.ram_address;
  const bool inside = load.entry >= load.ram_address && size >= 4 && at <= size - 4;
  if (inside && starts_like_arm9(binary, load.ram_address, load.entry))
    refuse_arm7(Refusal::arm9,
                label +
                    " is an ARM9 binary: its start code sets up the ARM9's cache and memory "
                    "protection, which the ARM7 does not have",
                check);
  if (!inside)
    refuse_arm7(Refusal::entry_outside,
                label + " (" + hex(size) + " bytes loaded at " + hex(load.ram_address) +
                    ") does not hold its entry point " + hex(load.entry),
                check);
  std::array<std::uint8_t, 4> word{};
  binary.read_at(at, word);
  const std::uint32_t insn = get32(word, 0);
  if (insn >> 28 != 0xE)
    refuse_arm7(Refusal::no_code_at_entry,
                label + " is not an ARM7 binary: the word at its entry point " + hex(load.entry) +
                    " is " + hex(insn) + ", not an ARM instruction that always runs",
                check);
}

}  // namespace nds
