// The lines ndstool leaves for the program when it names a result file
// (through the environment, which main reads), read back the way the
// program reads them; and -c after an unpack that failed.
#include <gtest/gtest.h>

#include <algorithm>

#include "result_file/result_file.h"
#include "tool_fixture.h"

namespace ndstest {
namespace {

class ResultReport : public ToolTest {
 protected:
  void SetUp() override {
    ToolTest::SetUp();
    MiniRom desc;
    desc.arm9_overlays = 1;
    desc.files = {{"dir/file.bin", noise(0x800, 1)}, {"top", noise(0x10, 2)}};
    image_ = build_rom(desc);
    rom_ = dir_ / "game.nds";
    write_bytes(rom_, image_);
    work_ = dir_ / "UNPACK";
    result_ = dir_ / "deruzuz.result";
  }

  std::string result_text() { return u8_bytes(read_bytes(result_)); }
  static std::string u8_bytes(const Bytes& b) { return std::string(b.begin(), b.end()); }
  result_file::Report report() { return result_file::read_report(result_text()); }

  Bytes image_;
  fs::path rom_, work_, result_;
};

TEST_F(ResultReport, APatchLeavesItsLinesOnlyWhereTheProgramSays) {
  ASSERT_EQ(unpack(rom_, work_).status, 0);
  ASSERT_EQ(rebuild(rom_, work_).status, 0);
  EXPECT_FALSE(fs::exists(result_)) << "written without being asked";

  result_file = result_;
  fs::remove_all(work_);
  ASSERT_EQ(unpack(rom_, work_).status, 0);
  EXPECT_EQ(report().outcome, result_file::Outcome::no_rebuild) << result_text();
  // A larger ARM7 binary than the slot holds: the items after it move.
  write_bytes(dir_ / "arm7.bin", arm7_noise(0x2000, 9));
  const RunResult r = rebuild(rom_, work_, u8(dir_ / "arm7.bin"));
  ASSERT_EQ(r.status, 0) << r.err;
  const result_file::Report patched = report();
  ASSERT_EQ(patched.outcome, result_file::Outcome::patched) << result_text();
  EXPECT_EQ(patched.line.arm7_before, 0x456u);
  EXPECT_EQ(patched.line.arm7_after, 0x2000u);
  EXPECT_GT(patched.line.moved_by, 0u);
  EXPECT_EQ(patched.line.moved_by % 0x200, 0u);
  EXPECT_TRUE(patched.line.layout_kept);
  EXPECT_FALSE(read_bytes(rom_) == image_);
}

TEST_F(ResultReport, AFailedUnpackGivesTheReasonAndTheRebuildSaysThereIsNothingToRebuild) {
  result_file = result_;
  write_bytes(rom_, noise(0x4000, 5));  // not a DS image
  const Bytes before = read_bytes(rom_);
  fs::create_directories(work_);
  const RunResult x = unpack(rom_, work_);
  ASSERT_EQ(x.status, 1);
  const RunResult c = rebuild(rom_, work_);
  EXPECT_EQ(c.status, 1);
  EXPECT_NE(c.err.find("nothing to rebuild because unpacking failed"), std::string::npos) << c.err;
  EXPECT_NE(c.err.find("header.bin is missing"), std::string::npos) << c.err;
  EXPECT_NE(c.err.find("image left unchanged"), std::string::npos) << c.err;
  EXPECT_TRUE(read_bytes(rom_) == before);

  const result_file::Report failed = report();
  EXPECT_EQ(failed.outcome, result_file::Outcome::failed) << result_text();
  // The unpack's own line, without the console's "ndstool: " and ending.
  EXPECT_EQ("ndstool: " + failed.line.reason + "; image left unchanged\n", x.err);
}

TEST_F(ResultReport, AReasonNamingAKoreanPathArrivesWhole) {
  result_file = result_;
  const fs::path missing = dir_ / from_u8("게임 100%.nds");
  const RunResult x = unpack(missing, work_);
  ASSERT_EQ(x.status, 1);
  const result_file::Report failed = report();
  ASSERT_EQ(failed.outcome, result_file::Outcome::failed) << result_text();
  EXPECT_NE(failed.line.reason.find(u8(missing) + ": No such file"), std::string::npos)
      << failed.line.reason;
}

TEST_F(ResultReport, ARebuildThatCannotReportDoesNotReplaceTheImage) {
  ASSERT_EQ(unpack(rom_, work_).status, 0);
  // The result file's folder is gone: the line before the image would be
  // replaced cannot be written, so it is not replaced.
  result_file = dir_ / "gone" / "deruzuz.result";
  write_bytes(dir_ / "arm7.bin", arm7_noise(0x100, 4));
  const RunResult r = rebuild(rom_, work_, u8(dir_ / "arm7.bin"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot write the result file"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("image left unchanged"), std::string::npos) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  EXPECT_TRUE(read_bytes(rom_) == image_);
  for (const auto& e : fs::directory_iterator(dir_))
    EXPECT_EQ(u8(e.path().filename()).find(".ndstool-tmp"), std::string::npos);
}

// Each kind of failure the window explains arrives as its code, decided
// from what happened rather than from the message's words.
TEST_F(ResultReport, EachFailureArrivesWithItsKind) {
  result_file = result_;
  // The last run's line.
  const auto kind = [&] {
    std::string text = result_text();
    fs::remove(*result_file);
    text.pop_back();
    const auto line = result_file::parse_line(text.substr(text.rfind('\n') + 1));
    return line && line->state == result_file::State::failed ? line->failure
                                                             : result_file::Failure::other;
  };
  using result_file::Failure;
  ASSERT_EQ(run({"-x", ""}).status, 2) << "usage first";
  fs::create_directories(work_);
  EXPECT_EQ(unpack(fs::path(), work_).status, 1);
  EXPECT_EQ(kind(), Failure::no_rom);

  fs::remove_all(work_);
  ASSERT_EQ(unpack(rom_, work_).status, 0);
  EXPECT_EQ(rebuild(rom_, work_, u8(dir_ / "Bin" / "none.bin")).status, 1);
  EXPECT_EQ(kind(), Failure::no_arm7);

  write_bytes(dir_ / "arm7.bin", arm7_noise(0x2000, 9));
  write_limit = 0x1000;  // the disk fills up while the new image is written
  EXPECT_EQ(rebuild(rom_, work_, u8(dir_ / "arm7.bin")).status, 1);
  EXPECT_EQ(kind(), Failure::disk_full);
  write_limit.reset();

  fs::permissions(rom_, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  EXPECT_EQ(rebuild(rom_, work_, u8(dir_ / "arm7.bin")).status, 1);
  EXPECT_EQ(kind(), Failure::read_only);
  fs::permissions(rom_, fs::perms::owner_write, fs::perm_options::add);

  const fs::path other = dir_ / "other.nds";
  write_bytes(other, noise(0x4000, 5));
  fs::remove_all(work_);
  EXPECT_EQ(unpack(other, work_).status, 1);
  EXPECT_EQ(kind(), Failure::not_ds_image);
  EXPECT_TRUE(read_bytes(rom_) == image_);
}

}  // namespace
}  // namespace ndstest
