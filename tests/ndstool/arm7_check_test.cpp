// -c checks the new arm7.bin against the image: what cannot be its ARM7 is
// refused with the image untouched, an ELF file is taken by its program
// headers, the header follows where a binary must be loaded, and the result
// line tells what built each half and what became of the ARM7i.
#include <gtest/gtest.h>

#include <optional>

#include "elf_builder.h"
#include "sdk_binaries.h"
#include "result_file/result_file.h"
#include "tool_fixture.h"

namespace ndstest {
namespace {

using result_file::DsiNote;
using result_file::Refusal;
using result_file::Runtime;

// A segment as the link scripts give it: some bss after its bytes.
ElfSegment segment(std::uint32_t run, std::uint32_t load, Bytes bytes, bool dsi = false) {
  const auto memsz = static_cast<std::uint32_t>(bytes.size()) + 0x40;
  return {load, run, memsz, dsi ? 0x100005u : 0x5u, std::move(bytes)};
}

Bytes with_header_words(Bytes image,
                        std::initializer_list<std::pair<std::size_t, std::uint32_t>> words) {
  for (const auto& [at, value] : words) wr32(image, at, value);
  fix_header_crc(image);
  return image;
}

// The header's ARM7 loaded and entered at address.
Bytes loaded_at(const Bytes& image, std::uint32_t address) {
  return with_header_words(image, {{0x34, address}, {0x38, address}});
}

Bytes slice(const Bytes& b, std::size_t at, std::size_t n) {
  return Bytes(b.begin() + static_cast<std::ptrdiff_t>(at),
               b.begin() + static_cast<std::ptrdiff_t>(at + n));
}

class Arm7Check : public ToolTest {
 protected:
  void SetUp() override {
    ToolTest::SetUp();
    result_file = dir_ / "deruzuz.result";
  }

  // Unpacks image, rebuilds it with arm7 as arm7.bin; the result's line.
  result_file::Line patch(const Bytes& image, const Bytes& arm7, const std::string& name,
                          RunResult* run_result = nullptr) {
    rom_ = dir_ / (name + ".nds");
    work_ = dir_ / name;
    write_bytes(rom_, image);
    write_bytes(dir_ / (name + "-arm7.bin"), arm7);
    fs::remove(*result_file);
    EXPECT_EQ(unpack(rom_, work_).status, 0) << name;
    std::vector<std::string> args = {"-v", "-c", u8(rom_)};
    for (const std::string& a : part_args(work_, u8(dir_ / (name + "-arm7.bin"))))
      args.push_back(a);
    const RunResult r = run(args);
    if (run_result) *run_result = r;
    const Bytes text = read_bytes(*result_file);
    return result_file::read_report(std::string(text.begin(), text.end())).line;
  }

  result_file::Line expect_refused(const Bytes& image, const Bytes& arm7, Refusal why,
                                   const std::string& says) {
    SCOPED_TRACE(says);
    RunResult r;
    result_file::Line line = patch(image, arm7, "refused", &r);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.failure, nds::ErrorKind::Arm7Refused) << r.err;
    EXPECT_EQ(line.refusal, why) << r.err;
    EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
    EXPECT_TRUE(read_bytes(rom_) == image) << "the image changed";
    return line;
  }

  // The rebuilt image unpacks again, with the ARM7 it was given.
  Bytes rebuilt_with(const Bytes& arm7) {
    fs::path again = work_;
    again += "-again";
    EXPECT_EQ(unpack(rom_, again).status, 0);
    EXPECT_TRUE(read_bytes(again / "arm7.bin") == arm7);
    return read_bytes(rom_);
  }

