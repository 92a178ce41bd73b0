// Our ndstool on images laid out by mastering tools and on the sample ROMs, run
// with the patch script's own lines: unpack, rebuild, swap the ARM7. Results are
// judged with the independent reader in rom_reader, never with ndstool's library.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <set>

#include "nds_image_builder.h"
#include "rom_reader.h"
#include "swap_check.h"
#include "test_env.h"

namespace voderer::testgen {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Tree = std::map<std::string, Bytes>;

struct ImageCase {
  std::string name;
  bool sample = false;  // a file in the sample ROM folder, else a generated variant
  ImageOptions options;
};
void PrintTo(const ImageCase& c, std::ostream* os) {
  *os << c.name;
}

std::vector<ImageCase> all_cases() {
  std::vector<ImageCase> cases;
  for (const Variant& v : standard_variants()) cases.push_back({v.name, false, v.options});
  const fs::path roms = sample_rom_dir();
  std::vector<std::string> names;
  if (!roms.empty()) {
    for (const auto& e : fs::directory_iterator(roms)) {
      if (e.path().extension() == ".nds") names.push_back(e.path().stem().string());
    }
  }
  std::sort(names.begin(), names.end());
  // Without the folder one case stays, to say why the sample runs were skipped.
  if (names.empty()) names.push_back("sample-roms");
  for (const std::string& n : names) cases.push_back({n, true, {}});
  return cases;
}

Bytes slice(std::span<const std::uint8_t> b, std::uint64_t at, std::uint64_t n) {
  if (at + n > b.size()) return {};
  return {b.begin() + static_cast<std::ptrdiff_t>(at),
          b.begin() + static_cast<std::ptrdiff_t>(at + n)};
}

// The part at rel, or null when -x did not write it.
const Bytes* find(const Tree& t, const std::string& rel) {
  const auto it = t.find(rel);
  return it == t.end() ? nullptr : &it->second;
}

bool plain_ascii(const std::string& path) {
  return std::all_of(path.begin(), path.end(), [](char c) {
    return c > 0x20 && c < 0x7F && c != '\\' && c != ':' && c != '*' && c != '?' && c != '"' &&
           c != '<' && c != '>' && c != '|';
  });
}

// Every part -x wrote holds what the image holds, read without ndstool.
void expect_parts_match(std::span<const std::uint8_t> image, const Tree& parts) {
  const RomImage r = read_rom(image);
  auto expect_part = [&](const std::string& name, const Bytes& want) {
    const Bytes* got = find(parts, name);
    if (got == nullptr) {
      ADD_FAILURE() << name << " was not written";
    } else {
      EXPECT_TRUE(*got == want) << name << ": " << got->size() << " bytes, expected "
                                << want.size();
    }
  };
  expect_part("header.bin", slice(image, 0, r.header_size()));
  const std::uint32_t arm9 = r.u32(0x20), arm9_size = r.u32(0x2C);
  const bool footer =
      arm9 + arm9_size + 12 <= image.size() && r.u32(arm9 + arm9_size) == 0xDEC00621;
  expect_part("arm9.bin", slice(image, arm9, arm9_size + (footer ? 12U : 0U)));
  expect_part("arm7.bin", slice(image, r.u32(0x30), r.u32(0x3C)));
  expect_part("y9.bin", r.u32(0x54) == 0 ? Bytes{} : slice(image, r.u32(0x50), r.u32(0x54)));
  expect_part("y7.bin", r.u32(0x5C) == 0 ? Bytes{} : slice(image, r.u32(0x58), r.u32(0x5C)));
  if (const std::uint32_t banner = r.u32(0x68); banner != 0) {
    const std::uint16_t version = r.u16(banner);
    std::uint32_t size = version == 0x0103   ? 0x23C0
                         : version == 0x0003 ? 0xA40
                         : version == 0x0002 ? 0x940
                                             : 0x840;
    if (r.dsi() && r.u32(0x208) != 0) size = r.u32(0x208);
    expect_part("banner.bin", slice(image, banner, size));
  }

  // Overlays by file ID, nothing else in their folder.
  std::set<std::string> overlays;
  for (const std::uint32_t table : {0x50U, 0x58U}) {
    for (std::uint32_t e = 0; e + 32 <= r.u32(table + 4); e += 32) {
      const std::uint32_t id = r.u32(r.u32(table) + e + 24);
      ASSERT_LT(id, r.fat.size());
      char name[32];
      std::snprintf(name, sizeof name, "overlay/overlay_%04u.bin", static_cast<unsigned>(id));
      overlays.insert(name);
      expect_part(name, slice(image, r.fat[id].start, r.fat[id].end - r.fat[id].start));
    }
  }
  // Named files: plain names where they belong; every name, however mapped, with its content.
  // Contents compared by length and FNV-1a digest.
  auto digest = [](const Bytes& b) {
    std::uint64_t h = 0xCBF29CE484222325ULL;
    for (const std::uint8_t x : b) h = (h ^ x) * 0x100000001B3ULL;
    return std::pair<std::size_t, std::uint64_t>(b.size(), h);
  };
  std::multiset<std::pair<std::size_t, std::uint64_t>> want, got;
  for (const auto& [id, path] : r.names) {
    const Bytes content = slice(image, r.fat[id].start, r.fat[id].end - r.fat[id].start);
    if (plain_ascii(path)) {
      expect_part("data/" + path, content);
    }
    want.insert(digest(content));
  }
  for (const auto& [rel, content] : parts) {
    if (rel.ends_with('/')) continue;  // a folder
    if (rel.rfind("data/", 0) == 0) got.insert(digest(content));
    if (rel.rfind("overlay/", 0) == 0) {
      EXPECT_TRUE(overlays.contains(rel)) << "stray " << rel;
    }
  }
  EXPECT_EQ(got.size(), want.size()) << "files in data/";
  EXPECT_TRUE(got == want) << "contents of data/ differ from the named files";
}

// The parts that do not depend on the ARM7 (the header and -x's own files beside it do).
Tree arm7_independent(const Tree& t) {
  Tree out;
  for (const auto& [rel, bytes] : t) {
    if (rel == "arm9.bin" || rel == "y9.bin" || rel == "y7.bin" || rel == "banner.bin" ||
        rel.rfind("data/", 0) == 0 || rel.rfind("overlay/", 0) == 0)
      out.emplace(rel, bytes);
  }
  return out;
}

std::string listing(const Tree& a, const Tree& b) {
  std::string s;
  for (const auto& [rel, bytes] : a) {
    const Bytes* other = find(b, rel);
    if (other == nullptr)
      s += " only-first:" + rel;
    else if (*other != bytes)
      s += " differs:" + rel;
  }
  for (const auto& [rel, bytes] : b) {
    if (!a.contains(rel)) s += " only-second:" + rel;
  }
  return s;
}

class Mastered : public ::testing::TestWithParam<ImageCase> {
 protected:
  void SetUp() override {
    if (ndstool_path().empty())
      GTEST_SKIP()
          << "ndstool not found: VODERER_DIST_DIR/Bin holds no ndstool (run through ctest)";
    const ImageCase& c = GetParam();
    if (c.sample) {
      std::string why;
      const fs::path dir = sample_rom_dir(&why);
      if (dir.empty()) GTEST_SKIP() << why;
      image_ = read_bytes(dir / (c.name + ".nds"));
    } else {
      image_ = build_image(c.options).bytes;
    }
  }

