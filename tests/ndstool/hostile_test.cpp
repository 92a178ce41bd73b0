// Crafted images that try to escape the output folder, loop, or make the
// reader allocate or read without bound: each is refused before anything
// is written. Crafted images that a DS still boots are kept exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "nds/io/error.h"
#include "nds/unpack/image_model.h"
#include "tool_fixture.h"

namespace ndstest {
namespace {

// Root: "aa_bb" (file 0), "dd" (dir F001) holding "xx" (file 1) and
// "ee" (dir F002) holding "ff" (file 2).
Bytes base_image() {
  MiniRom desc;
  desc.files = {{"aa_bb", noise(0x40, 1)}, {"dd/xx", noise(0x40, 2)}, {"dd/ee/ff", noise(0x40, 3)}};
  desc.arm9_overlays = 1;
  return build_rom(desc);
}

std::size_t fnt_at(const Bytes& b) {
  return rd32(b, 0x40);
}

// Replaces the first occurrence of what inside the FNT.
void patch_fnt(Bytes& b, const std::string& what, const std::string& with) {
  auto begin = b.begin() + static_cast<std::ptrdiff_t>(fnt_at(b));
  auto end = begin + rd32(b, 0x44);
  auto it = std::search(begin, end, what.begin(), what.end());
  ASSERT_NE(it, end) << what;
  std::copy(with.begin(), with.end(), it);
}

// The sub-directory ID stored after the name "ee" (directory F002).
std::size_t ee_id_at(const Bytes& b) {
  const Bytes ee = {0x82, 'e', 'e'};
  auto begin = b.begin() + static_cast<std::ptrdiff_t>(fnt_at(b));
  auto it = std::search(begin, b.end(), ee.begin(), ee.end());
  if (it == b.end()) throw std::logic_error("no directory \"ee\" in the FNT");
  return static_cast<std::size_t>(it - b.begin()) + 3;
}

struct Case {
  const char* name;
  std::function<void(Bytes&)> edit;
  nds::ErrorKind refusal = nds::ErrorKind::UnsafeImage;
};

constexpr nds::ErrorKind kNotDs = nds::ErrorKind::NotDsImage;

const Case kCases[] = {
    {"dotdot", [](Bytes& b) { patch_fnt(b, "\x02xx", "\x02.."); }},
    {"dot",
     [](Bytes& b) {
       patch_fnt(b,
                 "\x02"
                 "ff",
                 std::string("\x01.\x00", 3));
     }},
    {"slash", [](Bytes& b) { patch_fnt(b, "aa_bb", "aa/bb"); }},
    {"drive", [](Bytes& b) { patch_fnt(b, "aa_bb", "C:_bb"); }},
    {"device", [](Bytes& b) { patch_fnt(b, "aa_bb", "CON.b"); }},
    {"nul-byte", [](Bytes& b) { patch_fnt(b, "aa_bb", std::string("aa\0bb", 5)); }},
    {"dir-loop", [](Bytes& b) { wr16(b, ee_id_at(b), 0xF001); }},
    {"dir-root", [](Bytes& b) { wr16(b, ee_id_at(b), 0xF000); }},
    {"dir-out-of-range", [](Bytes& b) { wr16(b, ee_id_at(b), 0xFFFF); }},
    {"dir-count-huge", [](Bytes& b) { wr16(b, fnt_at(b) + 6, 0xFFFF); }},
    {"subtable-beyond-fnt", [](Bytes& b) { wr32(b, fnt_at(b) + 8, 0x7FFFFFFF); }},
    {"fnt-unterminated", [](Bytes& b) { wr32(b, 0x44, rd32(b, 0x44) - 1); }},
    {"fnt-size-huge", [](Bytes& b) { wr32(b, 0x44, 0xFFFFFFFF); }},
    {"fat-size-huge", [](Bytes& b) { wr32(b, 0x4C, 0xFFFFFFF8); }},
    {"file-id-beyond-fat", [](Bytes& b) { wr16(b, fnt_at(b) + 4, 0x7000); }},
    {"arm9-beyond-image", [](Bytes& b) { wr32(b, 0x2C, 0xFFFFFFF0); }, kNotDs},
    {"arm7-offset-huge", [](Bytes& b) { wr32(b, 0x30, 0xFFFFFFFF); }, kNotDs},
    {"overlay-table-huge", [](Bytes& b) { wr32(b, 0x54, 0xFFFFFFE0); }},
    {"truncated-header", [](Bytes& b) { b.resize(0x100); }, kNotDs},
};

// Edits that once were refused too, but leave an image a DS boots and that
// is kept exactly: tables past the end of the file or not read, FAT ranges
// that cannot be read, overlapping items, odd overlay tables.
const Case kKeptCases[] = {
    {"fnt-beyond-image", [](Bytes& b) { wr32(b, 0x40, 0xFFFFFF00); }},
    {"fat-entry-beyond-image", [](Bytes& b) { wr32(b, rd32(b, 0x48) + 12, 0x7FFFFFFF); }},
    {"fat-entry-reversed",
     [](Bytes& b) { wr32(b, rd32(b, 0x48) + 8, rd32(b, rd32(b, 0x48) + 12) + 1); }},
    {"arm7-overlaps-arm9", [](Bytes& b) { wr32(b, 0x30, rd32(b, 0x20) + 4); }},
    {"overlay-table-ragged", [](Bytes& b) { wr32(b, 0x54, 31); }},
    {"overlay-file-id-beyond-fat", [](Bytes& b) { wr32(b, rd32(b, 0x50) + 0x18, 0xFFFFFFFF); }},
    {"overlay-is-a-named-file", [](Bytes& b) { wr32(b, rd32(b, 0x50) + 0x18, 1); }},
    {"banner-beyond-image", [](Bytes& b) { wr32(b, 0x68, 0xFFFFFFFE); }},
};

class Hostile : public ToolTest {};

TEST_F(Hostile, RefusedWithNothingWritten) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Bytes image = base_image();
    c.edit(image);
    if (HasFatalFailure()) return;
    if (image.size() >= 0x160) fix_header_crc(image);
    fs::path box = dir_ / c.name, work = box / "out";
    fs::create_directories(work);
    write_bytes(box / "rom.nds", image);
    RunResult r = unpack(box / "rom.nds", work);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.failure, c.refusal) << r.err;
    EXPECT_TRUE(fs::is_empty(work)) << "something was written";
  }
  // Nothing appeared beside the cases either (a traversal would land here).
  std::size_t entries = 0;
  for (const auto& e : fs::directory_iterator(dir_)) {
    EXPECT_TRUE(e.is_directory()) << u8(e.path());
    ++entries;
  }
  EXPECT_EQ(entries, std::size(kCases));
}

