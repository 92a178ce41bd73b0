// What built an ARM binary and where an ARM7 must be loaded: on the sample
// ROMs, and on small crt0s laid out as each runtime lays them out, linked at
// addresses of the test's choosing so that an address can only come from
// the structure. Then ARM7 ELF files turned into image bytes.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "nds/binaries/elf.h"
#include "nds/binaries/runtime.h"
#include "nds/io/byte_io.h"
#include "nds/io/error.h"
#include "elf_builder.h"
#include "sdk_binaries.h"
#include "test_files.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using nds::Arm7Placement;
using nds::Runtime;
using voderer::testgen::elf_file;
namespace gen = voderer::testgen;

nds::Arm7Identity arm7_of(const Bytes& b) {
  const nds::MemorySource source(b);
  return nds::identify_arm7(source);
}

// An ARM9 at 0x02000000 whose crt0 (the entry) is at offset crt0.
nds::RuntimeCode arm9_of(const Bytes& b, std::uint32_t crt0 = 0x800) {
  const nds::MemorySource source(b);
  return nds::identify_arm9(source, 0x02000000, 0x02000000 + crt0);
}

// A crt0 written word by word; ldr rd, =value goes to a pool right after
// the code, as an assembler's .pool puts it.
class Asm {
 public:
  Asm& op(std::uint32_t insn) {
    code_.push_back(insn);
    return *this;
  }
  Asm& ldr(unsigned rd, std::uint32_t value) {
    loads_.push_back({code_.size(), pool_.size()});
    pool_.push_back(value);
    return op(0xE59F0000 | (rd << 12));
  }
  // bl to the word at index target.
  Asm& bl(std::size_t target) {
    const auto words = static_cast<std::uint32_t>(target - code_.size() - 2);
    return op(0xEB000000 | (words & 0xFFFFFF));
  }
  std::size_t here() const { return code_.size(); }
  void place(Bytes& b, std::size_t at) const {
    for (std::size_t i = 0; i < code_.size(); ++i) nds::put32(b, at + i * 4, code_[i]);
    for (const auto& [insn, slot] : loads_) {
      const std::size_t imm = (code_.size() + slot) * 4 - (insn * 4 + 8);
      nds::put32(b, at + insn * 4, code_[insn] | static_cast<std::uint32_t>(imm));
    }
    for (std::size_t i = 0; i < pool_.size(); ++i)
      nds::put32(b, at + (code_.size() + i) * 4, pool_[i]);
  }

 private:
  std::vector<std::uint32_t> code_, pool_;
  std::vector<std::pair<std::size_t, std::size_t>> loads_;
};

void libnds_stacks(Asm& a) {
  for (const std::uint32_t mode : {0x12u, 0x13u, 0x1Fu})
    a.op(0xE3A00000 | mode).op(0xE129F000).ldr(13, 0x0380FF00);
}

// ... ldr r3, =__libc_init_array; bl _blx_r3_stub; main with lr = exit.
void libnds_main(Asm& a) {
  a.ldr(3, 0x037F8101);
  a.bl(a.here() + 5).op(0xE3A00000).op(0xE3A01000);
  a.ldr(3, 0x037F8201).ldr(14, 0x037F8301).op(0xE12FFF13);
}

// Replaces the first aligned word equal to from.
void replace_word(Bytes& b, std::uint32_t from, std::uint32_t to) {
  for (std::size_t at = 0; at + 4 <= b.size(); at += 4) {
    if (nds::get32(b, at) != from) continue;
    nds::put32(b, at, to);
    return;
  }
  throw std::logic_error("word not found");
}

// The handshake crt0 built for the IWRAM link script (devkitPro 2011+,
// BlocksDS): bl __sync_start, the bss, the DSi flag; BlocksDS adds init_tls.
Bytes fixed_handshake_arm7(std::uint32_t load, std::size_t size, std::uint32_t bss, bool tls) {
  Bytes b(size, 0x5A);
  Asm a;
  a.op(0xE3A00301).op(0xE3A01000).op(0xE5801208);
  libnds_stacks(a);
  a.bl(60).ldr(0, load + static_cast<std::uint32_t>(size));
  a.ldr(1, load + static_cast<std::uint32_t>(size) + bss).op(0xE0411000).bl(61);
  a.op(0xE35A0001).op(0x1A000001).ldr(1, load + 0x200).op(0xE5C1A000);
  if (tls) a.ldr(3, load + 0x300).bl(62);
  libnds_main(a);
  a.place(b, 0);
  return b;
}

