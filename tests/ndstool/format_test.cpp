// Format pieces whose faults a round trip would not show: the CRC, the
// reversible name mapping, and the layout file read as hostile input.
#include <gtest/gtest.h>

#include <string>

#include "crc16.h"
#include "error.h"
#include "layout.h"
#include "names.h"

namespace {

std::span<const std::uint8_t> bytes(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

TEST(Crc16, CheckValue) {
  EXPECT_EQ(nds::crc16(bytes("123456789")), 0x4B37);
}

TEST(Names, EveryAcceptedNameMapsBackToItsBytes) {
  const std::string raw[] = {"plain.bin",
                             "\x83\x65\x83\x58\x83\x67",
                             "\x95\x5C\x8E\xA6.txt",
                             "..\\x",
                             "\xED\x95\x9C",
                             "ab:c",
                             "q?*<>|\"",
                             "100%",
                             "%41",
                             "end.",
                             "end ",
                             "\x01\x7F",
                             "MiXeD",
                             ".hidden",
                             "...x"};
  for (const std::string& r : raw) {
    ASSERT_EQ(nds::name_problem(bytes(r)), "") << r;
    for (bool capitals : {false, true}) {
      std::string disk = nds::disk_name(bytes(r), capitals);
      EXPECT_EQ(disk.find_first_of("/\\:*?\"<>|"), std::string::npos) << disk;
      EXPECT_NE(disk.back(), '.');
      EXPECT_NE(disk.back(), ' ');
      auto back = nds::raw_name(disk);
      EXPECT_EQ(std::string(back.begin(), back.end()), r) << disk;
    }
  }
  // Escaped capitals keep names apart on case-insensitive file systems.
  EXPECT_NE(nds::fold_case(nds::disk_name(bytes("README"), true)), nds::fold_case("readme"));
}

TEST(Names, NamesThatCouldEscapeAreRefused) {
  const std::string refused[] = {
      "",        ".",   "..",   "a/b",      "/",      std::string("a\0b", 3), "C:x", "c:", "CON",
      "con.txt", "Nul", "COM1", "lpt9.log", "AUX .x", std::string(128, 'a')};
  for (const std::string& r : refused) EXPECT_NE(nds::name_problem(bytes(r)), "") << r;
  EXPECT_EQ(nds::name_problem(bytes("COM10")), "");
  EXPECT_EQ(nds::name_problem(bytes("console")), "");
}

const char kGoodLayout[] =
    "voderer-ndstool-layout 1\nimage 0x400\nheader-part 0x200\npad 0x0\narm9-footer 0\nfat-count "
    "0x0\n"
    "crc header 0x1 0x1\ncrc logo 0x2 0x2\ncrc secure none\nextra 0x10 0x5\n"
    "region header 0x0 0x200\nregion arm9 0x200 0x100\nregion arm7 0x300 0x80\nregion fnt 0x380 "
    "0x8 raw 0x0\n"
    "region fill 0x388 0x78 fill 0x0\npointer fat 0x400 0x400\nend\n";

TEST(Layout, WrittenTextReadsBackAndHostileEditsAreRefused) {
  nds::Layout l = nds::parse_layout(kGoodLayout);
  EXPECT_EQ(nds::layout_text(l), kGoodLayout);
  auto edited = [](const std::string& from, const std::string& to) {
    std::string t = kGoodLayout;
    t.replace(t.find(from), from.size(), to);
    return t;
  };
  const std::string bad[] = {
      edited("region arm7 0x300", "region arm7 0x301"),  // not contiguous
      edited("fill 0x388 0x78", "fill 0x388 0x79"),      // beyond the image
      edited("raw 0x0", "raw 0xC"),                      // beyond the extra file
      edited("region arm7", "region arm9"),              // an item twice
      edited("pointer fat 0x400 0x400\n", ""),           // no FAT
      edited("fat-count 0x0", "fat-count 0x1"),          // FAT entry missing
      edited("image 0x400", "image 0x10000000000"),      // out of range
      edited("end\n", "end"),                            // unterminated
      edited("end\n", "end\nregion fill 0x400 0x1 fill 0x0\n"),
      edited("0x200 0x100", "0x200  0x100"),
      std::string(kGoodLayout).substr(0, 60),
  };
  for (const std::string& t : bad) EXPECT_THROW(nds::parse_layout(t), nds::Error) << t;
}

}  // namespace
