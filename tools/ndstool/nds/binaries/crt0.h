// The crt0 generations each runtime shipped, one decoder per runtime. Each
// answers only for a crt0 whose instructions it matches exactly; anything
// else is none, and identify_arm7/identify_arm9 try the next runtime.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "nds/binaries/arm_code.h"
#include "nds/binaries/runtime.h"

namespace nds::crt0 {

// libnds (devkitPro crtls) and BlocksDS: both open with mov r0, #0x04000000.
std::optional<Arm7Identity> libnds_arm7(const arm::CodeWindow& code);
std::optional<RuntimeCode> libnds_arm9(const arm::CodeWindow& code);

// calico: a branch over a "MOD7"/"MOD9" module header.
std::optional<Arm7Identity> calico_arm7(const arm::CodeWindow& code);
bool calico_arm9(const arm::CodeWindow& code);

// What the image says of its ARM9 besides the binary: where it is loaded
// (its first byte, not its crt0), the 12 bytes after it in the ROM (empty
// when not known) and the header's ARM9 autoload hook (0: none).
struct Arm9Clues {
  std::uint32_t ram_address = 0;
  std::span<const std::uint8_t> footer;
  std::uint32_t autoload_hook = 0;
};

// The Nintendo SDK: mov ip, #0x04000000, and a pointer to the module
// parameters. The ARM9's code window starts at its crt0 (the entry).
std::optional<Arm7Identity> sdk_arm7(const arm::CodeWindow& code);
std::optional<RuntimeCode> sdk_arm9(const arm::CodeWindow& code, const Arm9Clues& clues);

// count little-endian words at a binary offset; none when they are not all
// inside the binary.
std::optional<std::vector<std::uint32_t>> read_words(const ByteSource& binary, std::uint64_t offset,
                                                     std::size_t count);

// Whether [load, load + size) lies inside one memory an ARM7 binary can be
// loaded to: main RAM, shared and ARM7 WRAM, or VRAM.
bool in_arm7_memory(std::uint64_t load, std::uint64_t size);

// A Fixed identity loaded (and entered) at load.
Arm7Identity fixed_at(RuntimeCode runtime, std::uint32_t load);

}  // namespace nds::crt0
