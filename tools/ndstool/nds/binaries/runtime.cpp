#include "nds/binaries/runtime.h"

#include <array>
#include <cstdio>
#include <string>

#include "nds/binaries/crt0.h"
#include "nds/io/byte_io.h"

namespace nds {

namespace crt0 {

std::optional<std::vector<std::uint32_t>> read_words(const ByteSource& binary, std::uint64_t offset,
                                                     std::size_t count) {
  const std::uint64_t size = binary.size();
  if (offset > size || count > (size - offset) / 4) return std::nullopt;
  std::vector<std::uint8_t> bytes(count * 4);
  binary.read_at(offset, bytes);
  std::vector<std::uint32_t> words(count);
  for (std::size_t i = 0; i < count; ++i) words[i] = get32(bytes, i * 4);
  return words;
}

bool in_arm7_memory(std::uint64_t load, std::uint64_t size) {
  struct Memory {
    std::uint64_t start, end;
  };
  // Main RAM (up to 16 MiB on a debugger), WRAM, VRAM.
  constexpr std::array<Memory, 3> kMemories = {
      {{0x02000000, 0x03000000}, {0x03000000, 0x04000000}, {0x06000000, 0x07000000}}};
  for (const Memory& m : kMemories)
    if (load >= m.start && load < m.end && size <= m.end - load) return true;
  return false;
}

Arm7Identity fixed_at(RuntimeCode runtime, std::uint32_t load) {
  // Every crt0 decoded here starts the binary, so the entry is its first byte.
  Arm7Identity id;
  id.runtime = runtime;
  id.placement = Arm7Placement::Fixed;
  id.load_address = load;
  id.entry = load;
  return id;
}

}  // namespace crt0

Arm7Identity identify_arm7(const ByteSource& arm7) {
  const arm::CodeWindow code(arm7, 0);
  if (auto id = crt0::libnds_arm7(code)) return *id;
  if (auto id = crt0::calico_arm7(code)) return *id;
  if (auto id = crt0::sdk_arm7(code)) return *id;
  return {};
}

RuntimeCode identify_arm9(const ByteSource& arm9, std::uint32_t ram_address, std::uint32_t entry,
                          std::span<const std::uint8_t> footer, std::uint32_t autoload_hook) {
  // An entry outside the binary leaves an empty window: the SDK's
  // parameters may still be found through the footer or the hook.
  const std::uint64_t at = entry >= ram_address ? std::uint64_t{entry} - ram_address : arm9.size();
  const arm::CodeWindow code(arm9, at);
  if (auto id = crt0::libnds_arm9(code)) return *id;
  if (crt0::calico_arm9(code)) return RuntimeCode{Runtime::calico, 0};
  if (auto id = crt0::sdk_arm9(code, crt0::Arm9Clues{ram_address, footer, autoload_hook}))
    return *id;
  return {};
}

const char* runtime_label(const RuntimeCode& id) {
  switch (id.runtime) {
    case Runtime::unknown: return "unknown runtime";
    case Runtime::calico: return "calico";
    case Runtime::libnds: return "libnds";
    case Runtime::blocksds: return "BlocksDS";
    case Runtime::libnds_or_blocksds: return "libnds or BlocksDS";
    case Runtime::sdk: break;
  }
  if (id.sdk_version == 0) return "Nintendo SDK (no version recorded)";
  // The SDK's version word: major in the top byte, minor next, the release
  // step in the low half (0x04027531 is 4.2.30001).
  thread_local std::array<char, 64> text{};
  std::snprintf(text.data(), text.size(), "Nintendo SDK %u.%u.%u",
                static_cast<unsigned>(id.sdk_version >> 24),
                static_cast<unsigned>((id.sdk_version >> 16) & 0xFF),
                static_cast<unsigned>(id.sdk_version & 0xFFFF));
  return text.data();
}

}  // namespace nds
