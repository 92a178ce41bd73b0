// gen_arm_binaries OUT_DIR: seeds for the ARM binaries fuzzer (a test
// utility, not shipped). SDK-shaped ARM7s raw and as an ELF file, old
// devkitPro ARM9s, and small images pairing an SDK ARM9 (its footer after
// it, its autoload hook in the header) with an SDK ARM7, so that every way
// of finding the parameters has a seed.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "elf_builder.h"
#include "sdk_binaries.h"

namespace {

using voderer::testgen::Bytes;

void put(Bytes& b, std::size_t at, std::uint32_t w) {
  for (int i = 0; i < 4; ++i)
    b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(w >> (8 * i));
}

bool write(const std::filesystem::path& path, const Bytes& b) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
  return static_cast<bool>(f);
}

// Only the header fields the fuzzer reads: the ARM9's and ARM7's offset,
// entry, RAM address and size, and the ARM9's autoload hook.
Bytes image(const voderer::testgen::SdkArm9& arm9, const voderer::testgen::SdkArm7& arm7) {
  Bytes b(0x200, 0);
  b.insert(b.end(), arm9.binary.begin(), arm9.binary.end());
  b.insert(b.end(), arm9.footer.begin(), arm9.footer.end());
  const auto arm7_at = static_cast<std::uint32_t>(b.size());
  b.insert(b.end(), arm7.binary.begin(), arm7.binary.end());
  const auto arm9_size = static_cast<std::uint32_t>(arm9.binary.size());
  for (const auto& [at, w] : {std::pair{0x20u, 0x200u},
                              {0x24u, arm9.entry},
                              {0x28u, arm9.ram_address},
                              {0x2Cu, arm9_size},
                              {0x30u, arm7_at},
                              {0x34u, arm7.load},
                              {0x38u, arm7.load},
                              {0x3Cu, static_cast<std::uint32_t>(arm7.binary.size())},
                              {0x70u, arm9.autoload_hook},
                              {0x74u, arm7.autoload_hook}})
    put(b, at, w);
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  namespace gen = voderer::testgen;
  if (argc != 2) return std::fputs("usage: gen_arm_binaries OUT_DIR\n", stderr), 2;
  const std::filesystem::path out = argv[1];
  std::filesystem::create_directories(out);
  const gen::SdkArm7 old7 = gen::sdk_arm7({});
  const gen::SdkArm7 dsi7 = gen::sdk_arm7({.full = true, .dsi_block = true});
  const gen::SdkArm7 vram7 =
      gen::sdk_arm7({.load = 0x037F8000, .autoloads = {{0x06000000, 0x80, 0}}});
  bool ok = write(out / "sdk4-arm7.bin", old7.binary) &&
            write(out / "sdk5-dsi-arm7.bin", dsi7.binary) &&
            write(out / "sdk-vram-arm7.bin", vram7.binary) &&
            write(out / "sdk5-arm7.elf",
                  gen::elf_file({{dsi7.load, dsi7.load,
                                  static_cast<std::uint32_t>(dsi7.binary.size()), 7, dsi7.binary}},
                                dsi7.load)) &&
            write(out / "devkitpro-2005-arm9.bin", gen::devkitpro_inline_mpu_arm9(true)) &&
            write(out / "devkitpro-2006-arm9.bin", gen::devkitpro_inline_mpu_arm9(false));
  ok = ok && write(out / "sdk-pointer.nds", image(gen::sdk_arm9({}), old7)) &&
       write(out / "sdk-footer.nds",
             image(gen::sdk_arm9({.crt0_at = 0x850, .crt0_pointer = false}), dsi7)) &&
       write(out / "sdk-hook.nds",
             image(gen::sdk_arm9({.version = 0, .crt0_pointer = false}), vram7));
  if (!ok) return std::fprintf(stderr, "gen_arm_binaries: cannot write into %s\n", argv[1]), 1;
  return 0;
}
