// How the box tells the end of a patch: the text for each way a script can
// end, and the result file read once and removed.
#include "patch/patch_outcome.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "fake_platform.h"
#include "platform/utf8_text.h"
#include "temp_folder.h"

namespace voderer {
namespace {

namespace fs = std::filesystem;
using result_file::Line;
using result_file::Outcome;
using result_file::Report;
using result_file::Stage;
using result_file::State;
using testing::FakePlatform;
using testing::TempFolder;
using testing::WriteBytes;

bool Has(const std::wstring& text, const std::wstring& part) {
  return text.find(part) != std::wstring::npos;
}

Report Patched(std::uint32_t before, std::uint32_t after, std::uint32_t moved, bool kept) {
  Report report;
  report.outcome = Outcome::patched;
  report.line.arm7_before = before;
  report.line.arm7_after = after;
  report.line.moved_by = moved;
  report.line.layout_kept = kept;
  return report;
}

Report Of(Outcome outcome, std::string reason = {}) {
  Report report;
  report.outcome = outcome;
  report.line.reason = std::move(reason);
  return report;
}

const std::wstring kRom =
    std::wstring(L"/roms") + PathSeparator() + L"게임 100%" + PathSeparator() + L"game.nds";

TEST(PatchOutcomeText, APatchNamesTheRomTheSizesAndWhetherAnythingMoved) {
  const std::wstring stayed = PatchOutcomeText(kRom, Patched(6708, 104960, 0, true));
  EXPECT_EQ(stayed.rfind(L"game.nds was patched.", 0), 0u) << stayed;
  EXPECT_TRUE(Has(stayed, L"ARM7 binary was replaced (before: 6,708 bytes; now: 104,960 bytes)"))
      << stayed;
  EXPECT_TRUE(Has(stayed, L"Nothing after it had to move, and nothing else in the image changed."))
      << stayed;
  EXPECT_FALSE(Has(stayed, L"not patched"));

  const std::wstring moved = PatchOutcomeText(kRom, Patched(1, 0x12345, 0x10200, true));
  EXPECT_TRUE(Has(moved, L"(before: 1 byte; now: 74,565 bytes)")) << moved;
  EXPECT_TRUE(Has(moved,
                  L"had to move by 66,048 bytes to make room; nothing else in the image "
                  L"changed."))
      << moved;

  // Laid out anew: not "nothing else changed".
  const std::wstring compact = PatchOutcomeText(kRom, Patched(10, 20, 0, false));
  EXPECT_TRUE(Has(compact, L"game.nds was patched.")) << compact;
  EXPECT_TRUE(Has(compact, L"laid out anew")) << compact;
  EXPECT_FALSE(Has(compact, L"nothing else")) << compact;
}

TEST(PatchOutcomeText, AFailureNamesTheRomTheReasonAndThatNothingChanged) {
  const std::wstring unchanged = L"The ROM image was left unchanged.";
  const std::wstring failed = PatchOutcomeText(
      kRom, Of(Outcome::failed, "cannot read /롬/게임\t100%.nds: No such file \xC7"));
  EXPECT_EQ(failed,
            L"game.nds was not patched.\n\nndstool: cannot read /롬/게임\t100%.nds: No "
            L"such file \uFFFD\n\n" +
                unchanged);

  const std::wstring tool = std::wstring(L"Bin") + PathSeparator() + L"ndstool";
  for (Outcome outcome : {Outcome::no_report, Outcome::no_rebuild, Outcome::unreadable}) {
    const std::wstring text = PatchOutcomeText(kRom, Of(outcome));
    SCOPED_TRACE(text);
    EXPECT_EQ(text.rfind(L"game.nds was not patched.\n\n", 0), 0u);
    EXPECT_TRUE(text.ends_with(L"\n\n" + unchanged));
  }
  EXPECT_TRUE(Has(PatchOutcomeText(kRom, Of(Outcome::no_report)), tool + L" could not be run"));
  EXPECT_TRUE(Has(PatchOutcomeText(kRom, Of(Outcome::no_rebuild)), L"rebuild did not run"));
  EXPECT_TRUE(Has(PatchOutcomeText(kRom, Of(Outcome::unreadable)), L"deruzuz.result"));

  // Neither: it says so rather than guess.
  const std::wstring unknown = PatchOutcomeText(kRom, Of(Outcome::unknown));
  EXPECT_EQ(unknown.rfind(L"It is not known whether game.nds was patched.", 0), 0u) << unknown;
  EXPECT_FALSE(Has(unknown, unchanged));

  // "P" with nothing chosen.
  EXPECT_EQ(PatchOutcomeText(L"", Of(Outcome::failed, "x")).rfind(L"The ROM image was not", 0), 0u);
}

class TakeOutcomeTest : public ::testing::Test {
 protected:
  fs::path Result() const { return folder_.path() / "deruzuz.result"; }

  TempFolder folder_{"patch-outcome"};
  FakePlatform platform_{folder_.path().wstring()};
};

TEST_F(TakeOutcomeTest, TheResultFileIsReadOnceAndRemoved) {
  EXPECT_EQ(fs::path(ResultPath(platform_)), Result());
  const EnvironmentVariable variable = ResultVariable(platform_);
  EXPECT_EQ(variable.name, L"VODERER_RESULT_FILE");
  EXPECT_EQ(variable.value, ResultPath(platform_));

  Line unpacked;
  Line committing;
  committing.stage = Stage::rebuild;
  committing.state = State::committing;
  Line done = committing;
  done.state = State::ok;
  done.arm7_before = 100;
  done.arm7_after = 200;
  WriteBytes(Result(), result_file::format_line(unpacked) + result_file::format_line(committing) +
                           result_file::format_line(done));
  EXPECT_EQ(TakePatchOutcome(platform_, kRom), PatchOutcomeText(kRom, Patched(100, 200, 0, true)));
  EXPECT_FALSE(fs::exists(Result()));

  // Nothing written at all: ndstool never ran.
  EXPECT_EQ(TakePatchOutcome(platform_, kRom), PatchOutcomeText(kRom, Of(Outcome::no_report)));
}

TEST_F(TakeOutcomeTest, AFileThatCannotBeReadIsNoPatch) {
  // Larger than any report.
  WriteBytes(Result(), std::string(result_file::kMaxFileSize + 1, 'x'));
  std::wstring text = TakePatchOutcome(platform_, kRom);
  EXPECT_EQ(text.rfind(L"game.nds was not patched.", 0), 0u) << text;
  EXPECT_TRUE(Has(text, L"could not be read")) << text;
  EXPECT_TRUE(Has(text, L"left unchanged")) << text;
  EXPECT_FALSE(fs::exists(Result()));

  // A folder in its place: not read, not removable, and the box says both.
  fs::create_directories(Result() / "inside");
  text = TakePatchOutcome(platform_, kRom);
  EXPECT_TRUE(Has(text, L"was not patched")) << text;
  EXPECT_TRUE(Has(text, L"could not be removed")) << text;
}

}  // namespace
}  // namespace voderer
