// Form1's handlers on the fake platform: what reaches the dialog, the box,
// the script and the text box.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "frontend/error_box.h"
#include "patch/patch_script.h"
#include "patch/undo.h"
#include "result_file/result_file.h"
#include "temp_folder.h"
#include "ui/main_window.h"

namespace voderer::ui {
namespace {

namespace fs = std::filesystem;
using testing::FakePlatform;
using testing::ReadBytes;
using testing::TempFolder;

// Written out here as UTF-8 text, apart from the \u escapes in the program.
const std::wstring kFilter = L"NDS 바이너리 파일 (*.nds)|*.nds|모든 파일 (*.*)|*.*|";

class FakeTextBox : public frontend::TextBox {
 public:
  std::wstring text;
  std::wstring Text() override { return text; }
  void SetText(const std::wstring& value) override { text = value; }
};

class Form1Test : public ::testing::Test {
 protected:
  TempFolder folder{"voderer-form1"};
  FakePlatform platform{folder.path().wstring()};
  FakeTextBox text1;
  Form1 form{platform.AsServices(), text1};

  // The user picks `name` in the program folder.
  void UserPicks(const std::wstring& name) {
    const std::wstring full = (folder.path() / name).wstring();
    platform.on_show_open = [name, full](CommonDialogState& dialog) {
      dialog.FileName = full;
      dialog.FileTitle = name;
    };
  }
  void UserCancels() { platform.on_show_open = nullptr; }
};

TEST_F(Form1Test, RomSelectionSetsFilterAndFolderOnEveryClickAndShowsTheName) {
  UserPicks(L"first.nds");
  text1.text = L"typed before";
  form.Command2_Click();
  EXPECT_EQ(text1.text, L"first.nds");
  EXPECT_EQ(form.CommonDialog1.FileName, (folder.path() / L"first.nds").wstring());

  // Whatever the dialog or anyone left in the object, the next opening gets
  // the same filter and folder.
  form.CommonDialog1.Filter = L"Text|*.txt|";
  form.CommonDialog1.InitDir = L"elsewhere";
  UserPicks(L"second.nds");
  form.Command2_Click();

  ASSERT_EQ(platform.dialogs_shown.size(), 2u);
  for (const CommonDialogState& shown : platform.dialogs_shown) {
    EXPECT_EQ(shown.Filter, kFilter);
    EXPECT_EQ(shown.InitDir, folder.path().wstring());
  }
  // The second opening saw the first choice still held.
  EXPECT_EQ(platform.dialogs_shown[1].FileTitle, L"first.nds");
  EXPECT_EQ(text1.text, L"second.nds");
}

TEST_F(Form1Test, CancelKeepsTheSelectionAndShowsItAgain) {
  UserPicks(L"chosen.nds");
  form.Command2_Click();
  text1.text = L"something typed";
  UserCancels();
  form.Command2_Click();
  EXPECT_EQ(text1.text, L"chosen.nds");
  EXPECT_EQ(form.CommonDialog1.FileName, (folder.path() / L"chosen.nds").wstring());

  // Cancel before any choice: the box is emptied, nothing is selected.
  FakeTextBox fresh_box;
  fresh_box.text = L"typed";
  Form1 fresh{platform.AsServices(), fresh_box};
  fresh.Command2_Click();
  EXPECT_EQ(fresh_box.text, L"");
  EXPECT_EQ(fresh.CommonDialog1.FileName, L"");
}

TEST_F(Form1Test, PatchUsesTheSelectionNeverTheTextBox) {
  UserPicks(L"game.nds");
  form.Command2_Click();
  text1.text = L"evil.nds";
  form.Command1_Click();

  ASSERT_EQ(platform.launches.size(), 1u);
  const fs::path script = platform.launches[0].script;
  EXPECT_EQ(script, folder.path() / L"deruzuz.bat");
  const std::string text = ReadBytes(script);
  const std::string rom = (folder.path() / "game.nds").string();
  EXPECT_NE(text.find("ndstool -v -x \"" + rom + "\""), std::string::npos) << text;
  EXPECT_NE(text.find("ndstool -c \"" + rom + "\""), std::string::npos) << text;
  EXPECT_EQ(text.find("evil"), std::string::npos) << text;
  EXPECT_TRUE(platform.messages.empty());
}

TEST_F(Form1Test, PatchWhileTheEarlierScriptRunsSaysSoAndGoesOn) {
  platform.script_running = true;
  EXPECT_NO_THROW(form.Command1_Click());
  EXPECT_TRUE(platform.launches.empty());
  EXPECT_FALSE(fs::exists(folder.path() / L"deruzuz.bat"));
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0].title, L"Voderer");
  EXPECT_EQ(platform.messages[0].text, ScriptStillRunning().Description());
  EXPECT_EQ(platform.messages[0].icon, BoxIcon::warning);