// devkitPro before the handshake; with written, its bss is written out as
// zeros by the tool that made the binary (pongds and raycast are built so).
Bytes fixed_early_arm7(std::uint32_t load, std::size_t size, std::uint32_t bss, bool written) {
  Bytes b(size, 0x5A);
  const auto end = load + static_cast<std::uint32_t>(size);
  if (written) std::fill(b.end() - static_cast<std::ptrdiff_t>(bss), b.end(), 0);
  Asm a;
  a.op(0xE3A00301).op(0xE3A01000).op(0xE5801208);
  libnds_stacks(a);
  a.ldr(0, written ? end - bss : end).ldr(1, written ? end : end + bss).op(0xE0411000).bl(60);
  libnds_main(a);
  a.op(0xE12FFF13);
  a.place(b, 0);
  return b;
}

// The SDK's crt0 start: IME, the bss bounds through _start_ModuleParams.
Asm sdk_crt0(unsigned reg, std::uint32_t params) {
  Asm a;
  a.op(0xE3A0C301).op(0xE58CC208).ldr(1, 0x023801B0).op(0xE3A0050E).op(0xE1500001);
  a.bl(40).ldr(reg, params).op(0xE590000C | (reg << 16) | (1 << 12));
  a.op(0xE5900010 | (reg << 16) | (2 << 12)).op(0xE3A00000).ldr(1, 0x037F8000).op(0xE12FFF11);
  return a;
}

constexpr std::uint32_t kSdkVersion = 0x04027533;  // SDK 4.2, as in pokediamond's ARM9

void put_version(Bytes& b, std::size_t params) {
  nds::put32(b, params + 24, kSdkVersion);
  nds::put32(b, params + 28, 0xDEC00621);
  nds::put32(b, params + 32, 0x2106C0DE);
}

// An SDK ARM7 as pokediamond's arm7.lcf lays it out: crt0 and module
// parameters, the rest of the static part, two autoload blocks, their list.
Bytes sdk_arm7(std::uint32_t load, std::size_t statics, bool version) {
  constexpr std::array<std::uint32_t, 2> kBlocks = {0x40, 0x24};
  const std::size_t list = statics + kBlocks[0] + kBlocks[1];
  Bytes b(list + 24, 0x5A);
  const std::size_t params = 0x80;
  sdk_crt0(0, load + params).place(b, 0);
  const std::array<std::uint32_t, 5> words = {
      load + static_cast<std::uint32_t>(list), load + static_cast<std::uint32_t>(b.size()),
      load + static_cast<std::uint32_t>(statics), load + static_cast<std::uint32_t>(statics),
      load + static_cast<std::uint32_t>(statics) + 0x100};
  for (std::size_t i = 0; i < words.size(); ++i) nds::put32(b, params + i * 4, words[i]);
  if (version) put_version(b, params);
  const std::array<std::uint32_t, 6> entries = {0x027E0000, kBlocks[0], 0x10,
                                                0x037F8000, kBlocks[1], 0};
  for (std::size_t i = 0; i < entries.size(); ++i) nds::put32(b, list + i * 4, entries[i]);
  return b;
}

// An SDK ARM9 at 0x02000000: a secure area, the crt0 at 0x800, the module
// parameters soon after.
Bytes sdk_arm9(std::uint32_t params_address, bool version) {
  Bytes b(0x1000, 0xA5);
  sdk_crt0(3, params_address).place(b, 0x800);
  const std::array<std::uint32_t, 6> words = {0x02100000, 0x02100018, 0x02000F00,
                                              0x02100018, 0x02180000, 0};
  for (std::size_t i = 0; i < words.size(); ++i) nds::put32(b, 0xB00 + i * 4, words[i]);
  if (version) put_version(b, 0xB00);
  return b;
}

// calico before late 2024: b over "MOD7" and the two load lists.
Bytes calico_old_arm7(std::uint32_t load) {
  Bytes b(0x200, 0x5A);
  const std::array<std::uint32_t, 8> header = {0xEA000006,   0x37444F4D, load + 0x100, load + 0x1E8,
                                               load + 0x200, 0x02E80000, 0x02E80000,   0x02E8000C};
  for (std::size_t i = 0; i < header.size(); ++i) nds::put32(b, i * 4, header[i]);
  // Loaded bytes 0x80 + 0x68 = 0xE8, from lma to the list.
  const std::array<std::uint32_t, 6> list = {0x02FF0000, 0x02FF0080, 0x02FF0100,
                                             0x037F8000, 0x037F8068, 0x037F8100};
  for (std::size_t i = 0; i < list.size(); ++i) nds::put32(b, 0x1E8 + i * 4, list[i]);
  return b;
}

