// Whether a binary's start code is an ARM9's. Only the ARM9 has coprocessor
// 15 (caches, protection unit, TCMs), and every ARM9 crt0 programs it
// before anything else: inline (devkitPro until 2008), in init_cp15 (the
// SDK) or in __libnds_mpu_setup (libnds since). So the code reached from
// the entry is walked as the CPU would take it, into its calls a few levels
// deep, and stops at what ends a routine; the file is never scanned.
#include <array>
#include <map>

#include "nds/binaries/crt0.h"

namespace nds {

namespace {

constexpr std::size_t kRoutineInsns = 128;
constexpr int kCallDepth = 3;
// All routines together: a bound however the calls and branches are laid.
constexpr std::size_t kWalkInsns = 1024;
// An ARM9 opens with the secure area's first 0x800 bytes: a block of zeros
// in homebrew (andeq r0, r0, r0 each, which the CPU runs through to the
// crt0 after it); in an SDK image, 'encryObj' or, decrypted, 0xE7FFDEFF
// twice, then the BIOS call stubs.
constexpr std::uint64_t kSecureAreaBlock = 0x800;
constexpr std::uint32_t kDecryptedMark = 0xE7FFDEFF;
constexpr std::uint32_t kEncryObj[2] = {0x72636E65, 0x6A624F79};  // "encryObj"

struct Walk {
  const ByteSource& binary;
  std::uint32_t load;
  std::size_t budget = kWalkInsns;
  // Each routine walked, or being walked, with the call depth it had: one
  // reached again with no more depth can show nothing new (an idle loop
  // "b ." would otherwise be walked again until the budget ran out).
  std::map<std::uint64_t, int> seen{};
};

bool ends_routine(std::uint32_t insn) {
  if ((insn >> 28) != 0xE) return false;
  const bool bx = (insn & 0x0FFFFFF0) == 0x012FFF10;
  const bool pops_pc = (insn & 0x0E108000) == 0x08108000;   // ldm ..., {..., pc}
  const bool loads_pc = (insn & 0x0C10F000) == 0x0410F000;  // ldr pc, ...
  const bool moves_pc = (insn & 0x0DE0F000) == 0x01A0F000;  // mov pc, ...
  return bx || pops_pc || loads_pc || moves_pc;
}

bool touches_cp15(Walk& walk, std::uint64_t offset, int depth);

// A routine's absolute address, from ldr rX, =routine; blx rX.
std::optional<std::uint64_t> offset_of(const Walk& walk, std::optional<std::uint32_t> address) {
  if (!address || *address < walk.load || (*address & 3) != 0) return std::nullopt;
  return *address - walk.load;
}

bool touches_cp15(Walk& walk, std::uint64_t offset, int depth) {
  const auto [it, first] = walk.seen.try_emplace(offset, depth);
  if (!first) {
    if (it->second >= depth) return false;
    it->second = depth;
  }
  const arm::CodeWindow code(walk.binary, offset);
  std::array<std::optional<std::uint32_t>, 16> literals{};
  for (std::size_t n = 0, at = 0; n < kRoutineInsns && walk.budget > 0; ++n, at += 4) {
    --walk.budget;
    const auto insn = code.word(at);
    if (!insn) return false;
    if (arm::is_cp15_access(*insn)) return true;
    if (const auto load = arm::pc_literal(code, at)) {
      literals[load->reg] = load->value;
      continue;
    }
    const std::uint32_t cond = *insn >> 28;
    const bool branch = (*insn & 0x0F000000) == 0x0A000000 && cond == 0xE;
    const bool call = (*insn & 0x0F000000) == 0x0B000000 && cond != 0xF;
    if (branch || call) {
      const auto target = arm::branch_target(code, at);
      if (target && (branch || depth > 0) &&
          touches_cp15(walk, offset + *target, branch ? depth : depth - 1))
        return true;
      if (branch) return false;
      continue;
    }
    if ((*insn & 0x0FFFFFF0) == 0x012FFF30 && depth > 0) {  // blx rX
      const auto routine = offset_of(walk, literals[*insn & 0xF]);
      if (routine && touches_cp15(walk, *routine, depth - 1)) return true;
      continue;
    }
    if (ends_routine(*insn)) return false;
  }
  return false;
}

bool arm9_crt0_kind(const arm::CodeWindow& code) {
  const auto first = code.word(0), second = code.word(4);
  if (first && second &&
      ((*first == kDecryptedMark && *second == kDecryptedMark) ||
       (*first == kEncryObj[0] && *second == kEncryObj[1])))
    return true;
  return crt0::libnds_arm9(code).has_value() || crt0::calico_arm9(code);
}

// Past the zero words the CPU runs through, within a secure area's worth.
std::uint64_t past_zeros(const ByteSource& binary, std::uint64_t at) {
  const arm::CodeWindow block(binary, at, kSecureAreaBlock);
  std::uint64_t n = 0;
  while (block.word(n) == 0u) n += 4;
  return at + n;
}

}  // namespace

bool starts_like_arm9(const ByteSource& binary, std::uint32_t load_address, std::uint32_t entry) {
  if (entry < load_address || entry - load_address >= binary.size()) return false;
  const std::uint64_t at = past_zeros(binary, entry - load_address);
  if (arm9_crt0_kind(arm::CodeWindow(binary, at))) return true;
  Walk walk{binary, load_address};
  return touches_cp15(walk, at, kCallDepth);
}

}  // namespace nds