  platform.script_running = false;
  form.Command1_Click();
  EXPECT_EQ(platform.launches.size(), 1u);
}

TEST_F(Form1Test, TheEndOfAPatchIsToldOnceInABoxNamingItsRom) {
  UserPicks(L"game.nds");
  form.Command2_Click();
  form.Command1_Click();
  // Another choice while the script runs: the box still names the ROM that
  // was patched.
  UserPicks(L"other.nds");
  form.Command2_Click();

  result_file::Line failed;
  failed.state = result_file::State::failed;
  failed.failure = result_file::Failure::not_ds_image;
  failed.reason = "refused game.nds: not a DS image";
  const fs::path result = folder.path() / "deruzuz.result";
  testing::WriteBytes(result, result_file::format_line(failed));
  form.ScriptEnded();
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0].title, L"Voderer");
  EXPECT_EQ(platform.messages[0].text,
            L"game.nds was not patched.\n\nThe chosen file is not a DS ROM image.\n"
            L"ndstool: refused game.nds: not a DS image\n\nThe ROM image was left unchanged.\n"
            L"Choose a DS ROM image (.nds) with \"...\", then press \"P\" again.");
  EXPECT_EQ(platform.messages[0].icon, BoxIcon::warning);
  EXPECT_FALSE(fs::exists(result));

  form.ScriptEnded();  // told already
  EXPECT_EQ(platform.messages.size(), 1u);
}

TEST_F(Form1Test, APressBeforeTheEndIsToldTellsItAndALateNoticeIsIgnored) {
  UserPicks(L"game.nds");
  form.Command2_Click();
  form.Command1_Click();
  result_file::Line failed;
  failed.state = result_file::State::failed;
  failed.failure = result_file::Failure::not_ds_image;
  failed.reason = "refused game.nds: not a DS image";
  testing::WriteBytes(folder.path() / "deruzuz.result", result_file::format_line(failed));
  form.Command1_Click();  // the script has ended, its notice has not come
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_NE(platform.messages[0].text.find(L"not a DS ROM image"), std::wstring::npos);
  EXPECT_EQ(platform.launches.size(), 1u);

  form.Command1_Click();
  EXPECT_EQ(platform.launches.size(), 2u);
  platform.script_running = true;
  form.ScriptEnded();  // the first run's notice, late
  EXPECT_EQ(platform.messages.size(), 1u);
  platform.script_running = false;
  form.ScriptEnded();
  EXPECT_EQ(platform.messages.size(), 2u);
}

TEST_F(Form1Test, NoBoxForAnEndWithoutAPatchStartedByThisWindow) {
  form.ScriptEnded();
  EXPECT_TRUE(platform.messages.empty());
  platform.script_running = true;
  form.Command1_Click();  // refused: "still running"
  platform.script_running = false;
  form.ScriptEnded();
  EXPECT_EQ(platform.messages.size(), 1u);
}

TEST_F(Form1Test, AboutShowsItsLineAndChangesNothing) {
  UserPicks(L"kept.nds");
  form.Command2_Click();
  form.Command3_Click();
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0].text,
            L"Voderer 1.0 - replaces the ARM7 binary of a DS ROM image with Bin\\arm7.bin");
  EXPECT_EQ(platform.messages[0].title, L"Voderer");
  EXPECT_EQ(platform.messages[0].icon, BoxIcon::none);
  EXPECT_EQ(text1.text, L"kept.nds");
  EXPECT_EQ(form.CommonDialog1.FileTitle, L"kept.nds");
  EXPECT_TRUE(platform.launches.empty());
  EXPECT_TRUE(fs::is_empty(folder.path()));
}