  // Unpacks image into work/UNPACK, as the script's first line does.
  Tree unpack(const fs::path& work, const Bytes& image) {
    ScriptRun run(work);
    write_bytes(work / "rom.nds", image);
    const RunResult r = run.unpack(work / "rom.nds");
    EXPECT_EQ(r.status, 0) << r.output;
    return read_tree(run.unpack_dir());
  }

  // Rebuilds work/rom.nds from work/UNPACK with arm7 as Bin/arm7.bin; returns the new image.
  Bytes rebuild(const fs::path& work, const Bytes& arm7) {
    ScriptRun run(work);
    write_bytes(run.bin_dir() / "arm7.bin", arm7);
    const RunResult r = run.rebuild(work / "rom.nds");
    EXPECT_EQ(r.status, 0) << r.output;
    return read_bytes(work / "rom.nds");
  }

  // Swaps in arm7 and judges the result, then re-extracts it.
  void swap_and_check(const Bytes& arm7, bool must_move) {
    SCOPED_TRACE("new ARM7 of " + std::to_string(arm7.size()) + " bytes");
    TempFolder tmp("voderer-swap");
    const Tree first = unpack(tmp.path() / "a", image_);
    if (HasFailure()) return;
    const Bytes swapped = rebuild(tmp.path() / "a", arm7);
    if (HasFailure()) return;
    const SwapVerdict v = check_swap(image_, swapped, arm7);
    EXPECT_EQ(v.moved, must_move) << "first item after the ARM7 at " << v.next_item << ", moved by "
                                  << v.delta;
    for (const std::string& f : v.faults) ADD_FAILURE() << f;

    const Tree again = unpack(tmp.path() / "b", swapped);
    const Bytes* arm7_again = find(again, "arm7.bin");
    EXPECT_TRUE(arm7_again != nullptr && *arm7_again == arm7) << "re-extracted arm7.bin";
    EXPECT_EQ(arm7_independent(first), arm7_independent(again)) << listing(first, again);
  }