void expect_fixed_at(const nds::Arm7Identity& id, Runtime runtime, std::uint32_t load) {
  EXPECT_EQ(id.runtime.runtime, runtime);
  EXPECT_EQ(id.placement, Arm7Placement::Fixed);
  EXPECT_EQ(id.load_address, load);
  EXPECT_EQ(id.entry, load);
}

struct Sample {
  const char* file;
  Runtime arm7;
  Arm7Placement placement;
  bool addressed;
  Runtime arm9;
};

// What each sample's binaries are. The libnds ones of 2018 onwards share
// their crt0s word for word with BlocksDS's first ones, so only "one of the
// two" can be said of them.
const Sample kSamples[] = {
    {"dstimer-1.0.nds", Runtime::calico, Arm7Placement::Fixed, true, Runtime::calico},
    {"dstimer-2.0.nds", Runtime::blocksds, Arm7Placement::CopyDown, false, Runtime::blocksds},
    {"dstimer-head.nds", Runtime::blocksds, Arm7Placement::CopyDown, false, Runtime::blocksds},
    {"nflib-animation.nds", Runtime::libnds_or_blocksds, Arm7Placement::CopyDown, false,
     Runtime::libnds_or_blocksds},
    {"stellads-1.1c.nds", Runtime::libnds_or_blocksds, Arm7Placement::CopyDown, false,
     Runtime::libnds_or_blocksds},
    {"stellads-8.4a.nds", Runtime::libnds_or_blocksds, Arm7Placement::CopyDown, false,
     Runtime::libnds_or_blocksds},
    // devkitPro before the DSi handshake, linked at 0x037F8000.
    {"pongds-1.1.0.nds", Runtime::libnds, Arm7Placement::Fixed, true, Runtime::libnds},
    {"raycast-4.nds", Runtime::libnds, Arm7Placement::Fixed, true, Runtime::libnds},
};

// Whatever address is derived from an image's own ARM7 is the one its
// header loads and enters it at.
TEST(Binaries, SampleRuntimesAndArm7Addresses) {
  std::string why;
  const auto dir = voderer::testing::sample_rom_dir(&why);
  if (dir.empty()) GTEST_SKIP() << why;
  for (const Sample& s : kSamples) {
    SCOPED_TRACE(s.file);
    const Bytes rom = voderer::testing::read_bytes(dir / s.file);
    const std::span<const std::uint8_t> all(rom);
    const nds::MemorySource arm7(all.subspan(nds::get32(all, 0x30), nds::get32(all, 0x3C)));
    const nds::MemorySource arm9(all.subspan(nds::get32(all, 0x20), nds::get32(all, 0x2C)));
    const nds::Arm7Identity id = nds::identify_arm7(arm7);
    EXPECT_EQ(id.runtime.runtime, s.arm7);
    EXPECT_EQ(id.placement, s.placement);
    EXPECT_EQ(id.load_address.has_value(), s.addressed);
    if (id.load_address) {
      EXPECT_EQ(*id.load_address, nds::get32(all, 0x38));
    }
    if (id.entry) {
      EXPECT_EQ(*id.entry, nds::get32(all, 0x34));
    }
    EXPECT_EQ(nds::identify_arm9(arm9, nds::get32(all, 0x28), nds::get32(all, 0x24)).runtime,
              s.arm9);
    EXPECT_FALSE(nds::starts_like_arm9(arm7, nds::get32(all, 0x38), nds::get32(all, 0x34)));
    EXPECT_TRUE(nds::starts_like_arm9(arm9, nds::get32(all, 0x28), nds::get32(all, 0x24)));
  }
}

