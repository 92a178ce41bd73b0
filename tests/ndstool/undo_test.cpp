// -c with an undo record, then --undo: every kind of swap gives back the
// original bytes, the record stays within its bound, and a changed image
// or a damaged record is refused with the image as it was.
#include <gtest/gtest.h>

#include "elf_builder.h"
#include "nds/undo/undo_record.h"
#include "result_file/result_file.h"
#include "tool_fixture.h"

namespace ndstest {
namespace {

using result_file::UndoRecord;

Bytes slice(const Bytes& b, std::size_t at, std::size_t n) {
  return Bytes(b.begin() + static_cast<std::ptrdiff_t>(at),
               b.begin() + static_cast<std::ptrdiff_t>(at + n));
}

class Undo : public ToolTest {
 protected:
  void SetUp() override {
    ToolTest::SetUp();
    result_file = dir_ / "deruzuz.result";
    undo_file = dir_ / "deruzuz.undo";
  }

  // Unpacks image as `name`, rebuilds it with arm7 as arm7.bin (without
  // the layout file: a compact image); the rebuild's line.
  result_file::Line patch(const Bytes& image, const Bytes& arm7, const std::string& name,
                          bool compact = false) {
    rom_ = dir_ / (name + ".nds");
    const fs::path work = dir_ / name, arm7_file = dir_ / (name + "-arm7.bin");
    write_bytes(rom_, image);
    write_bytes(arm7_file, arm7);
    fs::remove(*result_file);
    EXPECT_EQ(unpack(rom_, work).status, 0);
    if (compact) fs::remove(work / "header.bin.layout");
    last_ = rebuild(rom_, work, u8(arm7_file));
    const Bytes text = read_bytes(*result_file);
    return result_file::read_report(std::string(text.begin(), text.end())).line;
  }

  RunResult undo(const fs::path& record) {
    fs::remove(*result_file);
    return run({"--undo", u8(record), u8(rom_)});
  }

  result_file::UndoReport undo_report() {
    const Bytes text = read_bytes(*result_file);
    return result_file::read_undo_report(std::string(text.begin(), text.end()));
  }

  // Patches, checks the record's size, undoes, and undoes once more.
  void expect_undone(const Bytes& image, const Bytes& arm7, const std::string& name,
                     bool compact = false, std::uint64_t arm7i_replaced = 0) {
    SCOPED_TRACE(name);
    const result_file::Line line = patch(image, arm7, name, compact);
    ASSERT_EQ(line.state, result_file::State::ok) << last_.err;
    ASSERT_EQ(line.undo, UndoRecord::kept);
    EXPECT_EQ(line.layout_kept, !compact);
    const Bytes patched = read_bytes(rom_);
    ASSERT_FALSE(patched == image);
    if (!compact) {
      const std::uint64_t bound =
          rd32(image, 0x3C) + arm7.size() + arm7i_replaced + 0x4000 + rd32(image, 0x4C) + 0x10000;
      EXPECT_LE(fs::file_size(undo_file), bound);
    }
    const fs::path kept = dir_ / (name + ".undo");
    fs::rename(undo_file, kept);
    RunResult r = undo(kept);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(undo_report().outcome, result_file::UndoOutcome::restored);
    EXPECT_TRUE(read_bytes(rom_) == image) << "not the original bytes";
    r = undo(kept);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("unchanged, nothing to undo"), std::string::npos) << r.err;
    EXPECT_EQ(undo_report().outcome, result_file::UndoOutcome::unchanged);
    EXPECT_TRUE(read_bytes(rom_) == image);
  }

