// The Nintendo SDK's crt0 (as decompiled by pret: pokediamond's arm7/asm/
// crt0.s and arm9/asm/crt0.s, pokeplatinum's, pokeheartgold's; SDK 5's ARM7
// as pokemodding's pokeblack disassembles it): mov ip, #0x04000000 to IME,
// and soon after, ldr rX, =_start_ModuleParams followed by the loads of the
// static bss bounds, [rX, #12] and [rX, #16]. The module parameters:
//
//   +0  autoload list   +4  its end   +8  autoload data start
//   +12 static bss start   +16 its end
//   +20 compressed static end, +24 SDK version, +28 0xDEC00621,
//   +32 0x2106C0DE
//
// Generations:
//   ARM9, every SDK: the crt0 at the header's entry, behind the secure area
//     (its first 0x800 bytes), calling init_cp15 (INITi_InitCoprocessor in
//     SDK 5) first; the full parameters. The ROM follows the ARM9 with
//     0xDEC00621 and the parameters' offset.
//   ARM7 before SDK 5: the five first words only, no version; autoload
//     entries of 12 bytes (address, size, bss size).
//   ARM7 of SDK 5: the full parameters; entries of 16 bytes (address, size,
//     a word the loader skips, bss size); a DSi-capable one has a DSi block
//     just before the parameters: four words, then 0xDEC01463, 0x6314C0DE.
//
// The autoload routine the crt0 calls reads the list, its end and the data
// start from the parameters, and ends in b _start_AutoloadDoneCallback, its
// first branch forward that is always taken: the hook the header names
// (0x70 for the ARM9, 0x74 for the ARM7). The pool word just before that
// hook is the parameters' address in the ARM7 crt0s before SDK 5 and in
// some ARM9 ones (not SDK 4.2's ARM9: a CP15 constant stands there).
//
// An ARM7 is laid out as static code and data, the autoload data, and the
// autoload list last, so the list's end is the binary's end. The crt0 holds only the parameters'
// absolute address; they lie in the static part near the crt0, the one
// place in it whose "list end" word, less the binary's size, is the address
// that puts the parameters there.
#include <algorithm>
#include <array>

#include "nds/binaries/crt0.h"
#include "nds/io/byte_io.h"