TEST(Binaries, FixedLibndsAddressComesFromItsBss) {
  expect_fixed_at(arm7_of(fixed_handshake_arm7(0x02380000, 0x400, 0x200, false)),
                  Runtime::libnds_or_blocksds, 0x02380000);
  expect_fixed_at(arm7_of(fixed_handshake_arm7(0x037F8000, 0x6F4, 0x40, true)), Runtime::blocksds,
                  0x037F8000);
  expect_fixed_at(arm7_of(fixed_early_arm7(0x037F8000, 0x900, 0x300, true)), Runtime::libnds,
                  0x037F8000);
  // Without the bss written out, the same crt0 ends at its bss start.
  expect_fixed_at(arm7_of(fixed_early_arm7(0x037FC000, 0x600, 0x300, false)), Runtime::libnds,
                  0x037FC000);
  // A zero tail as short as a tiny bss could be the data's own end.
  const nds::Arm7Identity tiny = arm7_of(fixed_early_arm7(0x037F8000, 0x600, 8, true));
  EXPECT_EQ(tiny.placement, Arm7Placement::Fixed);
  EXPECT_FALSE(tiny.load_address);
}

TEST(Binaries, SdkAndCalicoAddressesComeFromTheirTables) {
  expect_fixed_at(arm7_of(sdk_arm7(0x02380000, 0x1B0, false)), Runtime::sdk, 0x02380000);
  const nds::Arm7Identity versioned = arm7_of(sdk_arm7(0x02388000, 0x2F4, true));
  expect_fixed_at(versioned, Runtime::sdk, 0x02388000);
  EXPECT_EQ(versioned.runtime.sdk_version, kSdkVersion);
  expect_fixed_at(arm7_of(calico_old_arm7(0x02390000)), Runtime::calico, 0x02390000);

  const nds::RuntimeCode arm9 = arm9_of(sdk_arm9(0x02000B00, true));
  EXPECT_EQ(arm9.runtime, Runtime::sdk);
  EXPECT_STREQ(nds::runtime_label(arm9), "Nintendo SDK 4.2.30003");
  EXPECT_EQ(arm9_of(sdk_arm9(0x02000B00, false)).sdk_version, 0u);
  EXPECT_STREQ(nds::runtime_label({Runtime::blocksds, 0}), "BlocksDS");
}

TEST(Binaries, HostileBinariesAreUnknownNotACrash) {
  Bytes outside = sdk_arm7(0x02380000, 0x1B0, false);
  replace_word(outside, 0x02380080, 0x09000000);  // the crt0's pointer to its parameters
  EXPECT_EQ(arm7_of(outside).runtime.runtime, Runtime::unknown);
  Bytes overflow = sdk_arm7(0x02380000, 0x1B0, false);
  nds::put32(overflow, 0x80, 0xFFFFFFF4);  // the autoload list near the top of the address space
  EXPECT_EQ(arm7_of(overflow).runtime.runtime, Runtime::unknown);
  EXPECT_EQ(arm9_of(sdk_arm9(0x01FFFFF0, true)).runtime, Runtime::unknown);
  for (const std::uint32_t end : {0x10u, 0xFFFFFFF0u}) {
    Bytes calico = calico_old_arm7(0x02380000);
    nds::put32(calico, 0x10, end);
    EXPECT_EQ(arm7_of(calico).runtime.runtime, Runtime::unknown) << end;
  }
  EXPECT_FALSE(arm7_of(fixed_handshake_arm7(0xFFFFF000, 0x400, 0x200, false)).load_address);

  // Cut short: the crt0 itself cut is unknown; past it, nothing is read beyond the end.
  const Bytes whole[] = {fixed_handshake_arm7(0x02380000, 0x400, 0x200, true),
                         fixed_early_arm7(0x037F8000, 0x900, 0x300, true),
                         sdk_arm7(0x02380000, 0x1B0, true), sdk_arm9(0x02000B00, true),
                         calico_old_arm7(0x02380000)};
  for (const Bytes& b : whole) {
    for (const std::size_t cut :
         std::initializer_list<std::size_t>{0, 3, 4, 12, 0x20, 0x40, 0x80, 0x100, 0x1C4}) {
      const Bytes part(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(cut));
      const nds::Arm7Identity id = arm7_of(part);
      if (cut < 0x40) {
        EXPECT_EQ(id.runtime.runtime, Runtime::unknown) << cut;
      }
      EXPECT_EQ(arm9_of(part).runtime, Runtime::unknown) << cut;
      EXPECT_EQ(arm9_of(part, 0).runtime, Runtime::unknown) << cut;
    }
  }
}

