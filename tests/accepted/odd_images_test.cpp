// Images a DS boots although they are odd: each class is accepted by -x, kept
// exactly by -c and takes a larger and a smaller ARM7 surgically
// (check_image_property); -v says what was unusual. Files that are not DS
// images in standard form are refused as such.
#include <gtest/gtest.h>

#include <algorithm>

#include "nds/io/error.h"
#include "property_check.h"
#include "swap_check.h"
#include "tool_fixture.h"

namespace ndstest {
namespace {

class OddImages : public ToolTest {
 protected:
  // Accepted, kept exactly and swapped surgically; returns what -v said.
  std::string expect_kept(const Bytes& image, const std::string& name) {
    SCOPED_TRACE(name);
    for (const std::string& f : voderer::testgen::check_image_property(image, dir_ / name))
      ADD_FAILURE() << f;
    write_bytes(dir_ / (name + ".nds"), image);
    RunResult r = unpack(dir_ / (name + ".nds"), dir_ / (name + "-v"));
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
  }
  std::vector<std::string> data_files(const std::string& name) {
    fs::path root = dir_ / (name + "-v") / "data";
    std::vector<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(root))
      if (e.is_regular_file()) out.push_back(u8(e.path().lexically_relative(root)));
    return out;
  }
};

std::uint32_t arm7_end(const Bytes& b) {
  return rd32(b, 0x30) + rd32(b, 0x3C);
}

bool says(const std::string& out, const std::string& what) {
  return out.find(what) != std::string::npos;
}

// A CPU test ROM: the file ends with its ARM7; FNT and (empty) FAT lie past it.
TEST_F(OddImages, TablesPastTheEndOfATrimmedFile) {
  MiniRom desc;
  desc.banner = false;
  Bytes image = build_rom(desc);
  image.resize(arm7_end(image));
  fix_header_crc(image);
  std::string out = expect_kept(image, "trimmed");
  EXPECT_TRUE(says(out, "FAT: empty, its offset " + nds::hex(rd32(image, 0x48)) +
                            " lies past the end of the file; kept as it is"))
      << out;
  EXPECT_TRUE(says(out, "FNT: 0x9 bytes at " + nds::hex(rd32(image, 0x40)) +
                            " lie past the end of the file; kept as it is"))
      << out;

  // The file ends inside the FNT.
  image = build_rom(desc);
  image.resize(rd32(image, 0x40) + 4);
  fix_header_crc(image);
  EXPECT_TRUE(says(expect_kept(image, "fnt-cut"), "lie partly past the end")) << "-v";
}

TEST_F(OddImages, EmptyItemsAnywhere) {
  MiniRom desc;
  desc.banner = false;
  Bytes image = build_rom(desc);
  wr32(image, 0x40, 0x12345678), wr32(image, 0x44, 0);  // no FNT at all
  wr32(image, 0x48, 0xFFFFFF00), wr32(image, 0x4C, 0);  // FAT near 4 GiB
  wr32(image, 0x58, 0x00040000), wr32(image, 0x5C, 0);  // ARM7 overlay table, none
  fix_header_crc(image);
  expect_kept(image, "empty");
  // FNTs shorter than a root entry, nothing to name.
  for (std::uint32_t n = 1; n < 8; ++n) {
    Bytes b = build_rom(desc);
    wr32(b, 0x44, n);
    fix_header_crc(b);
    EXPECT_TRUE(says(expect_kept(b, "fnt" + std::to_string(n)), "shorter than a root entry"));
  }
}

TEST_F(OddImages, WithoutAnFntFilesAreKeptUnnamed) {
  MiniRom desc;
  desc.files = {{"a", noise(0x100, 1)}, {"d/b", noise(0x80, 2)}, {"e", {}}};
  for (std::uint32_t fnt_size : {0u, 5u}) {
    Bytes image = build_rom(desc);
    wr32(image, 0x44, fnt_size);
    fix_header_crc(image);
    std::string name = "unnamed" + std::to_string(fnt_size);
    EXPECT_TRUE(says(expect_kept(image, name), "kept as unnamed entries"));
    EXPECT_TRUE(data_files(name).empty());
  }
  // An FNT that is no table at all is kept when no file needs a name.
  MiniRom bare;
  Bytes image = build_rom(bare);
  wr16(image, rd32(image, 0x40) + 6, 0);  // no directories
  fix_header_crc(image);
  EXPECT_TRUE(says(expect_kept(image, "broken-fnt"), "no FAT entry needs a name"));
}

TEST_F(OddImages, NamesThatDifferOnlyInCaseOrAppearTwice) {
  MiniRom desc;
  desc.files = {{"Root.bin", noise(9, 1)},  {"root.bin", noise(9, 2)},  {"File010", noise(9, 3)},
                {"file010", noise(9, 4)},   {"Zz", noise(9, 5)},        {"zZ", noise(9, 6)},
                {"ZZ", noise(9, 7)},        {"same", noise(9, 8)},      {"same", noise(9, 9)},
                {"\xC3\x84", noise(9, 10)}, {"\xC3\xA4", noise(9, 11)}, {"Dir/x", noise(9, 12)},
                {"dir/y", noise(9, 13)},    {"end.", noise(9, 14)},     {"end", noise(9, 15)}};
  expect_kept(build_rom(desc), "case");
  std::vector<std::string> files = data_files("case");
  EXPECT_EQ(files.size(), desc.files.size());
#ifndef _WIN32
  // Nothing merges on Linux: names stay as they are.
  for (const char* n : {"Root.bin", "root.bin", "file010", "zZ", "ZZ", "\xC3\xA4"})
    EXPECT_NE(std::find(files.begin(), files.end(), n), files.end()) << n;
#endif
}

TEST_F(OddImages, FatEntriesThatCannotBeReadOrOverlap) {
  MiniRom desc;
  desc.files = {{"a", noise(0x100, 1)}, {"b", noise(0x100, 2)}};
  desc.unnamed = 4;
  Bytes image = build_rom(desc);
  const std::uint32_t fat = rd32(image, 0x48), n = rd32(image, 0x4C) / 8;
  auto entry = [&](std::uint32_t id, std::uint32_t start, std::uint32_t end) {
    wr32(image, fat + id * 8, start), wr32(image, fat + id * 8 + 4, end);
  };
  const std::uint32_t a = rd32(image, fat), size = static_cast<std::uint32_t>(image.size());
  entry(n - 4, a + 0x40, a + 0x10);                               // ends before it starts
  entry(n - 3, size - 0x10, size + 0x300);                        // reaches past the end
  entry(n - 2, rd32(image, 0x20) + 8, rd32(image, 0x20) + 0x48);  // inside the ARM9
  entry(n - 1, a + 0x80, a + 0x180);                              // half of "a", half of "b"'s gap
  entry(1, a, a + 0x100);                                         // "b" names "a"'s bytes too
  fix_header_crc(image);
  EXPECT_TRUE(
      says(expect_kept(image, "fat"), "2 entries end before they start or lie past the end"));
}

TEST_F(OddImages, OverlayTablesOfAnyShape) {
  MiniRom desc;
  desc.arm9_overlays = 2;
  desc.arm7_overlays = 1;
  desc.files = {{"a", noise(0x40, 1)}};
  Bytes image = build_rom(desc);
  const std::uint32_t ovt9 = rd32(image, 0x50), ovt7 = rd32(image, 0x58);
  wr32(image, ovt9 + 32 + 0x18, 0x9999);  // beyond the FAT
  wr32(image, ovt7 + 0x18, 0);            // the ARM9 table's file too
  wr32(image, 0x5C, 0x30);                // not whole entries
  fix_header_crc(image);
  std::string out = expect_kept(image, "overlays");
  EXPECT_TRUE(says(out, "lies beyond the FAT")) << out;
  EXPECT_TRUE(says(out, "not a multiple of 32")) << out;
}

TEST_F(OddImages, BannersPastTheEndOrOfUnknownVersion) {
  MiniRom desc;
  Bytes image = build_rom(desc);
  wr16(image, rd32(image, 0x68), 0x0042);
  fix_header_crc(image);
  EXPECT_TRUE(says(expect_kept(image, "version"), "banner: unknown version 0x42"));
  image = build_rom(desc);
  image.resize(rd32(image, 0x68) + 0x100);
  fix_header_crc(image);
  EXPECT_TRUE(says(expect_kept(image, "banner-cut"), "banner: 0x840 bytes at"));
}

// The FNT starts inside the banner's tail: both keep the bytes they share.
TEST_F(OddImages, ItemsThatOverlapShareTheirBytes) {
  MiniRom desc;
  desc.files = {{"a", noise(0x100, 1)}};
  Bytes image = build_rom(desc);
  const std::uint32_t fnt = rd32(image, 0x40), size = rd32(image, 0x44);
  const std::uint32_t moved = rd32(image, 0x68) + 0x840 - size + 4;
  std::copy_n(image.begin() + fnt, size, image.begin() + moved);
  wr32(image, 0x40, moved);
  fix_header_crc(image);
  EXPECT_TRUE(says(expect_kept(image, "overlap"), "overlap each other"));
}

// An ARM7 inside the ARM9: a new ARM7 cannot take its place without harming
// the ARM9, so it gets a place of its own; the same ARM7 changes nothing.
TEST_F(OddImages, AnArm7InsideTheArm9IsReplacedBesideIt) {
  MiniRom desc;
  desc.files = {{"a", noise(0x100, 1)}};
  Bytes image = build_rom(desc);
  const std::uint32_t arm9 = rd32(image, 0x20), arm9_size = rd32(image, 0x2C);
  wr32(image, 0x30, arm9 + 0x100), wr32(image, 0x3C, 0x200);
  fix_header_crc(image);
  write_bytes(dir_ / "rom.nds", image);
  ASSERT_EQ(unpack(dir_ / "rom.nds", dir_ / "w").status, 0);
  ASSERT_EQ(rebuild(dir_ / "rom.nds", dir_ / "w").status, 0);
  EXPECT_TRUE(read_bytes(dir_ / "rom.nds") == image) << "the same ARM7 changes nothing";

  const Bytes arm7 = arm7_noise(0x300, 5);
  write_bytes(dir_ / "arm7.bin", arm7);
  RunResult r = rebuild(dir_ / "rom.nds", dir_ / "w", u8(dir_ / "arm7.bin"));
  ASSERT_EQ(r.status, 0) << r.err;
  Bytes out = read_bytes(dir_ / "rom.nds");
  EXPECT_GE(rd32(out, 0x30), arm9 + arm9_size) << "the new ARM7 lies outside the ARM9";
  EXPECT_TRUE(std::equal(image.begin() + arm9, image.begin() + arm9 + arm9_size,
                         out.begin() + rd32(out, 0x20)))
      << "the ARM9 is whole";
  ASSERT_EQ(unpack(dir_ / "rom.nds", dir_ / "w2").status, 0);
  EXPECT_TRUE(read_bytes(dir_ / "w2" / "arm7.bin") == arm7);
  for (const char* part : {"arm9.bin", "banner.bin", "data", "overlay"})
    EXPECT_TRUE(tree(dir_ / "w" / part) == tree(dir_ / "w2" / part)) << part;
  expect_round_trip(out, "swapped");
}

// A FAT cut by the end of the file keeps entries nothing can update: a new
// ARM7 that fits is taken, one that would move the items is refused and the
// image left as it was (a compact image would drop what the layout keeps).
TEST_F(OddImages, AFatCutByTheEndOfTheFileMovesNothing) {
  MiniRom desc;
  desc.banner = false;
  desc.files = {{"a", noise(0x100, 1)}, {"b", noise(0x80, 2)}};
  Bytes image = build_rom(desc);
  ASSERT_GT(rd32(image, 0x48), arm7_end(image)) << "the FAT follows the ARM7";
  image.resize(rd32(image, 0x48) + 12);
  fix_header_crc(image);
  write_bytes(dir_ / "rom.nds", image);
  ASSERT_EQ(unpack(dir_ / "rom.nds", dir_ / "w").status, 0);
  ASSERT_EQ(rebuild(dir_ / "rom.nds", dir_ / "w").status, 0);
  EXPECT_TRUE(read_bytes(dir_ / "rom.nds") == image);

  write_bytes(dir_ / "arm7.bin", arm7_noise(rd32(image, 0x3C) + 0x400, 5));
  RunResult r = rebuild(dir_ / "rom.nds", dir_ / "w", u8(dir_ / "arm7.bin"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.failure, nds::ErrorKind::CannotKeep) << r.err;
  EXPECT_TRUE(read_bytes(dir_ / "rom.nds") == image) << "left as it was";

  const Bytes smaller = arm7_noise(rd32(image, 0x3C) / 2 & ~3U, 6);
  write_bytes(dir_ / "arm7.bin", smaller);
  r = rebuild(dir_ / "rom.nds", dir_ / "w", u8(dir_ / "arm7.bin"));
  ASSERT_EQ(r.status, 0) << r.err;
  const Bytes out = read_bytes(dir_ / "rom.nds");
  EXPECT_EQ(rd32(out, 0x3C), smaller.size());
  EXPECT_EQ(rd32(out, 0x48), rd32(image, 0x48)) << "nothing moved";
}

TEST_F(OddImages, FilesThatAreNoDsImagesAreRefusedAsSuch) {
  Bytes good = build_rom({});
  Bytes prefixed(0x200, 0x11);
  prefixed.insert(prefixed.end(), good.begin(), good.end());
  Bytes zero(0x8000, 0);
  std::string text = "This is not a ROM image at all, just some text.\n";
  Bytes words;
  while (words.size() < 0x1000) words.insert(words.end(), text.begin(), text.end());
  const std::pair<const char*, Bytes> cases[] = {
      {"prefixed", prefixed}, {"all-zero", zero}, {"text", words}, {"tiny", Bytes(0x100, 0)}};
  for (const auto& [name, bytes] : cases) {
    write_bytes(dir_ / (std::string(name) + ".nds"), bytes);
    RunResult r = unpack(dir_ / (std::string(name) + ".nds"), dir_ / name);
    EXPECT_EQ(r.status, 1) << name;
    EXPECT_EQ(r.failure, nds::ErrorKind::NotDsImage) << name << ": " << r.err;
    EXPECT_TRUE(fs::is_empty(dir_ / name)) << name;
  }
}

}  // namespace
}  // namespace ndstest