  fs::path rom_, work_;
};

TEST_F(Arm7Check, WhatCannotBeTheImagesArm7IsRefusedAndTheImageStays) {
  const Bytes image = build_rom({});  // ARM9 0x1234 bytes at 0x02000000, ARM7 at 0x02380000
  expect_refused(image, {}, Refusal::empty, "empty file");
  expect_refused(image, image, Refusal::ds_image, "whole DS ROM image");
  write_bytes(dir_ / "plain.nds", image);
  ASSERT_EQ(unpack(dir_ / "plain.nds", dir_ / "plain").status, 0);
  expect_refused(image, read_bytes(dir_ / "plain" / "arm9.bin"), Refusal::own_arm9, "own ARM9");
  // Main RAM holds 0x80000 bytes from 0x02380000 on.
  expect_refused(image, arm7_noise(0x80004, 1), Refusal::too_large, "0x80000 bytes of main RAM");
  expect_refused(with_header_words(image, {{0x34, 0x037F8000}, {0x38, 0x037F8000}}),
                 arm7_noise(0x18004, 2), Refusal::too_large, "0x18000 bytes of ARM7 WRAM");
  expect_refused(loaded_at(image, 0x06000000), arm7_noise(0x100, 3), Refusal::too_large,
                 "no memory");
  // Over the ARM9, also through main RAM's mirror 4 MiB up.
  expect_refused(loaded_at(image, 0x02001000), arm7_noise(0x100, 4), Refusal::overlaps_arm9,
                 "over the image's ARM9");
  const result_file::Line line = expect_refused(loaded_at(image, 0x02401000), arm7_noise(0x100, 4),
                                                Refusal::overlaps_arm9, "over the image's ARM9");
  ASSERT_TRUE(line.check) << "what was found out travels with the refusal";
  EXPECT_FALSE(line.check->moved);
  Bytes elf = elf_file({segment(0x02380000, 0x02380000, arm7_noise(0x40, 5))});
  wr16(elf, 42, 12);  // program headers of a size no ELF32 has
  expect_refused(image, elf, Refusal::bad_elf, "ELF");
}

// Main RAM of a DSi-only image is 16 MiB, with no mirror 4 MiB up.
TEST_F(Arm7Check, MemoryOfADsiOnlyImage) {
  MiniRom desc;
  desc.dsi = true;
  Bytes image = build_rom(desc);
  image[0x12] = 0x03;
  image = loaded_at(image, 0x02401000);
  EXPECT_EQ(patch(image, arm7_noise(0x100, 4), "dsi-only").state, result_file::State::ok);
  expect_refused(loaded_at(image, 0x02FFF000), arm7_noise(0x1004, 5), Refusal::too_large,
                 "0x1000 bytes of main RAM");
}

// The image's own ARM7 is taken as it is, even where a new one of its size
// would be refused.
TEST_F(Arm7Check, AnUnchangedArm7IsNeverRefusedOrAltered) {
  MiniRom desc;
  desc.arm7_size = 0x20000;
  expect_round_trip(with_header_words(build_rom(desc), {{0x34, 0x037F8000}, {0x38, 0x037F8000}}),
                    "large-in-wram");
  expect_round_trip(with_header_words(build_rom({}), {{0x38, 0x08000000}}), "nowhere");
}

TEST_F(Arm7Check, AnElfGivesItsDsSegmentsByLoadAddressAndItsDsiSegmentsAsTheArm7i) {
  const Bytes crt0 = arm7_noise(0x100, 1), iwram_code = noise(0x200, 2), arm7i = noise(0x500, 3);
  // The code that runs in IWRAM is loaded after the start code, 0x100 bytes of gap between.
  const Bytes elf =
      elf_file({segment(0x037F8000, 0x02390200, iwram_code), segment(0x02390000, 0x02390000, crt0),
                segment(0x02E80000, 0x02E80000, arm7i, true)},
               0x02390000);
  Bytes ds = crt0;
  ds.resize(0x200, 0);
  ds.insert(ds.end(), iwram_code.begin(), iwram_code.end());

  MiniRom desc;
  desc.dsi = true;
  desc.trailing = noise(0x88, 9);
  const Bytes dsi_image = build_rom(desc);
  RunResult r;
  result_file::Line line = patch(dsi_image, elf, "elf-dsi", &r);
  ASSERT_EQ(line.state, result_file::State::ok) << line.reason;
  for (const char* said : {"an ELF file", "built with", "moved from 0x2380000 to 0x2390000",
                           "replaced the image's ARM7i"})
    EXPECT_NE(r.out.find(said), std::string::npos) << said << " in -v:\n" << r.out;
  ASSERT_TRUE(line.check);
  EXPECT_TRUE(line.check->elf);
  EXPECT_TRUE(line.layout_kept);
  EXPECT_EQ(line.check->dsi, DsiNote::arm7i_replaced);
  EXPECT_TRUE(line.check->moved);
  EXPECT_EQ(line.check->to, 0x02390000u);
  Bytes out = rebuilt_with(ds);
  EXPECT_EQ(rd32(out, 0x34), 0x02390000u);
  EXPECT_EQ(rd32(out, 0x38), 0x02390000u);
  EXPECT_EQ(rd32(out, 0x1DC), arm7i.size());
  EXPECT_EQ(rd32(out, 0x1D8), 0x02E80000u);
  EXPECT_TRUE(slice(out, rd32(out, 0x1D0), arm7i.size()) == arm7i);
  // What followed the old ARM7i follows the new, larger one.
  EXPECT_TRUE(slice(out, out.size() - 0x88, 0x88) == desc.trailing);
  EXPECT_TRUE(slice(out, rd32(out, 0x1C0), 0x158) ==
              slice(dsi_image, rd32(dsi_image, 0x1C0), 0x158));

  line = patch(build_rom({}), elf, "elf-ds");
  ASSERT_EQ(line.state, result_file::State::ok) << line.reason;
  EXPECT_EQ(line.check->dsi, DsiNote::arm7i_left_out);
  out = rebuilt_with(ds);
  EXPECT_EQ(rd32(out, 0x38), 0x02390000u);
}

// An ARM7i that names the ARM7's own bytes follows the new ARM7, offset and
// size; an ARM7i of its own stays, and the line says DSi mode may not start.
TEST_F(Arm7Check, TheArm7iThatNamesTheArm7FollowsItAndOneOfItsOwnStays) {
  MiniRom desc;
  desc.dsi = true;
  desc.files = {{"f", noise(0x300, 1)}};
  const Bytes image = build_rom(desc);
  const Bytes aliased =
      with_header_words(image, {{0x1D0, rd32(image, 0x30)}, {0x1DC, rd32(image, 0x3C)}});
  for (const std::size_t size : {0x200u, 0x1800u}) {  // smaller, and larger than its room
    const result_file::Line line =
        patch(aliased, arm7_noise(size, 2), "aliased" + std::to_string(size));
    ASSERT_EQ(line.state, result_file::State::ok) << line.reason;
    EXPECT_EQ(line.check->dsi, DsiNote::arm7i_follows);
    const Bytes out = rebuilt_with(arm7_noise(size, 2));
    EXPECT_EQ(rd32(out, 0x1D0), rd32(out, 0x30));
    EXPECT_EQ(rd32(out, 0x1DC), size);
    EXPECT_EQ(rd32(out, 0x1D8), rd32(image, 0x1D8));
  }
  EXPECT_EQ(patch(image, arm7_noise(0x200, 2), "own").check->dsi, DsiNote::arm7i_kept);
}

// What plainly is no ARM7 is refused, saying what it is, and the image stays.
TEST_F(Arm7Check, WhatCannotBeAnArm7IsRefusedSayingWhatItIs) {
  const Bytes image = build_rom({});
  std::string readme;
  while (readme.size() < 0x300) readme += "Put arm7.bin into the Bin folder, then press P.\r\n";
  expect_refused(image, Bytes(readme.begin(), readme.end()), Refusal::text, "a text file");
  const std::string script = "#!/bin/sh\nexit 0";  // 16 bytes
  expect_refused(image, Bytes(script.begin(), script.end()), Refusal::text, "a text file");
  Bytes zip = noise(0x400, 6);
  for (std::size_t i = 0; i < 4; ++i) zip[i] = static_cast<std::uint8_t>("PK\x03\x04"[i]);
  expect_refused(image, zip, Refusal::archive, "a ZIP archive");
  Bytes junk = noise(2000, 7);
  junk[3] = 0x5A;  // a condition field other than "always"
  expect_refused(image, junk, Refusal::no_code_at_entry, "not an ARM instruction that always runs");
  // The same in an ELF file, as its segments are laid out.
  expect_refused(image, elf_file({segment(0x02380000, 0x02380000, junk)}),
                 Refusal::no_code_at_entry, "not an ARM instruction");
  expect_refused(with_header_words(image, {{0x34, 0x02390000}}), arm7_noise(0x100, 8),
                 Refusal::entry_outside, "does not hold its entry point 0x2390000");
  // Foreign ARM9s: an SDK one behind its secure area, an old devkitPro one
  // that programs CP15 right at its entry.
  expect_refused(image, sdk_arm9({}).binary, Refusal::arm9, "secure area");
  expect_refused(image, devkitpro_inline_mpu_arm9(true), Refusal::arm9, "an ARM9 binary");
}

// An SDK-shaped ARM9 in place of the builder's; unit_code 2 or 3 for a
// DSi-capable image.
Bytes sdk_image(const SdkArm9& arm9, std::uint8_t unit_code = 0) {
  MiniRom desc;
  desc.dsi = unit_code != 0;
  desc.arm9_size = static_cast<std::uint32_t>(arm9.binary.size());
  Bytes image = build_rom(desc);
  std::copy(arm9.binary.begin(), arm9.binary.end(), image.begin() + rd32(image, 0x20));
  if (unit_code != 0) image[0x12] = unit_code;
  return with_header_words(image, {{0x24, arm9.entry},
                                   {0x28, arm9.ram_address},
                                   {0x70, arm9.autoload_hook},
                                   {0x74, 0x027E1234}});
}

// The branch that ends an SDK ARM7's autoload routine, made a nop.
Bytes without_hook_branch(SdkArm7 arm7) {
  for (std::size_t at = 0; at + 4 <= arm7.binary.size(); at += 4) {
    const std::uint32_t w = rd32(arm7.binary, at);
    const auto offset = static_cast<std::int32_t>(w << 8) >> 6;  // imm24 * 4
    if (w >> 24 == 0xEA &&
        arm7.load + at + 8 + static_cast<std::uint32_t>(offset) == arm7.autoload_hook)
      wr32(arm7.binary, at, 0xE1A00000);
  }
  return arm7.binary;
}

// SDK halves are named with their versions and judged: SDK 5 against an
// earlier SDK, or an ARM7 without the DSi block in a DSi image, certainly
// differ; the header's ARM7 autoload hook becomes the new ARM7's own.
TEST_F(Arm7Check, SdkHalvesAreNamedJudgedAndGiveTheirAutoloadHook) {
  using result_file::DsiBlock;
  using result_file::SdkPairing;
  struct Case {
    std::uint32_t arm9_version;
    std::uint8_t unit_code;
    SdkArm7Shape arm7;
    SdkPairing sdk;
    DsiBlock block;
  };
  const SdkArm7Shape sdk4{}, sdk5{.full = true, .version = 0x0503757C},
      sdk5_dsi{.full = true, .version = 0x0503757C, .dsi_block = true},
      sdk5_vram{.full = true, .version = 0x05007531, .autoloads = {{0x06000000, 0x80, 0}}};
  const Case cases[] = {
      {0x04027531, 0, sdk4, SdkPairing::version_unknown, DsiBlock::not_asked},
      {0x04027531, 0, sdk5, SdkPairing::generations_differ, DsiBlock::not_asked},
      {0x0503757C, 2, sdk4, SdkPairing::generations_differ, DsiBlock::missing},
      {0x0503757C, 3, sdk5, SdkPairing::same_version, DsiBlock::missing},
      {0x0503757C, 2, sdk5_dsi, SdkPairing::same_version, DsiBlock::present},
      {0x0503757C, 0, sdk5_vram, SdkPairing::versions_differ, DsiBlock::not_asked},
      {0, 0, sdk5, SdkPairing::version_unknown, DsiBlock::not_asked},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(n);
    // Without a version, no parameters at all are found: the start code names the SDK.
    const bool versioned = c.arm9_version != 0;
    const SdkArm9 arm9 =
        sdk_arm9({.version = c.arm9_version, .crt0_pointer = versioned, .nitro_codes = versioned});
    const SdkArm7 arm7 = sdk_arm7(c.arm7);
    const result_file::Line line =
        patch(sdk_image(arm9, c.unit_code), arm7.binary, "sdk" + std::to_string(n++));
    ASSERT_EQ(line.state, result_file::State::ok) << line.reason;
    EXPECT_EQ(line.check->arm9, (result_file::RuntimeCode{Runtime::sdk, c.arm9_version}));
    EXPECT_EQ(line.check->arm7,
              (result_file::RuntimeCode{Runtime::sdk, c.arm7.full ? c.arm7.version : 0}));
    EXPECT_EQ(line.check->sdk, c.sdk);
    EXPECT_EQ(line.check->dsi_block, c.block);
    EXPECT_EQ(rd32(rebuilt_with(arm7.binary), 0x74), arm7.autoload_hook);
  }
  // Its hook not decoded: 0, not an address inside the new binary.
  RunResult r;
  const Bytes blind = without_hook_branch(sdk_arm7(sdk4));
  ASSERT_EQ(patch(sdk_image(sdk_arm9({})), blind, "blind", &r).state, result_file::State::ok);
  EXPECT_EQ(rd32(rebuilt_with(blind), 0x74), 0u);
  EXPECT_NE(r.out.find("autoload hook (0x74) is set to 0"), std::string::npos) << r.out;
  // Padded, an SDK 5 ARM7 whose parameters are not found: neither its
  // generation nor its DSi block is claimed.
  Bytes padded = sdk_arm7(sdk5_dsi).binary;
  padded.resize(padded.size() + 0x40, 0);
  const result_file::Line line = patch(sdk_image(sdk_arm9({}), 2), padded, "padded");
  ASSERT_EQ(line.state, result_file::State::ok) << line.reason;
  EXPECT_EQ(line.check->arm7, (result_file::RuntimeCode{Runtime::sdk, 0}));
  EXPECT_EQ(line.check->sdk, SdkPairing::version_unknown);
  EXPECT_EQ(line.check->dsi_block, DsiBlock::not_asked);
  EXPECT_EQ(rd32(rebuilt_with(padded), 0x74), 0u);
  // A binary of unknown make keeps it.
  ASSERT_EQ(patch(sdk_image(sdk_arm9({})), arm7_noise(0x300, 3), "unknown").state,
            result_file::State::ok);
  EXPECT_EQ(rd32(rebuilt_with(arm7_noise(0x300, 3)), 0x74), 0x027E1234u);
}

// An image as a widely used emulator ships it: its ARM7 a whole ELF file,
// loaded at 0x037F0000 and entered at 0x037F8000, where the code at file
// offset 0x8000 arrives through shared WRAM's mirror.
TEST_F(Arm7Check, AnArm7LoadedBelowWramCountsOnlyWhatSurvives) {
  Bytes whole = elf_file({segment(0x037F8000, 0x037F8000, arm7_noise(0x100, 1))}, 0x037F8000);
  whole.resize(0x8000, 0);
  const Bytes code = arm7_noise(0x1000, 2);
  whole.insert(whole.end(), code.begin(), code.end());
  MiniRom desc;
  desc.arm7_size = static_cast<std::uint32_t>(whole.size());
  Bytes image = build_rom(desc);
  std::copy(whole.begin(), whole.end(), image.begin() + rd32(image, 0x30));
  image = with_header_words(image, {{0x34, 0x037F8000}, {0x38, 0x037F0000}});
  expect_round_trip(image, "emulator");

  Bytes raw = noise(0x9000, 3);
  wr32(raw, 0x8000, kBranchToSelf);
  RunResult r;
  const result_file::Line line = patch(image, raw, "below-wram", &r);
  ASSERT_EQ(line.state, result_file::State::ok) << line.reason;
  EXPECT_NE(r.out.find("only its last 0x1000 bytes, from 0x37F8000 up"), std::string::npos)
      << r.out;
  EXPECT_FALSE(line.check->moved);
  rebuilt_with(raw);
  raw.resize(0x20004);  // past 0x03810000
  expect_refused(image, raw, Refusal::too_large, "ARM7 WRAM");
  // Entered below 0x037F8000: its entry is among the bytes overwritten.
  expect_refused(with_header_words(image, {{0x34, 0x037F0000}}), arm7_noise(0x9000, 4),
                 Refusal::too_large, "no memory");
}

// The runtime as told: "libnds or BlocksDS" where the binary cannot tell the two apart.
bool told(Runtime got, Runtime built_with) {
  const bool vague_ok = built_with == Runtime::libnds || built_with == Runtime::blocksds;
  return got == built_with || (vague_ok && got == Runtime::libnds_or_blocksds);
}

// The samples' ARM7s, each into every other sample: the header follows a
// binary whose address is certain, and the line names both runtimes.
TEST_F(Arm7Check, SampleArm7sInEachOtherSample) {
  std::string why;
  const fs::path roms = sample_rom_dir(&why);
  if (roms.empty()) GTEST_SKIP() << why;
  // What built each sample's ARM7 and ARM9, and where its ARM7 must be loaded
  // (none: wherever in main RAM).
  struct Sample {
    const char* name;
    Runtime arm7, arm9;
    std::optional<std::uint32_t> fixed_at;
  };
  const Sample samples[] = {{"dstimer-1.0", Runtime::calico, Runtime::calico, std::nullopt},
                            {"dstimer-2.0", Runtime::blocksds, Runtime::blocksds, std::nullopt},
                            {"dstimer-head", Runtime::blocksds, Runtime::blocksds, std::nullopt},
                            {"nflib-animation", Runtime::libnds, Runtime::libnds, std::nullopt},
                            {"pongds-1.1.0", Runtime::libnds, Runtime::libnds, 0x037F8000},
                            {"raycast-4", Runtime::libnds, Runtime::libnds, 0x037F8000},
                            {"stellads-1.1c", Runtime::libnds, Runtime::libnds, std::nullopt},
                            {"stellads-8.4a", Runtime::libnds, Runtime::libnds, std::nullopt}};
  for (const Sample& donor : samples) {
    const Bytes donor_rom = read_bytes(roms / (std::string(donor.name) + ".nds"));
    const Bytes arm7 = slice(donor_rom, rd32(donor_rom, 0x30), rd32(donor_rom, 0x3C));
    for (const Sample& target : samples) {
      if (&donor == &target) continue;
      const std::string name = std::string(donor.name) + "-into-" + target.name;
      SCOPED_TRACE(name);
      const Bytes image = read_bytes(roms / (std::string(target.name) + ".nds"));
      const result_file::Line line = patch(image, arm7, name);
      ASSERT_EQ(line.state, result_file::State::ok) << line.reason;
      ASSERT_TRUE(line.check);
      EXPECT_TRUE(told(line.check->arm7.runtime, donor.arm7)) << donor.name;
      EXPECT_TRUE(told(line.check->arm9.runtime, target.arm9)) << target.name;
      const std::uint32_t was = rd32(image, 0x38);
      // A copy-down ARM7 leaves WRAM for main RAM; in main RAM it stays.
      const std::uint32_t want = donor.fixed_at     ? *donor.fixed_at
                                 : was < 0x03000000 ? was
                                                    : 0x02380000;
      const Bytes out = rebuilt_with(arm7);
      EXPECT_EQ(rd32(out, 0x38), want);
      EXPECT_EQ(rd32(out, 0x34), want);
      EXPECT_EQ(line.check->moved, want != was);
    }
  }
  // A libnds ARM7 beside an SDK ARM9 certainly differs, and clears the hook.
  const Bytes pong = read_bytes(roms / "pongds-1.1.0.nds");
  const Bytes libnds = slice(pong, rd32(pong, 0x30), rd32(pong, 0x3C));
  const result_file::Line line = patch(sdk_image(sdk_arm9({})), libnds, "libnds-into-sdk");
  ASSERT_EQ(line.state, result_file::State::ok) << line.reason;
  EXPECT_TRUE(result_file::runtimes_differ(line.check->arm7, line.check->arm9));
  EXPECT_EQ(rd32(rebuilt_with(libnds), 0x74), 0u);
  // Every sample's ARM9 (calico, BlocksDS, libnds) is refused in another's ARM7's place.
  const Bytes raycast = read_bytes(roms / "raycast-4.nds");
  const Bytes dstimer = read_bytes(roms / "dstimer-2.0.nds");
  for (const Sample& donor : samples) {
    const Bytes rom = read_bytes(roms / (std::string(donor.name) + ".nds"));
    expect_refused(std::string(donor.name) == "raycast-4" ? dstimer : raycast,
                   slice(rom, rd32(rom, 0x20), rd32(rom, 0x2C)), Refusal::arm9, "an ARM9 binary");
  }
}

}  // namespace
}  // namespace ndstest