  fs::path rom_;
  RunResult last_;
};

ElfSegment segment(std::uint32_t at, Bytes bytes, bool dsi = false) {
  const auto memsz = static_cast<std::uint32_t>(bytes.size()) + 0x40;
  return {at, at, memsz, dsi ? 0x100005u : 0x5u, std::move(bytes)};
}

TEST_F(Undo, EverySwapOfGeneratedImagesGivesBackTheOriginal) {
  MiniRom desc;
  desc.files = {{"a/b", noise(0x300, 1)}, {"c", noise(0x1000, 2)}};
  desc.arm9_overlays = 2;
  desc.arm7_overlays = 1;
  const Bytes image = build_rom(desc);
  expect_undone(image, arm7_noise(0x2400, 3), "larger");
  expect_undone(image, arm7_noise(0x100, 4), "smaller");
  expect_undone(image, arm7_noise(0x2400, 3), "compact", true);
  // An ELF linked for ARM7 WRAM: the header's address moves.
  expect_undone(image, elf_file({segment(0x037F8000, arm7_noise(0x300, 5))}, 0x037F8000), "moved");

  MiniRom dsi = desc;
  dsi.dsi = true;
  dsi.trailing = noise(0x99, 6);
  const Bytes dsi_image = build_rom(dsi);
  Bytes aliased = dsi_image;
  wr32(aliased, 0x1D0, rd32(aliased, 0x30));
  wr32(aliased, 0x1DC, rd32(aliased, 0x3C));
  fix_header_crc(aliased);
  expect_undone(aliased, arm7_noise(0x1800, 7), "arm7i-follows");
  const Bytes arm7i = noise(0x700, 8);
  expect_undone(
      dsi_image,
      elf_file({segment(0x02380000, arm7_noise(0x300, 9)), segment(0x02E80000, arm7i, true)},
               0x02380000),
      "arm7i-replaced", false, rd32(dsi_image, 0x1DC));

  // Digests over batches of chunks and a short last one, the new image's
  // hashed while it is written.
  const Bytes large = build_image(large_options(17)).bytes;
  ASSERT_GT(large.size(), std::size_t{16} << 20);
  ASSERT_NE(large.size() % (std::size_t{1} << 20), 0u);
  expect_undone(large, arm7_block(0xA7, rd32(large, 0x3C) + 0x1234), "large");

  for (const Variant& v : standard_variants()) {
    const Bytes generated = build_image(v.options).bytes;
    expect_undone(generated, arm7_block(0xA7, rd32(generated, 0x3C) + 0x1234), v.name);
  }
}

TEST_F(Undo, SampleArm7sInEachOtherSampleUndo) {
  std::string why;
  const fs::path roms = sample_rom_dir(&why);
  if (roms.empty()) GTEST_SKIP() << why;
  for (const std::string& donor : kSamples) {
    const Bytes donor_rom = read_bytes(roms / (donor + ".nds"));
    const Bytes arm7 = slice(donor_rom, rd32(donor_rom, 0x30), rd32(donor_rom, 0x3C));
    for (const std::string& target : kSamples) {
      if (donor != target)
        expect_undone(read_bytes(roms / (target + ".nds")), arm7, donor + "-into-" + target);
    }
  }
}

TEST_F(Undo, AChangedImageOrADamagedRecordIsRefusedAndTheImageStays) {
  const Bytes image = build_rom({});
  ASSERT_EQ(patch(image, arm7_noise(0x900, 1), "rom").undo, UndoRecord::kept);
  const Bytes patched = read_bytes(rom_), record = read_bytes(undo_file);

  Bytes changed = patched;
  changed[changed.size() / 2] ^= 1;
  write_bytes(rom_, changed);
  RunResult r = undo(undo_file);
  EXPECT_EQ(r.failure, nds::ErrorKind::UndoMismatch) << r.err;
  EXPECT_EQ(undo_report().line.failure, result_file::Failure::undo_mismatch);
  EXPECT_TRUE(read_bytes(rom_) == changed);

  write_bytes(rom_, patched);
  const std::size_t checksum = record.size() - nds::kUndoChecksumSize;
  const std::pair<std::string, std::size_t> damage[] = {{"magic", 0},
                                                        {"version", 8},
                                                        {"algorithm", 16},
                                                        {"a size", 32},
                                                        {"a step", 90},
                                                        {"the data", checksum - 1},
                                                        {"the checksum", checksum}};
  for (const auto& [what, at] : damage) {
    SCOPED_TRACE(what);
    Bytes bad = record;
    bad[at] ^= 0x40;
    write_bytes(dir_ / "bad.undo", bad);
    r = undo(dir_ / "bad.undo");
    EXPECT_EQ(r.failure, nds::ErrorKind::BadUndoRecord) << r.err;
    EXPECT_EQ(undo_report().line.failure, result_file::Failure::undo_bad_record);
    EXPECT_TRUE(read_bytes(rom_) == patched);
  }
  write_bytes(dir_ / "bad.undo", slice(record, 0, record.size() - 1));
  EXPECT_EQ(undo(dir_ / "bad.undo").failure, nds::ErrorKind::BadUndoRecord);
  EXPECT_EQ(undo(dir_ / "missing.undo").status, 1);
  EXPECT_TRUE(read_bytes(rom_) == patched);
  EXPECT_EQ(undo(undo_file).status, 0);
  EXPECT_TRUE(read_bytes(rom_) == image);
}

// A record that cannot be written stops the patch; a failure after it was
// written removes it; without the variable nothing is kept.
TEST_F(Undo, NoRecordOutlivesAFailedPatch) {
  const Bytes image = build_rom({});
  undo_file = dir_ / "no-folder" / "deruzuz.undo";
  result_file::Line line = patch(image, arm7_noise(0x900, 1), "unwritable");
  EXPECT_EQ(last_.failure, nds::ErrorKind::UndoUnwritable) << last_.err;
  EXPECT_EQ(line.failure, result_file::Failure::undo_unwritable);
  EXPECT_TRUE(read_bytes(rom_) == image);

  // The "committing" line cannot be written: the rename never comes.
  undo_file = dir_ / "deruzuz.undo";
  const fs::path work = dir_ / "late";
  write_bytes(rom_, image);
  ASSERT_EQ(unpack(rom_, work).status, 0);
  write_bytes(dir_ / "arm7.bin", arm7_noise(0x900, 1));
  result_file = dir_ / "a-folder";
  fs::create_directories(*result_file);
  EXPECT_EQ(rebuild(rom_, work, u8(dir_ / "arm7.bin")).status, 1);
  EXPECT_FALSE(fs::exists(undo_file));
  EXPECT_TRUE(read_bytes(rom_) == image);

  result_file = dir_ / "deruzuz.result";
  undo_file.clear();
  line = patch(image, arm7_noise(0x900, 1), "by-hand");
  EXPECT_EQ(line.undo, UndoRecord::none);
  EXPECT_FALSE(fs::exists(dir_ / "by-hand" / "header.bin.digest"));
  EXPECT_TRUE(fs::directory_iterator(dir_) != fs::directory_iterator());
  for (const auto& entry : fs::directory_iterator(dir_))
    EXPECT_NE(entry.path().extension(), ".undo") << entry.path();
}

// -x run by hand leaves no digest: -c then hashes the image itself.
TEST_F(Undo, UnpackedWithoutTheVariableTheRecordIsKeptAllTheSame) {
  const Bytes image = build_rom({});
  rom_ = dir_ / "rom.nds";
  write_bytes(rom_, image);
  write_bytes(dir_ / "arm7.bin", arm7_noise(0x900, 1));
  const fs::path record = undo_file;
  undo_file.clear();
  ASSERT_EQ(unpack(rom_, dir_ / "w").status, 0);
  EXPECT_FALSE(fs::exists(dir_ / "w" / "header.bin.digest"));
  undo_file = record;
  ASSERT_EQ(rebuild(rom_, dir_ / "w", u8(dir_ / "arm7.bin")).status, 0);
  ASSERT_EQ(undo(record).status, 0);
  EXPECT_TRUE(read_bytes(rom_) == image);
}

}  // namespace
}  // namespace ndstest