namespace nds::crt0 {

namespace {

using arm::CodeWindow;
using arm::Cursor;

constexpr std::uint32_t kMovIpIo = 0xE3A0C301;   // mov ip, #0x04000000
constexpr std::uint32_t kStrIpIme = 0xE58CC208;  // str ip, [ip, #0x208]
// The ARM9's wait for line 0 before SDK 5: ldrh r0, [ip, #6]; cmp r0, #0; bne.
constexpr std::uint32_t kLdrhVcount = 0xE1DC00B6;
constexpr std::uint32_t kCmpR0Zero = 0xE3500000;
constexpr std::uint32_t kBneVcount = 0x1AFFFFFC;
constexpr std::uint32_t kNitroCodeBe = 0xDEC00621;
constexpr std::uint32_t kNitroCodeLe = 0x2106C0DE;
constexpr std::uint32_t kTwlCodeBe = 0xDEC01463;
constexpr std::uint32_t kTwlCodeLe = 0x6314C0DE;
constexpr std::size_t kParamsWords = 5;
constexpr std::size_t kParamsWithVersion = 9;
constexpr std::size_t kDsiBlockWords = 6;
// Autoload entries: 12 bytes before SDK 5, 16 since.
constexpr std::array<std::size_t, 2> kAutoloadEntries = {12, 16};
constexpr std::size_t kAutoloadMax = 32;
// SDK 5's ARM9 crt0 loads the bss bounds some 90 instructions in.
constexpr std::size_t kCrt0Insns = 128;
// The autoload routine: where it loads the parameters' address, and how
// far its last branch lies.
constexpr std::size_t kAutoloadOpening = 3;
constexpr std::size_t kAutoloadInsns = 96;
// How far into the static part the parameters are looked for.
constexpr std::size_t kParamsReach = 0x10000;

// The module parameters' address, from the crt0's load of the bss bounds.
std::optional<std::uint32_t> params_pointer(const CodeWindow& code) {
  if (code.word(0) != kMovIpIo || code.word(4) != kStrIpIme) return std::nullopt;
  for (std::size_t n = 2; n < kCrt0Insns; ++n) {
    for (unsigned reg = 0; reg < 13; ++reg) {
      Cursor c(code, n * 4);
      std::uint32_t pointer = 0;
      c.literal(reg, &pointer).like(0xFFFF0FFF, 0xE590000C | (reg << 16));
      c.like(0xFFFF0FFF, 0xE5900010 | (reg << 16));
      if (c.ok()) return pointer;
    }
  }
  return std::nullopt;
}

struct ModuleParams {
  std::uint32_t list = 0, list_end = 0, autoload_start = 0, bss_start = 0, bss_end = 0;
};

ModuleParams params_of(const std::vector<std::uint32_t>& w) {
  return {w[0], w[1], w[2], w[3], w[4]};
}

bool plausible(const ModuleParams& p) {
  return p.list <= p.list_end && p.autoload_start <= p.list && p.bss_start <= p.bss_end &&
         std::any_of(kAutoloadEntries.begin(), kAutoloadEntries.end(), [&](std::size_t entry) {
           return (p.list_end - p.list) % entry == 0 &&
                  (p.list_end - p.list) / entry <= kAutoloadMax;
         });
}

// The version of full parameters at a binary offset, trusted only when the
// two Nitro codes follow it; 0 when none is recorded.
std::optional<std::uint32_t> trusted_version(const ByteSource& binary, std::uint64_t offset) {
  const auto w = read_words(binary, offset, kParamsWithVersion);
  if (!w || (*w)[7] != kNitroCodeBe || (*w)[8] != kNitroCodeLe) return std::nullopt;
  return (*w)[6];
}

// Whether an ARM7 loaded at load has its parameters at offset: the list
// ends the binary, the parameters lie before the autoload data, and the
// list's sizes add up to the autoload data between.
bool arm7_params_fit(const ByteSource& binary, std::uint64_t offset, std::uint64_t load) {
  const auto w = read_words(binary, offset, kParamsWords);
  if (!w) return false;
  const ModuleParams p = params_of(*w);
  const std::uint64_t size = binary.size();
  if (!plausible(p) || p.list_end != load + size || p.autoload_start < load + offset + 20)
    return false;
  // The list's sizes add up to the autoload data, read as either entry size.
  const auto sizes_fit = [&](std::size_t entry) {
    const std::size_t words = entry / 4, count = (p.list_end - p.list) / entry;
    if ((p.list_end - p.list) % entry != 0 || count > kAutoloadMax) return false;
    const auto list = read_words(binary, p.list - load, count * words);
    if (!list) return false;
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < count; ++i) total += (*list)[i * words + 1];
    return total == p.list - p.autoload_start;
  };
  return std::any_of(kAutoloadEntries.begin(), kAutoloadEntries.end(), sizes_fit);
}

// The one offset in the static part where the parameters fit an ARM7.
std::optional<std::uint64_t> arm7_params_offset(const ByteSource& binary, std::uint32_t pointer) {
  const std::uint64_t size = binary.size();
  // Each word that could be the list's end says where the binary starts.
  const CodeWindow statics(binary, 0, kParamsReach);
  std::optional<std::uint64_t> found;
  for (std::uint64_t offset = 0; offset + 20 <= statics.size(); offset += 4) {
    const auto list_end = statics.word(offset + 4);
    if (!list_end || pointer < offset || *list_end != pointer - offset + size) continue;
    if (!arm7_params_fit(binary, offset, pointer - offset)) continue;
    if (found) return std::nullopt;  // two places fit: neither is certain
    found = offset;
  }
  return found;
}

// The first branch forward that is always taken; the walk ends at
// anything else that leaves the routine.
std::optional<std::size_t> autoload_exit(const CodeWindow& code, std::size_t from) {
  for (std::size_t n = 0, at = from; n < kAutoloadInsns; ++n, at += 4) {
    const auto insn = code.word(at);
    if (!insn || (*insn & 0xFFFFFFF0) == 0xE12FFF10) return std::nullopt;  // bx
    if ((*insn & 0xFF000000) != 0xEA000000) continue;
    const auto target = arm::branch_target(code, at);
    if (target && *target > at) return target;
  }
  return std::nullopt;
}

// Where the autoload routine loads the parameters' address: the routine
// the crt0 calls that loads it within its first instructions.
std::optional<std::size_t> autoload_routine(const CodeWindow& code, std::uint32_t pointer) {
  for (std::size_t n = 0; n < kCrt0Insns; ++n) {
    Cursor c(code, n * 4);
    std::size_t routine = 0;
    if (!c.bl(&routine).ok()) continue;
    for (std::size_t i = 0; i < kAutoloadOpening; ++i) {
      const auto load = arm::pc_literal(code, routine + i * 4);
      if (load && load->value == pointer) return routine + i * 4;
    }
  }
  return std::nullopt;
}

bool dsi_block_at(const ByteSource& binary, std::uint64_t offset) {
  const auto w = read_words(binary, offset, kDsiBlockWords);
  return w && (*w)[4] == kTwlCodeBe && (*w)[5] == kTwlCodeLe;
}

// The DSi block ends where the parameters start, or is where one of the
// crt0's literals points.
bool has_dsi_block(const CodeWindow& code, std::uint64_t load, std::uint64_t params_offset) {
  const ByteSource& binary = code.binary();
  constexpr std::uint64_t kBlock = kDsiBlockWords * 4;
  if (params_offset >= kBlock && dsi_block_at(binary, params_offset - kBlock)) return true;
  for (std::size_t n = 0; n < kCrt0Insns; ++n) {
    const auto load_of = arm::pc_literal(code, n * 4);
    if (load_of && load_of->value >= load && dsi_block_at(binary, load_of->value - load))
      return true;
  }
  return false;
}

// Where the ARM9's parameters may lie, in the order they are trusted: the
// crt0's pointer, the footer's offset, the word before the ARM9's hook.
std::vector<std::uint64_t> arm9_params_offsets(const CodeWindow& code, const Arm9Clues& clues,
                                               std::optional<std::uint32_t> pointer) {
  std::vector<std::uint64_t> offsets;
  const std::uint32_t ram = clues.ram_address;
  if (pointer && *pointer >= ram) offsets.push_back(*pointer - ram);
  if (clues.footer.size() >= 8 && get32(clues.footer, 0) == kNitroCodeBe)
    offsets.push_back(get32(clues.footer, 4));
  if (clues.autoload_hook >= ram + std::uint64_t{4}) {
    const auto before = read_words(code.binary(), clues.autoload_hook - ram - 4, 1);
    if (before && (*before)[0] >= ram) offsets.push_back((*before)[0] - ram);
  }
  return offsets;
}

// The SDK's ARM9 crt0 by its start code alone: IME cleared through ip,
// before SDK 5 the wait for line 0, then the call of init_cp15
// (INITi_InitCoprocessor in SDK 5), which opens with a CP15 access.
bool sdk_arm9_start(const CodeWindow& code) {
  Cursor c(code, 0);
  c.is(kMovIpIo).is(kStrIpIme);
  if (c.ok() && c.next_is(0xFFFFFFFF, kLdrhVcount)) c.is(kLdrhVcount).is(kCmpR0Zero).is(kBneVcount);
  std::size_t routine = 0;
  if (!c.bl(&routine).ok()) return false;
  const auto first = code.word(routine);
  return first && arm::is_cp15_access(*first);
}

// Parameters that the crt0's pointer names and that hold no version.
bool unversioned_params(const CodeWindow& code, std::uint32_t ram,
                        std::optional<std::uint32_t> pointer) {
  if (!pointer || *pointer < ram) return false;
  const auto w = read_words(code.binary(), *pointer - ram, kParamsWords);
  return w && plausible(params_of(*w));
}

}  // namespace