// The lines a patch's script leaves: unpacked, then rebuilt keeping (or
// not keeping) its record of the original.
std::string PatchedLines(result_file::UndoRecord undo) {
  result_file::Line unpacked;
  result_file::Line rebuilt;
  rebuilt.stage = result_file::Stage::rebuild;
  rebuilt.state = result_file::State::committing;
  std::string lines = result_file::format_line(unpacked) + result_file::format_line(rebuilt);
  rebuilt.state = result_file::State::ok;
  rebuilt.undo = undo;
  return lines + result_file::format_line(rebuilt);
}

std::string UndoLine(result_file::State state, result_file::Failure failure) {
  result_file::Line line;
  line.stage = result_file::Stage::undo;
  line.state = state;
  line.failure = failure;
  if (state == result_file::State::failed) line.reason = "game.nds: changed since the patch";
  return result_file::format_line(line);
}

class Form1UndoTest : public Form1Test {
 protected:
  fs::path Record() const { return folder.path() / "deruzuz.undo"; }
  fs::path UndoResult() const { return folder.path() / "deruzuz.undo.result"; }

  // "P" on game.nds, then the script ends as `lines` tell, with a record.
  void PatchEnds(const std::string& lines) {
    UserPicks(L"game.nds");
    form.Command2_Click();
    form.Command1_Click();
    testing::WriteBytes(folder.path() / "deruzuz.result", lines);
    testing::WriteBytes(Record(), "record");
    form.ScriptEnded();
  }
};

TEST_F(Form1UndoTest, OnlyAPatchThatKeptItsRecordOrMayHaveHappenedOffersUndo) {
  struct Case {
    std::string lines;
    bool offered;
    std::wstring says;
  };
  result_file::Line failed;
  failed.state = result_file::State::failed;
  failed.stage = result_file::Stage::rebuild;
  failed.failure = result_file::Failure::undo_unwritable;
  failed.reason = "cannot write the undo record";
  result_file::Line committing;
  committing.stage = result_file::Stage::rebuild;
  committing.state = result_file::State::committing;
  const Case cases[] = {
      {PatchedLines(result_file::UndoRecord::kept), true, L"OK keeps the patch."},
      {PatchedLines(result_file::UndoRecord::too_large), false, L"larger than 16 MiB"},
      {result_file::format_line(result_file::Line{}) + result_file::format_line(failed), false,
       L"could not be written to the program's folder"},
      {result_file::format_line(result_file::Line{}) + result_file::format_line(committing), true,
       L"It is not known whether game.nds was patched."},
  };
  for (const Case& c : cases) {
    platform.messages.clear();
    PatchEnds(c.lines);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].offered_undo, c.offered) << platform.messages[0].text;
    EXPECT_NE(platform.messages[0].text.find(c.says), std::wstring::npos)
        << platform.messages[0].text;
    // OK, or no Undo at all: the record goes with the result file.
    EXPECT_FALSE(fs::exists(Record()));
    EXPECT_FALSE(fs::exists(folder.path() / "deruzuz.result"));
  }
  // The script was told where to keep the record.
  const EnvironmentChanges& environment = platform.launches.at(0).environment;
  ASSERT_EQ(environment.size(), 2u);
  EXPECT_EQ(environment[1].name, L"VODERER_UNDO_FILE");
  EXPECT_EQ(fs::path(environment[1].value.value_or(L"")), Record());
}