TEST_F(Hostile, EditsADsStillBootsAreKeptExactly) {
  for (const Case& c : kKeptCases) {
    Bytes image = base_image();
    c.edit(image);
    fix_header_crc(image);
    expect_round_trip(image, c.name);
  }
}

TEST_F(Hostile, BaseImageIsAccepted) {
  // The corpus above means something only if its starting point unpacks.
  write_bytes(dir_ / "rom.nds", base_image());
  RunResult r = unpack(dir_ / "rom.nds", dir_ / "out");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::exists(dir_ / "out" / "data" / "dd" / "ee" / "ff"));
}

// The reader on bytes in memory, as a fuzzer drives it: every truncation
// and many single-byte corruptions of the tables end in a clean refusal or
// a valid model, never a crash or an unbounded read.
TEST(HostileReader, TruncatedAndCorruptedImagesInMemory) {
  MiniRom desc;
  desc.dsi = true;
  desc.arm9_overlays = 2;
  desc.files = {{"a/b/c", noise(0x30, 1)}, {"a/d", noise(0x30, 2)}, {"e", {}}};
  const Bytes image = build_rom(desc);
  auto analyse = [](const Bytes& b) {
    try {
      nds::MemorySource src(b);
      nds::ImageModel m = nds::analyse_image(src);
      for (const nds::Item& it : m.items) EXPECT_LE(it.offset + it.length, b.size());
    } catch (const nds::Error&) {
    }
  };
  for (std::size_t n = 0; n <= image.size(); n += 0x40)
    analyse(Bytes(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(n)));
  const std::size_t hot[] = {0x20, 0x40, rd32(image, 0x40), rd32(image, 0x48), rd32(image, 0x50)};
  std::uint32_t x = 12345;
  for (int i = 0; i < 4000; ++i) {
    Bytes b = image;
    x = x * 1103515245u + 12345u;
    std::size_t at = hot[(x >> 8) % std::size(hot)] + ((x >> 12) % 0x80);
    b[at] = static_cast<std::uint8_t>(x >> 24);
    analyse(b);
  }
}

// As many files as file IDs exist, all of one name in one folder: each gets
// a name of its own, and that work grows no faster than the folder.
TEST(HostileReader, AFolderOfEqualNamesStaysLinear) {
  Bytes image = build_rom({});
  const std::uint32_t files = 0xF000;
  Bytes fnt = {8, 0, 0, 0, 0, 0, 1, 0};
  for (std::uint32_t i = 0; i < files; ++i) fnt.insert(fnt.end(), {0x01, 'a'});
  fnt.push_back(0);
  const auto fnt_at = static_cast<std::uint32_t>(image.size());
  image.insert(image.end(), fnt.begin(), fnt.end());
  const auto fat_at = static_cast<std::uint32_t>(image.size());
  image.resize(image.size() + std::size_t{files} * 8, 0);  // empty files at (0, 0)
  wr32(image, 0x40, fnt_at), wr32(image, 0x44, static_cast<std::uint32_t>(fnt.size()));
  wr32(image, 0x48, fat_at), wr32(image, 0x4C, files * 8);
  nds::MemorySource src(image);
  nds::ImageModel m = nds::analyse_image(src);
  ASSERT_EQ(m.tree.files.size(), files);
  EXPECT_EQ(m.tree.files.back().path, "a%~" + std::to_string(files - 1));  // after "a", "%61"
}

}  // namespace
}  // namespace ndstest