nds::RuntimeCode sdk_arm9_of(const gen::SdkArm9& a, bool footer, bool hook) {
  const nds::MemorySource source(a.binary);
  return nds::identify_arm9(
      source, a.ram_address, a.entry,
      footer ? std::span<const std::uint8_t>(a.footer) : std::span<const std::uint8_t>(),
      hook ? a.autoload_hook : 0);
}

bool arm9_start(const Bytes& b, std::uint32_t load, std::uint32_t entry) {
  const nds::MemorySource source(b);
  return nds::starts_like_arm9(source, load, entry);
}

// The crt0 at the entry, wherever the secure area ends; the parameters
// through the crt0's pointer, else the footer, else the word before the
// hook; trusted only with both Nitro codes.
TEST(Binaries, SdkArm9NamedWithItsVersion) {
  for (const std::uint32_t at : {0x800u, 0x850u}) {
    const nds::RuntimeCode id = sdk_arm9_of(gen::sdk_arm9({.crt0_at = at}), false, false);
    EXPECT_EQ(id.runtime, Runtime::sdk);
    EXPECT_STREQ(nds::runtime_label(id), "Nintendo SDK 4.2.30001");
  }
  EXPECT_STREQ(nds::runtime_label({Runtime::sdk, 0x0503757C}), "Nintendo SDK 5.3.30076");
  const gen::SdkArm9 untrusted = gen::sdk_arm9({.nitro_codes = false});
  EXPECT_STREQ(nds::runtime_label(sdk_arm9_of(untrusted, true, true)),
               "Nintendo SDK (no version recorded)");
  EXPECT_STREQ(nds::runtime_label(sdk_arm9_of(gen::sdk_arm9({.version = 0}), true, true)),
               "Nintendo SDK (no version recorded)");

  // Without the crt0's pointer: the footer, then the hook; SDK 4.2's ARM9
  // has a CP15 constant before its hook, which names no version. Its start
  // code still names the SDK; an opening that calls no CP15 routine does not.
  const nds::RuntimeCode no_version{Runtime::sdk, 0};
  const gen::SdkArm9 no_pointer = gen::sdk_arm9({.crt0_pointer = false});
  EXPECT_EQ(sdk_arm9_of(no_pointer, true, false).sdk_version, 0x04027531u);
  EXPECT_EQ(sdk_arm9_of(no_pointer, false, true).sdk_version, 0x04027531u);
  EXPECT_EQ(sdk_arm9_of(no_pointer, false, false), no_version);
  const gen::SdkArm9 sdk42 = gen::sdk_arm9({.crt0_pointer = false, .hook_after_params = false});
  EXPECT_EQ(sdk_arm9_of(sdk42, false, true), no_version);
  EXPECT_EQ(sdk_arm9_of(sdk42, true, true).sdk_version, 0x04027531u);
  gen::SdkArm9 no_cp15 = no_pointer;
  replace_word(no_cp15.binary, 0xEE110F10, 0xE1A00000);  // init_cp15's first access
  EXPECT_EQ(sdk_arm9_of(no_cp15, false, false).runtime, Runtime::unknown);

  // Where the routes disagree the crt0's pointer wins, then the footer.
  for (const bool pointer : {true, false}) {
    gen::SdkArm9 two = gen::sdk_arm9({.crt0_pointer = pointer});
    std::copy_n(two.binary.begin() + two.params_offset, 36, two.binary.begin() + 0x1100);
    nds::put32(two.binary, 0x1100 + 24, 0x0503757C);
    nds::put32(two.footer, 4, 0x1100);
    EXPECT_EQ(sdk_arm9_of(two, true, true).sdk_version, pointer ? 0x04027531u : 0x0503757Cu);
  }
  // Hostile footers and hooks point nowhere, and give no version.
  gen::SdkArm9 hostile = no_pointer;
  nds::put32(hostile.footer, 4, 0xFFFFFFF0);
  hostile.autoload_hook = 0xFFFFFFFF;
  EXPECT_EQ(sdk_arm9_of(hostile, true, true), no_version);
  hostile.autoload_hook = 0x02000002;
  EXPECT_EQ(sdk_arm9_of(hostile, true, true), no_version);
}

