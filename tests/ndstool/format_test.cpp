// Format pieces whose faults a round trip would not show: the CRC, the
// reversible name mapping, and the layout file read as hostile input.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "nds/format/crc16.h"
#include "nds/format/crcs.h"
#include "nds/format/disk_names.h"
#include "nds/io/error.h"
#include "nds/layout/layout.h"
#include "nds/format/names.h"

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
    for (nds::Escape e : {nds::Escape::Plain, nds::Escape::Capitals, nds::Escape::Letters}) {
      for (std::string disk : {nds::disk_name(bytes(r), e), nds::disk_name(bytes(r), e) + "%~12"}) {
        EXPECT_EQ(disk.find_first_of("/\\:*?\"<>|"), std::string::npos) << disk;
        EXPECT_NE(disk.back(), '.');
        EXPECT_NE(disk.back(), ' ');
        auto back = nds::raw_name(disk);
        EXPECT_EQ(std::string(back.begin(), back.end()), r) << disk;
      }
    }
  }
  // Every letter escaped: nothing left for a case-insensitive system to fold.
  EXPECT_EQ(nds::disk_name(bytes("Ab\xC3\xA4.1"), nds::Escape::Letters), "%41%62%C3%A4.1");
}

// Names one directory holds twice, or that this system's file systems take
// for the same: each gets a name of its own that still unescapes to its bytes.
TEST(Names, NamesThatWouldMergeGetNamesOfTheirOwn) {
  const std::string raw[] = {"Zz", "zZ",       "ZZ",       "File010", "file010", "a", "a",
                             "a",  "\xC3\x84", "\xC3\xA4", "x%~2",    "x",       "x"};
  nds::DirNames dir;
  std::set<std::string> keys, disks;
  for (const std::string& r : raw) {
    std::string disk = dir.add(bytes(r));
    ASSERT_FALSE(disk.empty()) << r;
    EXPECT_TRUE(keys.insert(nds::merge_key(disk)).second) << disk;
    EXPECT_TRUE(disks.insert(disk).second) << disk;
    auto back = nds::raw_name(disk);
    EXPECT_EQ(std::string(back.begin(), back.end()), r) << disk;
  }
#ifdef _WIN32
  const std::string upper = "\xC3\x84", lower = "\xC3\xA4";  // A and a with diaeresis
  EXPECT_EQ(nds::merge_key(upper + "b"), nds::merge_key(lower + "B")) << "case beyond ASCII";
#else
  nds::DirNames linux_dir;
  EXPECT_EQ(linux_dir.add(bytes("Root.bin")), "Root.bin");
  EXPECT_EQ(linux_dir.add(bytes("root.bin")), "root.bin") << "nothing merges on Linux";
#endif
}

TEST(Names, NamesThatCouldEscapeAreRefused) {
  const std::string refused[] = {
      "",        ".",   "..",   "a/b",      "/",      std::string("a\0b", 3), "C:x", "c:", "CON",
      "con.txt", "Nul", "COM1", "lpt9.log", "AUX .x", std::string(128, 'a')};
  for (const std::string& r : refused) EXPECT_NE(nds::name_problem(bytes(r)), "") << r;
  EXPECT_EQ(nds::name_problem(bytes("COM10")), "");
  EXPECT_EQ(nds::name_problem(bytes("console")), "");
}

// Which CRC a rebuild rewrites: one that was right follows its bytes; a
// wrong one is kept unless its header bytes changed (never the secure
// area's, which is usually that of the encrypted area); without an earlier
// value, header and logo CRCs are computed and the secure area's only where
// its field is in use.
TEST(CrcPolicy, RightOnesFollowWrongOnesStayUnlessTheirBytesChanged) {
  using nds::Crc;
  using nds::CrcField;
  const Crc right{true, 0x1111, 0x1111}, wrong{true, 0x2222, 0x1111}, unknown{};
  const Crc same_bytes{true, 0x2222, 0x1111}, new_bytes{true, 0x2222, 0x3333};
  const Crc unused_field{true, 0x0000, 0x3333};
  for (CrcField field : {CrcField::Header, CrcField::Logo, CrcField::SecureArea}) {
    SCOPED_TRACE(static_cast<int>(field));
    EXPECT_TRUE(nds::crc_follows(field, right, same_bytes));
    EXPECT_TRUE(nds::crc_follows(field, right, new_bytes));
    EXPECT_FALSE(nds::crc_follows(field, wrong, same_bytes));
    EXPECT_TRUE(nds::crc_follows(field, unknown, new_bytes));
  }
  EXPECT_TRUE(nds::crc_follows(CrcField::Header, wrong, new_bytes));
  EXPECT_TRUE(nds::crc_follows(CrcField::Logo, wrong, new_bytes));
  EXPECT_FALSE(nds::crc_follows(CrcField::SecureArea, wrong, new_bytes));
  EXPECT_TRUE(nds::crc_follows(CrcField::Header, unknown, unused_field));
  EXPECT_FALSE(nds::crc_follows(CrcField::SecureArea, unknown, unused_field));
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
  for (const std::string& t : bad) {
    try {
      nds::parse_layout(t);
      ADD_FAILURE() << "accepted: " << t;
    } catch (const nds::Error& e) {
      EXPECT_EQ(e.kind(), nds::ErrorKind::BadLayout) << e.what();
    }
  }
}

}  // namespace
