// The Nintendo SDK's crt0 (as decompiled by pret: pokediamond's arm7/asm/
// crt0.s and arm9/asm/crt0.s, pokeplatinum's): mov ip, #0x04000000 to
// IME, and soon after, ldr rX, =_start_ModuleParams followed by the loads
// of the static bss bounds, [rX, #12] and [rX, #16]. The module parameters:
//
//   +0  autoload list   +4  its end   +8  autoload data start
//   +12 static bss start   +16 its end
//   +20 compressed static end, +24 SDK version, +28 0xDEC00621,
//   +32 0x2106C0DE (the ARM9's always; an ARM7's only in some SDKs)
//
// An ARM7 is laid out as static code and data, the autoload data, and the
// autoload list (12-byte entries: address, size, bss size) last, so the
// list's end is the binary's end. The crt0 holds only the parameters'
// absolute address; they lie in the static part near the crt0, the one
// place in it whose "list end" word, less the binary's size, is the address
// that puts the parameters there.
#include "nds/binaries/crt0.h"

namespace nds::crt0 {

namespace {

constexpr std::uint32_t kMovIpIo = 0xE3A0C301;   // mov ip, #0x04000000
constexpr std::uint32_t kStrIpIme = 0xE58CC208;  // str ip, [ip, #0x208]
constexpr std::uint32_t kNitroCodeBe = 0xDEC00621;
constexpr std::uint32_t kNitroCodeLe = 0x2106C0DE;
constexpr std::size_t kParamsWords = 5;
constexpr std::size_t kParamsWithVersion = 9;
constexpr std::size_t kAutoloadEntry = 12;
constexpr std::size_t kAutoloadMax = 32;
constexpr std::size_t kCrt0Insns = 96;
// How far into the static part the parameters are looked for.
constexpr std::size_t kParamsReach = 0x10000;

// The module parameters' address, from the crt0's load of the bss bounds.
std::optional<std::uint32_t> params_pointer(const arm::CodeWindow& code) {
  if (code.word(0) != kMovIpIo || code.word(4) != kStrIpIme) return std::nullopt;
  for (std::size_t n = 2; n < kCrt0Insns; ++n) {
    for (unsigned reg = 0; reg < 13; ++reg) {
      arm::Cursor c(code, n * 4);
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
  return p.list <= p.list_end && (p.list_end - p.list) % kAutoloadEntry == 0 &&
         (p.list_end - p.list) / kAutoloadEntry <= kAutoloadMax && p.autoload_start <= p.list &&
         p.bss_start <= p.bss_end;
}

// The version, when the two Nitro codes follow it.
std::uint32_t sdk_version(const ByteSource& binary, std::uint64_t params_offset) {
  const auto w = read_words(binary, params_offset, kParamsWithVersion);
  if (!w || (*w)[7] != kNitroCodeBe || (*w)[8] != kNitroCodeLe) return 0;
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
  const std::size_t count = (p.list_end - p.list) / kAutoloadEntry;
  const auto list = read_words(binary, p.list - load, count * 3);
  if (!list) return false;
  std::uint64_t total = 0;
  for (std::size_t i = 0; i < count; ++i) total += (*list)[i * 3 + 1];
  return total == p.list - p.autoload_start;
}

}  // namespace

std::optional<Arm7Identity> sdk_arm7(const arm::CodeWindow& code) {
  const auto pointer = params_pointer(code);
  if (!pointer) return std::nullopt;
  const ByteSource& binary = code.binary();
  const std::uint64_t size = binary.size();
  // Each word that could be the list's end says where the binary starts.
  const arm::CodeWindow statics(binary, 0, kParamsReach);
  std::optional<std::uint64_t> found;
  for (std::uint64_t offset = 0; offset + 20 <= statics.size(); offset += 4) {
    const auto list_end = statics.word(offset + 4);
    if (!list_end || *pointer < offset || *list_end != *pointer - offset + size) continue;
    if (!arm7_params_fit(binary, offset, *pointer - offset)) continue;
    if (found) return std::nullopt;  // two places fit: neither is certain
    found = offset;
  }
  // Without its parameters the crt0 alone is too little to name the SDK.
  if (!found) return std::nullopt;
  const std::uint64_t load = *pointer - *found;
  if (load % 4 != 0 || !in_arm7_memory(load, size)) return std::nullopt;
  return fixed_at(RuntimeCode{Runtime::sdk, sdk_version(binary, *found)},
                  static_cast<std::uint32_t>(load));
}

std::optional<RuntimeCode> sdk_arm9(const arm::CodeWindow& code, std::uint32_t ram_address) {
  const auto pointer = params_pointer(code);
  if (!pointer || *pointer < ram_address) return std::nullopt;
  const std::uint64_t offset = *pointer - ram_address;
  const auto w = read_words(code.binary(), offset, kParamsWords);
  if (!w || !plausible(params_of(*w))) return std::nullopt;
  return RuntimeCode{Runtime::sdk, sdk_version(code.binary(), offset)};
}

}  // namespace nds::crt0