TEST(Binaries, SdkArm7GenerationsDsiBlockAndAutoloadHook) {
  struct Case {
    gen::SdkArm7Shape shape;
    std::uint32_t version;
    bool dsi;
  };
  const Case cases[] = {
      {{}, 0, false},                                                          // before SDK 5
      {{.load = 0x037F8000, .autoloads = {{0x06000000, 0x80, 0}}}, 0, false},  // into VRAM
      {{.full = true}, 0x0503757C, false},                                     // SDK 5, DS only
      {{.load = 0x02380000, .full = true, .dsi_block = true}, 0x0503757C, true},
  };
  for (const Case& c : cases) {
    const gen::SdkArm7 a = gen::sdk_arm7(c.shape);
    const nds::Arm7Identity id = arm7_of(a.binary);
    expect_fixed_at(id, Runtime::sdk, a.load);
    EXPECT_EQ(id.runtime.sdk_version, c.version);
    EXPECT_TRUE(id.sdk_params);
    EXPECT_EQ(id.sdk_dsi_block, c.dsi);
    EXPECT_EQ(id.autoload_hook, a.autoload_hook);
    EXPECT_FALSE(arm9_start(a.binary, a.load, a.load));

    // Padded, its parameters no longer fit: the crt0 and its autoload
    // routine still name the SDK, with nothing derived from the parameters.
    Bytes padded = a.binary;
    padded.resize(padded.size() + 0x40, 0);
    const nds::Arm7Identity blind = arm7_of(padded);
    EXPECT_EQ(blind.runtime, (nds::RuntimeCode{Runtime::sdk, 0}));
    EXPECT_FALSE(blind.sdk_params || blind.sdk_dsi_block);
    EXPECT_FALSE(blind.load_address || blind.autoload_hook);
  }
  // A routine that returns instead: the hook is not known.
  gen::SdkArm7 odd = gen::sdk_arm7({});
  replace_word(odd.binary, 0xEA000000, 0xE12FFF1E);  // b hook, at the end
  EXPECT_FALSE(arm7_of(odd.binary).autoload_hook);
  // A block without its two DSi codes is no DSi block.
  gen::SdkArm7 half = gen::sdk_arm7({.full = true, .dsi_block = true});
  replace_word(half.binary, 0x6314C0DE, 0);
  EXPECT_FALSE(arm7_of(half.binary).sdk_dsi_block);
}

// CP15 is programmed at once by every ARM9 crt0, never by an ARM7's.
TEST(Binaries, StartCodeTellsAnArm9) {
  for (const bool first : {true, false}) {
    const Bytes early = gen::devkitpro_inline_mpu_arm9(first);
    EXPECT_EQ(arm9_of(early, 0).runtime, Runtime::libnds) << first;
    EXPECT_TRUE(arm9_start(early, 0x02000000, 0x02000000)) << first;
    Bytes other = early;
    replace_word(other, 0x00002078, 0x00002079);  // another control word: not devkitPro's
    EXPECT_EQ(arm9_of(other, 0).runtime, Runtime::unknown) << first;
  }
  const gen::SdkArm9 sdk = gen::sdk_arm9({.crt0_at = 0x850});
  EXPECT_TRUE(arm9_start(sdk.binary, sdk.ram_address, sdk.entry));
  // As a foreign arm7.bin, entered at its first byte: the secure area,
  // decrypted or not, is an ARM9's.
  EXPECT_TRUE(arm9_start(sdk.binary, 0x02380000, 0x02380000));
  Bytes encrypted = sdk.binary;
  std::copy_n("encryObj", 8, encrypted.begin());
  EXPECT_TRUE(arm9_start(encrypted, 0x02380000, 0x02380000));
  // A homebrew ARM9 behind its block of zeros, as a foreign arm7.bin.
  Bytes homebrew(0x800, 0);
  const Bytes early = gen::devkitpro_inline_mpu_arm9(false);
  homebrew.insert(homebrew.end(), early.begin(), early.end());
  EXPECT_TRUE(arm9_start(homebrew, 0x02380000, 0x02380000));
  EXPECT_FALSE(arm9_start(homebrew, 0x02380000, 0x02380000 + 0x10000));

  const Bytes arm7s[] = {fixed_handshake_arm7(0x037F8000, 0x6F4, 0x40, true),
                         fixed_early_arm7(0x037F8000, 0x900, 0x300, true),
                         calico_old_arm7(0x02390000), Bytes(0x900, 0)};
  for (const Bytes& b : arm7s) EXPECT_FALSE(arm9_start(b, 0x037F8000, 0x037F8000));
  // The CP15 code only a call away, and a call loop that never ends.
  Bytes calls(0x100, 0);
  nds::put32(calls, 0, 0xEB00000E);     // bl 0x40
  nds::put32(calls, 4, 0xEAFFFFFD);     // b 0
  nds::put32(calls, 0x40, 0xEE110F10);  // mrc p15, 0, r0, c1, c0, 0
  EXPECT_TRUE(arm9_start(calls, 0x02000000, 0x02000000));
  nds::put32(calls, 0x40, 0xEBFFFFEE);  // bl 0
  EXPECT_FALSE(arm9_start(calls, 0x02000000, 0x02000000));
  // A routine that waits in a loop of its own leaves the walk to go on after the call.
  nds::put32(calls, 4, 0xEE110F10);     // mrc p15, 0, r0, c1, c0, 0
  nds::put32(calls, 0x40, 0xEAFFFFFE);  // b 0x40
  EXPECT_TRUE(arm9_start(calls, 0x02000000, 0x02000000));
}

