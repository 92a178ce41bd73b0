#include "nds/rebuild/arm7_memory.h"

namespace nds {

namespace {

constexpr std::uint32_t kMainRam = 0x02000000;
constexpr std::uint32_t kMainRamWindowEnd = 0x03000000;
constexpr std::uint32_t kDsMainRamSize = 0x00400000;
constexpr MemoryArea kDsMainRam{"main RAM", kMainRam, kMainRam + kDsMainRamSize, true};
constexpr MemoryArea kDsiMainRam{"main RAM", kMainRam, kMainRamWindowEnd, true};
constexpr MemoryArea kArm7Wram{"ARM7 WRAM", 0x037F8000, 0x03810000, false};

}  // namespace

std::optional<LoadPlace> load_place(std::uint32_t address, bool dsi_only) {
  if (address >= kMainRam && address < kMainRamWindowEnd) {
    if (dsi_only) return LoadPlace{kDsiMainRam, address};
    return LoadPlace{kDsMainRam, kMainRam + (address - kMainRam) % kDsMainRamSize};
  }
  if (address >= kArm7Wram.start && address < kArm7Wram.end) return LoadPlace{kArm7Wram, address};
  return std::nullopt;
}

}  // namespace nds