std::optional<Arm7Identity> sdk_arm7(const CodeWindow& code) {
  const auto pointer = params_pointer(code);
  if (!pointer) return std::nullopt;
  const ByteSource& binary = code.binary();
  const auto routine = autoload_routine(code, *pointer);
  const auto found = arm7_params_offset(binary, *pointer);
  const std::uint64_t load = found ? *pointer - *found : 0;
  if (!found || load % 4 != 0 || !in_arm7_memory(load, binary.size())) {
    // The crt0 and the autoload routine it calls read the same parameters:
    // the SDK's, though where they lie, and so the load address, the
    // version and the DSi block, are not known.
    if (!routine) return std::nullopt;
    Arm7Identity id;
    id.runtime = RuntimeCode{Runtime::sdk, 0};
    return id;
  }
  const auto version = trusted_version(binary, *found);
  Arm7Identity id =
      fixed_at(RuntimeCode{Runtime::sdk, version.value_or(0)}, static_cast<std::uint32_t>(load));
  id.sdk_params = true;
  id.sdk_dsi_block = version && has_dsi_block(code, load, *found);
  if (const auto hook = routine ? autoload_exit(code, *routine) : std::nullopt)
    id.autoload_hook = static_cast<std::uint32_t>(load + code.start() + *hook);
  return id;
}

std::optional<RuntimeCode> sdk_arm9(const CodeWindow& code, const Arm9Clues& clues) {
  const auto pointer = params_pointer(code);
  for (const std::uint64_t offset : arm9_params_offsets(code, clues, pointer))
    if (const auto version = trusted_version(code.binary(), offset))
      return RuntimeCode{Runtime::sdk, *version};
  // No version found: the SDK's start code, or the crt0's pointer to
  // parameters that hold none.
  if (sdk_arm9_start(code) || unversioned_params(code, clues.ram_address, pointer))
    return RuntimeCode{Runtime::sdk, 0};
  return std::nullopt;
}

}  // namespace nds::crt0