nds::ElfProgram elf_of(const Bytes& f) {
  const nds::MemorySource source(f);
  return nds::read_elf(source, "arm7.bin");
}

TEST(Binaries, ElfSegmentsLaidOutByLoadAddress) {
  const Bytes code(0x20, 0xC0), more(0x10, 0xD0), twl(0x18, 0xE0);
  const Bytes f = elf_file({{0x02380000, 0x037F8000, 0x20, 7, code},
                            {0x02390000, 0x02390000, 0x400, 6, {}},
                            {0x02E80000, 0x03000000, 0x18, 0x100007, twl},
                            {0x02380040, 0x02380040, 0x10, 6, more}});
  const nds::MemorySource source(f);
  ASSERT_TRUE(nds::looks_like_elf(source));
  const nds::ElfProgram p = elf_of(f);
  EXPECT_EQ(p.entry, 0x02380000u);
  EXPECT_EQ(p.ds_load, 0x02380000u);
  Bytes ds = code;
  ds.resize(0x40, 0);
  ds.insert(ds.end(), more.begin(), more.end());
  EXPECT_EQ(p.ds, ds);
  EXPECT_TRUE(p.has_dsi);
  EXPECT_EQ(p.dsi_load, 0x02E80000u);
  EXPECT_EQ(p.dsi, twl);
  EXPECT_FALSE(nds::looks_like_elf(nds::MemorySource(code)));
}

TEST(Binaries, MalformedElfIsABadPart) {
  const Bytes code(0x20, 0xC0);
  const Bytes good = elf_file({{0x02380000, 0x037F8000, 0x20, 7, code}});
  const auto edited = [&](std::size_t off, std::uint32_t value, bool word) {
    Bytes f = good;
    if (word)
      nds::put32(f, off, value);
    else
      f[off] = static_cast<std::uint8_t>(value);
    return f;
  };
  const std::pair<const char*, Bytes> cases[] = {
      {"too short", Bytes(good.begin(), good.begin() + 40)},
      {"64-bit", edited(4, 2, false)},
      {"big-endian", edited(5, 2, false)},
      {"not an executable", edited(16, 3, false)},
      {"not ARM", edited(18, 3, false)},
      {"program header size", edited(42, 40, false)},
      {"too many program headers", edited(44, 0xFFFF, true)},
      {"table beyond the file", edited(28, 0xFFFFFFF0, true)},
      {"segment beyond the file", edited(52 + 4, 0x1000, true)},
      {"more file than memory", edited(52 + 20, 0x10, true)},
      {"address past 4 GiB", edited(52 + 12, 0xFFFFFFF0, true)},
      {"no DS segment", edited(52 + 24, 0x100007, true)},
      {"overlap", elf_file({{0x02380000, 0, 0x20, 7, code}, {0x02380010, 0, 0x20, 7, code}})},
      {"over 16 MiB", elf_file({{0x02000000, 0, 0x20, 7, code}, {0x03000000, 0, 0x20, 7, code}})},
  };
  for (const auto& [what, f] : cases) {
    try {
      elf_of(f);
      ADD_FAILURE() << what << ": accepted";
    } catch (const nds::Error& e) {
      EXPECT_EQ(e.kind(), nds::ErrorKind::BadPart) << what;
      EXPECT_EQ(std::string(e.what()).rfind("arm7.bin: ", 0), 0u) << what << ": " << e.what();
    }
  }
}

}  // namespace