TEST_F(Form1UndoTest, UndoRunsNdstoolOnTheScriptsRomAndSaysWhenItIsBack) {
  platform.user_chooses_undo = true;
  PatchEnds(PatchedLines(result_file::UndoRecord::kept));
  // The undo runs ndstool itself on the ROM of the patch, whatever is
  // chosen now, telling it where to report and never to keep a record.
  ASSERT_EQ(platform.launches.size(), 2u);
  const FakePlatform::Launch& undo = platform.launches[1];
  EXPECT_EQ(fs::path(undo.script), folder.path() / "Bin" / "ndstool");
  const std::wstring rom = (folder.path() / L"game.nds").wstring();
  EXPECT_EQ(undo.arguments, (std::vector<std::wstring>{L"--undo", Record().wstring(), rom}));
  ASSERT_EQ(undo.environment.size(), 2u);
  EXPECT_EQ(undo.environment[0].name, L"VODERER_RESULT_FILE");
  EXPECT_EQ(fs::path(undo.environment[0].value.value_or(L"")), UndoResult());
  EXPECT_EQ(undo.environment[1].name, L"VODERER_UNDO_FILE");
  EXPECT_FALSE(undo.environment[1].value);
  EXPECT_TRUE(fs::exists(Record()));

  // While it runs, "P" is refused as for a script, but the box asks to
  // wait for the undo's box: it has no window to close.
  UserPicks(L"other.nds");
  form.Command2_Click();
  platform.script_running = true;
  form.Command1_Click();
  EXPECT_EQ(platform.launches.size(), 2u);
  ASSERT_EQ(platform.messages.size(), 2u);
  EXPECT_EQ(platform.messages[1].text, UndoStillRunning().Description());
  EXPECT_NE(platform.messages[1].text, ScriptStillRunning().Description());
  platform.script_running = false;

  // It failed: the record stays, and Undo is offered again; OK keeps it.
  platform.messages.clear();
  platform.user_chooses_undo = false;
  testing::WriteBytes(UndoResult(),
                      UndoLine(result_file::State::failed, result_file::Failure::undo_mismatch));
  form.ScriptEnded();
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_TRUE(platform.messages[0].offered_undo);
  EXPECT_EQ(platform.messages[0].text.find(L"game.nds could not be given back as it was before "
                                           L"the patch.\n\nThe ROM image has changed since the "
                                           L"patch"),
            0u)
      << platform.messages[0].text;
  EXPECT_FALSE(fs::exists(Record()));
  EXPECT_FALSE(fs::exists(UndoResult()));

  // Once more, and it works: the box names the ROM, nothing is left.
  platform.messages.clear();
  platform.user_chooses_undo = true;
  PatchEnds(PatchedLines(result_file::UndoRecord::kept));
  testing::WriteBytes(UndoResult(), UndoLine(result_file::State::ok, {}));
  form.ScriptEnded();
  ASSERT_EQ(platform.messages.size(), 2u);
  EXPECT_EQ(platform.messages[1].text, L"game.nds is back as it was before the patch.");
  EXPECT_EQ(platform.messages[1].icon, BoxIcon::information);
  EXPECT_FALSE(platform.messages[1].offered_undo);
  EXPECT_FALSE(fs::exists(Record()));
  EXPECT_FALSE(fs::exists(UndoResult()));
}

// A dialog object that fails.
class FailingDialogPlatform : public FakePlatform {
 public:
  using FakePlatform::FakePlatform;
  void ShowOpen(CommonDialogState&) override { throw RuntimeError(20476, L"Buffer too small"); }
};

// The front ends run every click through RunClickHandler: an error that
// leaves a handler is shown in the standard box and ends the program.
TEST(Form1Errors, AnErrorLeavingAHandlerIsReportedAndEndsTheProgram) {
  FailingDialogPlatform platform(L"unused");
  FakeTextBox box;
  box.text = L"before";
  Form1 form(platform.AsServices(), box);
  EXPECT_FALSE(frontend::RunClickHandler(platform, form, &frontend::WindowEvents::Command2_Click));
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0].text, L"Run-time error '20476':\n\nBuffer too small");
  EXPECT_EQ(platform.messages[0].title, L"Voderer");
  EXPECT_EQ(platform.messages[0].icon, BoxIcon::error);
  EXPECT_EQ(box.text, L"before");

  // A handler that returns normally keeps the program going, silently.
  EXPECT_TRUE(frontend::RunClickHandler(platform, form, &frontend::WindowEvents::Command3_Click));
  EXPECT_EQ(platform.messages.size(), 2u);  // only the About box
}

}  // namespace
}  // namespace voderer::ui