  Bytes image_;
};

TEST_P(Mastered, RoundTripIsExactAndReextractsIdentically) {
  TempFolder tmp("voderer-roundtrip");
  const Tree first = unpack(tmp.path() / "a", image_);
  ASSERT_FALSE(HasFailure());
  expect_parts_match(image_, first);

  const Bytes rebuilt = rebuild(tmp.path() / "a", first.at("arm7.bin"));
  ASSERT_FALSE(HasFailure());
  ASSERT_EQ(rebuilt.size(), image_.size());
  EXPECT_TRUE(rebuilt == image_) << "rebuilt image differs from the original";

  const Tree second = unpack(tmp.path() / "b", rebuilt);
  EXPECT_EQ(first, second) << listing(first, second);
}

TEST_P(Mastered, SwapWithAnArm7ThatFitsChangesOnlyTheArm7) {
  const RomImage r = read_rom(image_);
  const std::uint32_t room = next_item_after_arm7(image_) - r.u32(0x30);
  // All the room there is, and less than the old ARM7.
  for (const std::uint32_t size : {room & ~3U, (r.u32(0x3C) / 2) & ~3U}) {
    swap_and_check(arm7_block(0x7A000 + size, size), false);
  }
}

TEST_P(Mastered, SwapWithABiggerArm7MovesLaterItemsAndEveryPointer) {
  const RomImage r = read_rom(image_);
  const std::uint32_t room = next_item_after_arm7(image_) - r.u32(0x30);
  std::vector<std::uint32_t> sizes = {room + 0x234};
  // On an image filled to its chip capacity, also one that needs a larger chip.
  const std::uint64_t chip = std::uint64_t{0x20000} << (image_[0x14] & 0x3F);
  if (image_.size() == chip) {
    std::uint64_t end = image_.size();
    while (end > 0 && image_[end - 1] == image_.back()) --end;
    sizes.push_back(static_cast<std::uint32_t>(room + (chip - end) + 0x400));
  }
  for (const std::uint32_t size : sizes) swap_and_check(arm7_block(0x7B000 + size, size), true);
}

INSTANTIATE_TEST_SUITE_P(Images, Mastered, ::testing::ValuesIn(all_cases()),
                         [](const auto& param_info) {
                           std::string n = param_info.param.name;
                           for (char& c : n) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return n;
                         });

}  // namespace
}  // namespace voderer::testgen
