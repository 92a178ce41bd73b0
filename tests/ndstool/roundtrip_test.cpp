// Exact round trips and ARM7 swaps, on the sample ROMs and on small images.
#include <gtest/gtest.h>

#include "tool_fixture.h"

namespace ndstest {
namespace {

Bytes files_image(bool dsi, std::uint8_t pad) {
  MiniRom desc;
  desc.dsi = dsi;
  desc.pad = pad;
  desc.arm9_overlays = 2;
  desc.arm7_overlays = 2;  // overlay IDs 0 and 1 in both tables
  desc.files = {{"zeta.bin", noise(0x301, 1)},
                {"Alpha.txt", noise(0x40, 2)},
                {"empty", {}},
                {"sub/deeper/deepest/leaf.dat", noise(0x222, 3)},
                {"sub/b.bin", noise(0x10, 4)},
                {"other/x", noise(0x700, 5)}};
  desc.unnamed = 1;
  if (dsi) desc.trailing = noise(0x88, 6);
  return build_rom(desc);
}

class RoundTrip : public ToolTest {};

TEST_F(RoundTrip, SampleRomsAndTheirReextractedParts) {
  std::string why;
  fs::path roms = sample_rom_dir(&why);
  if (roms.empty()) GTEST_SKIP() << why;
  for (const std::string& name : kSamples)
    expect_round_trip(read_bytes(roms / (name + ".nds")), name);
}

TEST_F(RoundTrip, SmallImagesOfEveryKind) {
  expect_round_trip(build_rom({}), "plain");
  expect_round_trip(files_image(false, 0x00), "files");
  expect_round_trip(files_image(true, 0xFF), "dsi-ff");
  MiniRom nobanner;
  nobanner.banner = false;
  expect_round_trip(build_rom(nobanner), "no-banner");

  // Names a file system cannot hold as they are: Shift-JIS bytes (one
  // with 0x5C, a backslash, as its second byte), names
  // equal but for case, characters Windows refuses, a leading dot, '%'.
  MiniRom names;
  names.files = {{"\x83\x65\x83\x58\x83\x67.bin", noise(9, 1)},
                 {"\x95\x5C\x8E\xA6.txt", noise(9, 8)},
                 {"Readme", noise(9, 2)},
                 {"README", noise(9, 3)},
                 {"ab:?c*.", noise(9, 4)},
                 {".hidden", noise(9, 5)},
                 {"100%", noise(9, 6)},
                 {"trail ", noise(9, 7)}};
  expect_round_trip(build_rom(names), "names");
}

// "\xC3\x84" and "\xC3\xA4" differ only in case beyond ASCII: one name on
// Windows file systems. Such an image round-trips, or -x refuses it; it never
// loses a file.
TEST_F(RoundTrip, NamesOneFileSystemTakesForTheSameAreNeverMerged) {
  MiniRom desc;
  desc.files = {{"\xC3\x84", noise(9, 1)},
                {"\xC3\xA4", noise(9, 2)},
                {"d\xC3\x84/x", noise(9, 3)},
                {"d\xC3\xA4/y", noise(9, 4)}};
  Bytes image = build_rom(desc);
  write_bytes(dir_ / "rom.nds", image);
  RunResult r = unpack(dir_ / "rom.nds", dir_ / "w");
  if (r.status != 0) {
    EXPECT_EQ(r.failure, nds::ErrorKind::WriteFailed) << r.err;
    EXPECT_FALSE(fs::exists(dir_ / "w" / "header.bin"));
    return;
  }
  ASSERT_EQ(rebuild(dir_ / "rom.nds", dir_ / "w").status, 0);
  EXPECT_TRUE(read_bytes(dir_ / "rom.nds") == image);
}

TEST_F(RoundTrip, KoreanFolderInThePath) {
  fs::path folder = dir_ / from_u8("\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4 \xED\x8F\xB4\xEB\x8D\x94");
  fs::create_directories(folder);
  fs::path rom = folder / "rom.nds";
  Bytes image = files_image(true, 0x00);
  write_bytes(rom, image);
  ASSERT_EQ(unpack(rom, folder / "UNPACK").status, 0);
  RunResult r = rebuild(rom, folder / "UNPACK");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(read_bytes(rom) == image);
}

// The script's own lines: run from Bin, parts as "..\UNPACK/...".
TEST_F(RoundTrip, ScriptCommandLinesFromTheToolFolder) {
  fs::create_directories(dir_ / "Bin");
  fs::create_directories(dir_ / "UNPACK");
  Bytes image = files_image(false, 0x00);
  write_bytes(dir_ / "game.nds", image);
  write_bytes(dir_ / "Bin" / "arm7.bin", arm7_noise(0x456, 7));  // the image's own ARM7
  fs::path old = fs::current_path();
  fs::current_path(dir_ / "Bin");
  std::vector<std::string> tail = {"-9",  "..\\UNPACK/arm9.bin",   "-7",  "..\\UNPACK/arm7.bin",
                                   "-y9", "..\\UNPACK/y9.bin",     "-y7", "..\\UNPACK/y7.bin",
                                   "-d",  "..\\UNPACK/data",       "-y",  "..\\UNPACK/overlay",
                                   "-t",  "..\\UNPACK/banner.bin", "-h",  "..\\UNPACK/header.bin"};
  std::vector<std::string> x = {"-v", "-x", u8(dir_ / "game.nds")},
                           c = {"-c", u8(dir_ / "game.nds")};
  x.insert(x.end(), tail.begin(), tail.end());
  c.insert(c.end(), tail.begin(), tail.end());
  c[5] = "arm7.bin";
  RunResult rx = run(x), rc = run(c);
  fs::current_path(old);
  ASSERT_EQ(rx.status, 0) << rx.err;
  EXPECT_NE(rx.out, "");  // -v says what it did
  ASSERT_EQ(rc.status, 0) << rc.err;
  EXPECT_TRUE(read_bytes(dir_ / "game.nds") == image);
}

// Every byte outside [from, to) and the listed fields is the same.
void expect_same_outside(const Bytes& a, const Bytes& b, std::size_t from, std::size_t to,
                         std::initializer_list<std::size_t> fields) {
  ASSERT_EQ(a.size(), b.size());
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (i >= from && i < to) continue;
    bool field = false;
    for (std::size_t f : fields) field = field || (i >= f && i < f + 4);
    if (!field && a[i] != b[i]) {
      ADD_FAILURE() << "byte 0x" << std::hex << i << " changed";
      return;
    }
  }
}

class Swap : public ToolTest {
 protected:
  // Swaps in new_arm7, checks the re-extracted parts, returns the image.
  Bytes swap(const Bytes& image, const Bytes& new_arm7, const std::string& name) {
    SCOPED_TRACE(name);
    fs::path rom = dir_ / (name + ".nds"), w1 = dir_ / (name + "-1"), w2 = dir_ / (name + "-2");
    write_bytes(rom, image);
    write_bytes(dir_ / (name + "-arm7.bin"), new_arm7);
    EXPECT_EQ(unpack(rom, w1).status, 0);
    RunResult r = rebuild(rom, w1, u8(dir_ / (name + "-arm7.bin")));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(unpack(rom, w2).status, 0);
    EXPECT_TRUE(read_bytes(w2 / "arm7.bin") == new_arm7);
    for (const char* part : {"arm9.bin", "y9.bin", "y7.bin", "banner.bin", "data", "overlay"})
      EXPECT_TRUE(tree(w1 / part) == tree(w2 / part)) << part << " differs after the swap";
    Bytes out = read_bytes(rom);
    EXPECT_EQ(rd16(out, 0x15E), crc16(std::span<const std::uint8_t>(out.data(), 0x15E)));
    // File IDs: every FAT entry still holds the bytes it held.
    for (std::uint32_t id = 0; id < rd32(image, 0x4C) / 8; ++id) {
      auto range = [&](const Bytes& img) {
        std::uint32_t fat = rd32(img, 0x48);
        return Bytes(img.begin() + rd32(img, fat + id * 8),
                     img.begin() + rd32(img, fat + id * 8 + 4));
      };
      EXPECT_TRUE(range(image) == range(out)) << "file ID " << id;
    }
    if (image[0x12] & 2)
      for (std::size_t f : {std::size_t{0x1C0}, std::size_t{0x1D0}}) {  // ARM9i, ARM7i
        auto section = [&](const Bytes& img) {
          return Bytes(img.begin() + rd32(img, f), img.begin() + rd32(img, f) + rd32(img, f + 12));
        };
        EXPECT_TRUE(section(image) == section(out)) << "DSi section at 0x" << std::hex << f;
      }
    return out;
  }
};

TEST_F(Swap, SmallerOrFittingArm7ChangesOnlyTheArm7) {
  for (bool dsi : {false, true}) {
    Bytes image = files_image(dsi, dsi ? 0xFF : 0x00);
    std::uint32_t at = rd32(image, 0x30), old_len = rd32(image, 0x3C);
    // 0x456 bytes in a slot of 0x600: smaller, then larger but fitting.
    for (std::uint32_t len : {0x123u, 0x5F0u}) {
      Bytes out =
          swap(image, arm7_noise(len, 42), "fit" + std::to_string(dsi) + std::to_string(len));
      // Here the DSi image's ARM7 lies in the secure area, whose stored CRC must follow.
      bool secure = dsi && at < 0x8000;
      expect_same_outside(image, out, at, at + std::max(len, old_len),
                          {0x3C, 0x15C, secure ? 0x6Cu : 0x3Cu});
      if (secure) {
        EXPECT_EQ(rd16(out, 0x6C),
                  crc16(std::span<const std::uint8_t>(out.data() + 0x4000, 0x4000)));
      }
      EXPECT_EQ(rd32(out, 0x3C), len);
    }
  }
}

TEST_F(Swap, LargerArm7MovesLaterItemsByAnAlignedAmount) {
  for (bool dsi : {false, true}) {
    Bytes image = files_image(dsi, 0x00);
    Bytes out = swap(image, arm7_noise(0x1A00, 43), "grow" + std::to_string(dsi));
    std::uint32_t moved = rd32(out, 0x40) - rd32(image, 0x40);  // the FNT follows the ARM7 here
    EXPECT_GT(moved, 0u);
    EXPECT_EQ(moved % 0x200, 0u);
    EXPECT_EQ(out.size(), image.size() + moved);
    for (std::size_t field : {std::size_t{0x48}, std::size_t{0x68}, std::size_t{0x80}})
      EXPECT_EQ(rd32(out, field), rd32(image, field) + moved) << std::hex << field;
    // Items before the ARM7 stay where they were.
    EXPECT_EQ(rd32(out, 0x20), rd32(image, 0x20));
    EXPECT_EQ(rd32(out, 0x50), rd32(image, 0x50));
    if (dsi) {
      EXPECT_EQ(rd32(out, 0x210), rd32(image, 0x210) + moved);
    }
  }
}

TEST_F(Swap, Arm7GrowingTowardsTheDsiSectionsMovesThemInstead) {
  MiniRom desc;
  desc.dsi = true;
  desc.arm7_last = true;
  desc.files = {{"f", noise(0x100, 1)}};
  Bytes image = build_rom(desc);
  ASSERT_LT(rd32(image, 0x30), rd32(image, 0x1C0));
  Bytes out = swap(image, arm7_noise(0x700, 46), "arm7-last");  // sections compared inside
  // The DS part ended right after the ARM7: its end moves with what follows,
  // so the ARM7's room ended there (0x456 bytes) and 0x2AA more bytes take 0x400.
  EXPECT_EQ(rd32(out, 0x1C0) - rd32(image, 0x1C0), 0x400u);
  EXPECT_EQ(rd32(out, 0x80) - rd32(image, 0x80), 0x400u);
}

TEST_F(Swap, ImagePaddedToItsChipSizeKeepsItsSize) {
  MiniRom desc;
  desc.pad = 0xFF;
  desc.files = {{"a", noise(0x300, 1)}};
  Bytes image = build_rom(desc);
  image.resize(std::size_t{0x20000} << image[0x14], 0xFF);
  Bytes out = swap(image, arm7_noise(0x1000, 44), "padded");
  EXPECT_EQ(out.size(), image.size());
  EXPECT_EQ(out[0x14], image[0x14]);
  // Content that no longer fits the chip: the next chip size, filled up.
  out = swap(image, arm7_noise(0x20000, 45), "outgrown");
  EXPECT_EQ(out[0x14], image[0x14] + 1);
  EXPECT_EQ(out.size(), image.size() * 2);
  EXPECT_EQ(out.back(), 0xFF);
}

TEST_F(Swap, Arm7sOfOtherSamples) {
  std::string why;
  fs::path roms = sample_rom_dir(&why);
  if (roms.empty()) GTEST_SKIP() << why;
  auto arm7_of = [&](const std::string& name) {
    Bytes rom = read_bytes(roms / (name + ".nds"));
    return Bytes(rom.begin() + rd32(rom, 0x30), rom.begin() + rd32(rom, 0x30) + rd32(rom, 0x3C));
  };
  const std::pair<const char*, const char*> pairs[] = {
      {"pongds-1.1.0", "raycast-4"},       {"raycast-4", "pongds-1.1.0"},
      {"dstimer-head", "nflib-animation"}, {"nflib-animation", "dstimer-head"},
      {"dstimer-1.0", "nflib-animation"},  {"dstimer-2.0", "nflib-animation"},
      {"nflib-animation", "dstimer-2.0"}};
  for (const auto& [target, donor] : pairs) {
    Bytes image = read_bytes(roms / (std::string(target) + ".nds"));
    Bytes arm7 = arm7_of(donor);
    Bytes out = swap(image, arm7, std::string(target) + "-with-" + donor);
    std::uint32_t at = rd32(image, 0x30), old_len = rd32(image, 0x3C);
    if (arm7.size() <= old_len) {
      SCOPED_TRACE(target);
      expect_same_outside(image, out, at, at + old_len, {0x3C, 0x15C});
    }
  }
}

// Parts from elsewhere (no layout files): a sound compact image.
class Compact : public ToolTest {};

TEST_F(Compact, WithoutLayoutFilesBuildsACompactImageOfTheSameParts) {
  for (bool dsi : {false, true}) {
    SCOPED_TRACE(dsi);
    MiniRom desc;
    desc.dsi = dsi;
    desc.arm9_overlays = 1;
    desc.files = {{"a/b", noise(0x333, 1)}, {"a/c", {}}, {"d", noise(0x10, 2)}};
    Bytes image = build_rom(desc);
    fs::path rom = dir_ / "rom.nds", w1 = dir_ / ("w1" + std::to_string(dsi)),
             w2 = dir_ / ("w2" + std::to_string(dsi));
    write_bytes(rom, image);
    ASSERT_EQ(unpack(rom, w1).status, 0);
    fs::remove(w1 / "header.bin.layout");
    fs::remove(w1 / "header.bin.extra");
    RunResult r = rebuild(rom, w1);
    ASSERT_EQ(r.status, 0) << r.err;
    Bytes out = read_bytes(rom);
    EXPECT_EQ(rd32(out, 0x20), rd32(image, 0x84)) << "ARM9 right after the header, no filler";
    EXPECT_EQ(rd16(out, 0x15E), crc16(std::span<const std::uint8_t>(out.data(), 0x15E)));
    ASSERT_EQ(unpack(rom, w2).status, 0) << "the compact image is sound";
    for (const char* part :
         {"arm9.bin", "arm7.bin", "y9.bin", "y7.bin", "banner.bin", "data", "overlay"})
      EXPECT_TRUE(tree(w1 / part) == tree(w2 / part)) << part;
  }
}

TEST_F(Compact, ImageWithoutArm7BytesTakesTheNewOne) {
  Bytes image = build_rom({});
  wr32(image, 0x3C, 0);
  fix_header_crc(image);
  write_bytes(dir_ / "rom.nds", image);
  write_bytes(dir_ / "new-arm7.bin", arm7_noise(0x300, 9));
  ASSERT_EQ(unpack(dir_ / "rom.nds", dir_ / "w").status, 0);
  RunResult r = rebuild(dir_ / "rom.nds", dir_ / "w", u8(dir_ / "new-arm7.bin"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.layout_not_used) << "the layout files were used";
  ASSERT_EQ(unpack(dir_ / "rom.nds", dir_ / "w2").status, 0);
  EXPECT_TRUE(read_bytes(dir_ / "w2" / "arm7.bin") == arm7_noise(0x300, 9));
}

TEST_F(Compact, LayoutFilesThatNoLongerMatchTheDataAreNotUsed) {
  MiniRom desc;
  desc.files = {{"a", noise(0x100, 1)}, {"c", noise(0x100, 2)}};
  fs::path rom = dir_ / "rom.nds";
  write_bytes(rom, build_rom(desc));
  ASSERT_EQ(unpack(rom, dir_ / "w").status, 0);
  write_bytes(dir_ / "w" / "data" / "b", noise(0x50, 3));
  RunResult r = rebuild(rom, dir_ / "w");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.layout_not_used) << "the layout files were used";
  ASSERT_EQ(unpack(rom, dir_ / "w2").status, 0);
  EXPECT_TRUE(tree(dir_ / "w" / "data") == tree(dir_ / "w2" / "data"));
  // Names in byte-wise order get consecutive IDs: a, b, c.
  Bytes out = read_bytes(rom);
  std::uint32_t fat = rd32(out, 0x48);
  EXPECT_TRUE(Bytes(out.begin() + rd32(out, fat + 8), out.begin() + rd32(out, fat + 12)) ==
              noise(0x50, 3));

  // An extra file that does not belong to the layout is not used either.
  ASSERT_EQ(unpack(rom, dir_ / "w3").status, 0);
  Bytes extra = read_bytes(dir_ / "w3" / "header.bin.extra");
  extra.push_back(0);
  write_bytes(dir_ / "w3" / "header.bin.extra", extra);
  r = rebuild(rom, dir_ / "w3");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.layout_not_used) << "the layout files were used";
}

}  // namespace
}  // namespace ndstest
