// The swap judge itself, without ndstool: the generator lays an image out again
// with a larger ARM7, which is exactly what a correct swap produces, and small
// corruptions of that image must each be caught.
#include <gtest/gtest.h>

#include <algorithm>

#include "nds_image_builder.h"
#include "rom_reader.h"
#include "swap_check.h"

namespace voderer::testgen {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Pair {
  GeneratedImage before, after;
  Bytes arm7;  // the ARM7 in `after`
};

Pair relaid(ImageOptions o, std::uint32_t new_arm7_size) {
  Pair p;
  p.before = build_image(o);
  o.arm7_size = new_arm7_size;
  p.after = build_image(o);
  const std::uint32_t at = p.after.desc.arm7_offset;
  p.arm7.assign(p.after.bytes.begin() + at, p.after.bytes.begin() + at + new_arm7_size);
  return p;
}

void put32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int k = 0; k < 4; ++k)
    b[at + static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(v >> (8 * k));
}

void fix_header_crc(Bytes& b) {
  const std::uint16_t crc = crc16({b.data(), 0x15E});
  b[0x15E] = static_cast<std::uint8_t>(crc);
  b[0x15F] = static_cast<std::uint8_t>(crc >> 8);
}

std::string joined(const std::vector<std::string>& faults) {
  std::string s;
  for (const std::string& f : faults) s += f + "\n";
  return s;
}

class SwapJudge : public ::testing::TestWithParam<Variant> {};

TEST_P(SwapJudge, AcceptsCorrectSwapsBothWays) {
  const ImageOptions& o = GetParam().options;
  const GeneratedImage g = build_image(o);
  const std::uint32_t room = next_item_after_arm7(g.bytes) - g.desc.arm7_offset;
  {
    const Pair p = relaid(o, room);
    const SwapVerdict v = check_swap(p.before.bytes, p.after.bytes, p.arm7);
    EXPECT_FALSE(v.moved);
    EXPECT_TRUE(v.faults.empty()) << joined(v.faults);
  }
  {
    const Pair p = relaid(o, room + 0x234);
    const SwapVerdict v = check_swap(p.before.bytes, p.after.bytes, p.arm7);
    EXPECT_TRUE(v.moved);
    EXPECT_EQ(v.delta % o.alignment, 0U);
    EXPECT_TRUE(v.faults.empty()) << joined(v.faults);
  }
}

TEST_P(SwapJudge, CatchesWhatABrokenRebuildWouldDo) {
  const ImageOptions& o = GetParam().options;
  const GeneratedImage g = build_image(o);
  const std::uint32_t room = next_item_after_arm7(g.bytes) - g.desc.arm7_offset;
  const Pair p = relaid(o, room + 0x234);
  const ImageDescription& d = p.after.desc;
  auto caught = [&](const char* what, Bytes bad) {
    fix_header_crc(bad);
    EXPECT_FALSE(check_swap(p.before.bytes, bad, p.arm7).faults.empty()) << what;
  };
  auto named = [&](std::size_t k) -> const FileInfo& {
    for (const FileInfo& f : d.files) {
      if (f.kind == FileKind::named && f.size > 0 && k-- == 0) return f;
    }
    return d.files.back();
  };

  Bytes bad = p.after.bytes;
  bad[named(3).offset] ^= 1;
  caught("a byte of a moved file", bad);

  bad = p.after.bytes;
  put32(bad, d.fat_offset + 8U * named(5).id, named(5).offset + 0x200);
  caught("a FAT entry that did not follow its file", bad);

  bad = p.after.bytes;
  put32(bad, 0x68, d.banner_offset - 0x200);
  caught("a banner offset left behind", bad);

  bad = p.after.bytes;
  bad[0x1E] ^= 0x01;
  caught("a changed ROM version", bad);

  bad = p.after.bytes;
  bad[d.fnt_offset + d.fnt_size - 2] ^= 0x20;
  caught("a changed FNT byte", bad);

  bad = p.after.bytes;
  bad[d.arm9_offset + 0x10] ^= 0xFF;
  caught("a changed ARM9 byte", bad);

  bad = p.after.bytes;
  bad.resize(bad.size() - 0x200);
  caught("a truncated image", bad);

  if (o.dsi) {
    bad = p.after.bytes;
    put32(bad, 0x1D0, d.arm7i_offset - 0x200);
    caught("an ARM7i offset left behind", bad);
  }

  Bytes header_crc = p.after.bytes;
  header_crc[0x15E] ^= 1;
  EXPECT_FALSE(check_swap(p.before.bytes, header_crc, p.arm7).faults.empty())
      << "a stale header CRC";
}

TEST(SwapJudgeAlignment, RefusesAShiftThatIsNotAligned) {
  ImageOptions o;
  o.alignment = 4;
  const GeneratedImage g = build_image(o);
  const std::uint32_t room = next_item_after_arm7(g.bytes) - g.desc.arm7_offset;
  const Pair p = relaid(o, room + 0x24);
  const SwapVerdict v = check_swap(p.before.bytes, p.after.bytes, p.arm7);
  EXPECT_TRUE(v.moved);
  EXPECT_FALSE(v.faults.empty());
}

INSTANTIATE_TEST_SUITE_P(Variants, SwapJudge, ::testing::ValuesIn(standard_variants()),
                         [](const auto& param_info) {
                           std::string n = param_info.param.name;
                           std::replace(n.begin(), n.end(), '-', '_');
                           return n;
                         });

}  // namespace
}  // namespace voderer::testgen
