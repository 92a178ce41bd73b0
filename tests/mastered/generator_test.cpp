// Self-checks of the image generator, without ndstool: the images must carry
// what mastering tools produce, or the round-trip and swap tests prove nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string_view>

#include "nds_image_builder.h"
#include "rom_reader.h"
#include "test_env.h"

namespace voderer::testgen {
namespace {

class Generated : public ::testing::TestWithParam<Variant> {};

TEST(Crc16, CheckValue) {
  const std::string_view s = "123456789";
  EXPECT_EQ(crc16({reinterpret_cast<const std::uint8_t*>(s.data()), s.size()}), 0x4B37);
}

TEST_P(Generated, CrcsMatchTheirBytes) {
  const GeneratedImage g = build_image(GetParam().options);
  const RomImage r = read_rom(g.bytes);
  const std::span<const std::uint8_t> b(g.bytes);
  EXPECT_TRUE(r.header_crc_ok());
  EXPECT_EQ(r.u16(0x15C), crc16(b.subspan(0xC0, 156)));
  EXPECT_EQ(r.u16(0x6C), crc16(b.subspan(0x4000, 0x4000)));
  const std::uint32_t bn = r.u32(0x68);
  EXPECT_EQ(r.u16(bn + 2), crc16(b.subspan(bn + 0x20, 0x820)));
  EXPECT_EQ(r.u16(bn + 4), crc16(b.subspan(bn + 0x20, 0x920)));
  if (GetParam().options.dsi) {
    EXPECT_EQ(r.u16(bn), 0x0103);
    EXPECT_EQ(r.u32(0x208), 0x23C0U);
    EXPECT_EQ(r.u16(bn + 6), crc16(b.subspan(bn + 0x20, 0xA20)));
    EXPECT_EQ(r.u16(bn + 8), crc16(b.subspan(bn + 0x1240, 0x1180)));
  }
}

TEST_P(Generated, HeaderAndTablesAgreeWithTheDescription) {
  const ImageOptions& o = GetParam().options;
  const GeneratedImage g = build_image(o);
  const ImageDescription& d = g.desc;
  const RomImage r = read_rom(g.bytes);
  EXPECT_EQ(g.bytes.size(), d.file_size);
  EXPECT_EQ(r.u32(0x20), d.arm9_offset);
  EXPECT_EQ(r.u32(0x2C), d.arm9_size);
  EXPECT_EQ(r.u32(0x30), d.arm7_offset);
  EXPECT_EQ(r.u32(0x3C), d.arm7_size);
  EXPECT_EQ(r.u32(0x80), d.used_size);
  EXPECT_EQ(r.u32(0x84), 0x4000U);
  EXPECT_EQ(g.bytes[0x1E], o.rom_version);
  EXPECT_NE(g.bytes[0x1E], 0);
  EXPECT_EQ(g.bytes[0x12], o.dsi ? 2 : 0);

  ASSERT_EQ(r.fat.size(), d.files.size());
  for (const FileInfo& f : d.files) {
    SCOPED_TRACE("file " + std::to_string(f.id));
    EXPECT_EQ(r.fat[f.id].start, f.offset);
    EXPECT_EQ(r.fat[f.id].end, f.offset + f.size);
    const auto name = r.names.find(f.id);
    if (f.kind == FileKind::named) {
      ASSERT_NE(name, r.names.end());
      EXPECT_EQ(name->second, f.path);
    } else {
      EXPECT_EQ(name, r.names.end());
    }
    const std::vector<std::uint8_t> content = file_content(f);
    EXPECT_TRUE(std::equal(content.begin(), content.end(), g.bytes.begin() + f.offset));
  }
  ASSERT_EQ(r.dirs.size(), d.dirs.size());
  for (const DirInfo& di : d.dirs) {
    EXPECT_EQ(r.dirs[di.id - 0xF000U].path, di.path);
    EXPECT_EQ(r.dirs[di.id - 0xF000U].parent, di.parent);
  }

  // Overlay tables point at the overlay files; IDs restart at 0 in the ARM7 table.
  auto table = [&](std::uint32_t off_field, FileKind kind) {
    std::vector<std::uint32_t> ids;
    const std::uint32_t off = r.u32(off_field), size = r.u32(off_field + 4);
    for (std::uint32_t e = 0; e < size; e += 32) {
      const FileInfo& f = d.files.at(r.u32(off + e + 24));
      EXPECT_EQ(f.kind, kind);
      EXPECT_EQ(r.u32(off + e), f.overlay_id);
      ids.push_back(f.overlay_id);
    }
    return ids;
  };
  const auto ids9 = table(0x50, FileKind::arm9_overlay);
  const auto ids7 = table(0x58, FileKind::arm7_overlay);
  EXPECT_EQ(ids9.size(), o.arm9_overlays);
  EXPECT_EQ(ids7.size(), o.arm7_overlays);
  if (!ids7.empty()) {
    EXPECT_EQ(ids7.front(), ids9.front());
  }
}

TEST_P(Generated, LayoutIsThatOfAMasteringTool) {
  const ImageOptions& o = GetParam().options;
  const GeneratedImage g = build_image(o);
  const ImageDescription& d = g.desc;
  const std::vector<std::uint8_t>& b = g.bytes;

  // Secure area, footer, padding between items and up to the chip capacity.
  const bool marker = b[0x4000] == 0xFF && b[0x4001] == 0xDE && b[0x4002] == 0xFF &&
                      b[0x4003] == 0xE7 && b[0x4004] == 0xFF && b[0x4005] == 0xDE &&
                      b[0x4006] == 0xFF && b[0x4007] == 0xE7;
  EXPECT_EQ(marker, !o.encrypted_secure_area);
  const std::uint32_t arm9_end = d.arm9_offset + d.arm9_size;
  EXPECT_EQ(b[arm9_end] == 0x21 && b[arm9_end + 1] == 0x06 && b[arm9_end + 2] == 0xC0 &&
                b[arm9_end + 3] == 0xDE,
            o.arm9_footer);
  std::uint64_t pos = 0;
  for (const Item& it : d.items) {
    SCOPED_TRACE(it.name);
    ASSERT_GE(it.offset, pos);
    // The footer follows the ARM9 and the RSA block the last file, wherever they end.
    if (it.name != "arm9 footer" && it.name != "rsa") {
      EXPECT_EQ(it.offset % o.alignment, 0U);
    }
    EXPECT_TRUE(std::all_of(b.begin() + static_cast<std::ptrdiff_t>(pos), b.begin() + it.offset,
                            [&](std::uint8_t x) { return x == o.pad; }));
    pos = it.offset + it.size;
  }
  EXPECT_TRUE(std::all_of(b.begin() + static_cast<std::ptrdiff_t>(pos), b.end(),
                          [&](std::uint8_t x) { return x == o.pad; }));
  EXPECT_EQ(b.size() == (std::uint64_t{0x20000} << d.capacity), o.fill_to_capacity);
  EXPECT_EQ(d.rsa_offset == d.used_size, o.rsa_block);

  // ARM9 overlays sit between the ARM9 overlay table and the ARM7.
  for (const FileInfo& f : d.files) {
    if (f.kind == FileKind::arm9_overlay) {
      EXPECT_GT(f.offset, d.ovt9_offset);
      EXPECT_LT(f.offset, d.arm7_offset);
    }
  }
  if (o.dsi) {
    const RomImage r = read_rom(b);
    EXPECT_GE(r.u32(0x1C0), d.used_size + 0x88);
    EXPECT_GT(r.u32(0x1D0), r.u32(0x1C0));
    EXPECT_EQ(r.u32(0x210), d.content_end);
  }
}

TEST_P(Generated, FileSystemHasTheHardCases) {
  const ImageOptions& o = GetParam().options;
  const GeneratedImage g = build_image(o);
  const ImageDescription& d = g.desc;
  const RomImage r = read_rom(g.bytes);

  // Stored order differs from file-ID order.
  std::vector<std::uint32_t> offsets;
  for (const FileInfo& f : d.files) {
    if (f.kind == FileKind::named && f.size > 0) offsets.push_back(f.offset);
  }
  EXPECT_FALSE(std::is_sorted(offsets.begin(), offsets.end()));

  // Sub-table names not in byte-wise order, and sub-directory IDs not ascending.
  bool unsorted_names = false, unsorted_dirs = false;
  for (const RomDir& dir : r.dirs) {
    std::vector<std::string> names;
    std::vector<std::uint16_t> subdirs;
    for (const auto& [id, path] : r.names) {
      if (path.rfind(dir.path.empty() ? "" : dir.path + "/", 0) == 0 &&
          path.find('/', dir.path.empty() ? 0 : dir.path.size() + 1) == std::string::npos)
        names.push_back(path);
    }
    for (const RomDir& c : r.dirs) {
      if (c.parent == dir.id && c.id != 0xF000) subdirs.push_back(c.id);
    }
    unsorted_names |= !std::is_sorted(names.begin(), names.end());
    // Children by path order (the sub-table order) against their IDs.
    std::sort(subdirs.begin(), subdirs.end(), [&](std::uint16_t x, std::uint16_t y) {
      return r.dirs[x - 0xF000U].path < r.dirs[y - 0xF000U].path;
    });
    unsorted_dirs |= !std::is_sorted(subdirs.begin(), subdirs.end());
  }
  EXPECT_TRUE(unsorted_names);
  EXPECT_TRUE(unsorted_dirs);

  unsigned depth = 0;
  for (const DirInfo& di : d.dirs) depth = std::max(depth, di.depth);
  EXPECT_GE(depth, 4U);
  const bool sjis = std::any_of(r.names.begin(), r.names.end(), [](const auto& n) {
    return std::any_of(n.second.begin(), n.second.end(),
                       [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
  });
  EXPECT_TRUE(sjis);
  EXPECT_TRUE(
      std::any_of(r.fat.begin(), r.fat.end(), [](const RomFat& f) { return f.start == f.end; }));
  std::set<std::uint16_t> unnamed;
  for (std::size_t id = 0; id < r.fat.size(); ++id) {
    const auto file_id = static_cast<std::uint16_t>(id);
    if (!r.names.contains(file_id) && d.files[id].kind == FileKind::unnamed)
      unnamed.insert(file_id);
  }
  EXPECT_EQ(unnamed.size(), 1U);
}

TEST_P(Generated, StreamedFileEqualsTheImageInMemory) {
  const GeneratedImage g = build_image(GetParam().options);
  TempFolder tmp("voderer-gen");
  const ImageDescription d = write_image(GetParam().options, tmp.path() / "x.nds");
  EXPECT_EQ(read_bytes(tmp.path() / "x.nds"), g.bytes);
  EXPECT_EQ(describe(d), describe(g.desc));
  EXPECT_EQ(build_image(GetParam().options).bytes, g.bytes);
}

INSTANTIATE_TEST_SUITE_P(Variants, Generated, ::testing::ValuesIn(standard_variants()),
                         [](const auto& param_info) {
                           std::string n = param_info.param.name;
                           std::replace(n.begin(), n.end(), '-', '_');
                           return n;
                         });

TEST(GeneratedLarge, ManyFilesInWideTreeStillParse) {
  ImageOptions o;
  o.dir_depth = 3;
  o.dir_fanout = 5;
  o.chain_below = 0;
  o.files_per_dir = 5;
  o.file_size_max = 0x40;
  o.alignment = 4;
  const GeneratedImage g = build_image(o);
  const RomImage r = read_rom(g.bytes);
  EXPECT_EQ(r.dirs.size(), 1U + 5 + 25 + 125);
  EXPECT_GT(r.names.size(), 780U);
  EXPECT_TRUE(r.header_crc_ok());
}

}  // namespace
}  // namespace voderer::testgen
