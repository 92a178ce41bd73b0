// ARM binaries shaped as the Nintendo SDK and old devkitPro builds lay them
// out, word by word, for the identification tests, the fuzz seeds and the
// benchmark: the SDK's crt0 with its module parameters, do_autoload and the
// hook that ends it; an ARM9 behind its secure area, with the ROM's footer.
#pragma once

#include <cstdint>
#include <vector>

namespace voderer::testgen {

using Bytes = std::vector<std::uint8_t>;

struct SdkArm9Shape {
  std::uint32_t crt0_at = 0x800;  // the entry, less the RAM address
  std::uint32_t version = 0x04027531;
  bool crt0_pointer = true;  // the crt0 loads the bss bounds through the parameters
  bool nitro_codes = true;   // 0xDEC00621, 0x2106C0DE after the version
  // The word before the hook is the parameters' address, not (as in SDK
  // 4.2's ARM9) a CP15 constant.
  bool hook_after_params = true;
};

struct SdkArm9 {
  Bytes binary;
  std::uint32_t ram_address = 0x02000000;
  std::uint32_t entry = 0;
  Bytes footer;  // 0xDEC00621, the parameters' offset, a third word
  std::uint32_t autoload_hook = 0;
  std::uint32_t params_offset = 0;
};

SdkArm9 sdk_arm9(const SdkArm9Shape& shape);

struct Autoload {
  std::uint32_t address;
  std::uint32_t size;
  std::uint32_t bss;
};

struct SdkArm7Shape {
  std::uint32_t load = 0x02380000;
  std::uint32_t statics = 0x200;  // bytes before the autoload data
  // SDK 5: full parameters with this version, 16-byte autoload entries and
  // its autoload routine; before: five words, 12-byte entries.
  bool full = false;
  std::uint32_t version = 0x0503757C;
  bool dsi_block = false;  // four words, 0xDEC01463, 0x6314C0DE before the parameters
  std::vector<Autoload> autoloads = {{0x027E0000, 0x40, 0x10}, {0x037F8000, 0x24, 0}};
};

struct SdkArm7 {
  Bytes binary;
  std::uint32_t load = 0;
  std::uint32_t autoload_hook = 0;
};

SdkArm7 sdk_arm7(const SdkArm7Shape& shape);

// devkitPro's ARM9 crt0 before __libnds_mpu_setup, the first one of 2005
// (IME by add/strh, ARM9 IWRAM on) or its successors (IME by str, the 2D
// engines powered), then the CP15 control word 0x2078 and the set-up inline.
Bytes devkitpro_inline_mpu_arm9(bool first);

}  // namespace voderer::testgen
