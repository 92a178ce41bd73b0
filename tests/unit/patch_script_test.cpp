// The nine lines, and the patch action's behaviour on a fake platform.
#include "patch/patch_script.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>

#include "fake_platform.h"
#include "temp_folder.h"

namespace voderer {
namespace {

using testing::FakePlatform;
using testing::ReadBytes;
using testing::TempFolder;

const std::wstring kUnpackTail =
    L" -9 ..\\UNPACK/arm9.bin -7 ..\\UNPACK/arm7.bin -y9 ..\\UNPACK/y9.bin -y7 ..\\UNPACK/y7.bin"
    L" -d ..\\UNPACK/data -y ..\\UNPACK/overlay -t ..\\UNPACK/banner.bin -h ..\\UNPACK/header.bin";
const std::wstring kRebuildTail =
    L" -9 ..\\UNPACK/arm9.bin -7 arm7.bin -y9 ..\\UNPACK/y9.bin -y7 ..\\UNPACK/y7.bin"
    L" -d ..\\UNPACK/data -y ..\\UNPACK/overlay -t ..\\UNPACK/banner.bin -h ..\\UNPACK/header.bin";

std::array<std::wstring, 9> Expected(const std::wstring& quoted_rom) {
  return {L"@echo off",
          L"rd /Q /S UNPACK",
          L"MkDir UNPACK",
          L"cd Bin",
          L"ndstool -v -x \"" + quoted_rom + L"\"" + kUnpackTail,
          L"ndstool -c \"" + quoted_rom + L"\"" + kRebuildTail,
          L"cd ..",
          L"rd /Q /S UNPACK",
          L"del deruzuz.bat"};
}

TEST(PatchScriptLines, PathWithSpacesStandsWholeBetweenTheQuotes) {
  EXPECT_EQ(PatchScriptLines(L"C:\\My ROMs\\Some Game (K).nds"),
            Expected(L"C:\\My ROMs\\Some Game (K).nds"));
}

TEST(PatchScriptLines, EmptySelectionLeavesTwoQuotesSideBySide) {
  const auto lines = PatchScriptLines(L"");
  EXPECT_EQ(lines, Expected(L""));
  EXPECT_NE(lines[4].find(L"-x \"\" -9"), std::wstring::npos);
}

TEST(PatchScriptLines, PercentSignsOfThePathAreDoubled) {
  EXPECT_EQ(PatchScriptLines(L"C:\\ROMs\\100% Mario %PATH%.nds"),
            Expected(L"C:\\ROMs\\100%% Mario %%PATH%%.nds"));
}

// A program folder of its own; launches are recorded, files are real.
class PatchActionTest : public ::testing::Test {
 protected:
  std::filesystem::path Script() const { return folder_.path() / "deruzuz.bat"; }
  std::string ExpectedBytes(const std::wstring& quoted_rom) {
    std::string bytes;
    for (const std::wstring& line : Expected(quoted_rom)) {
      bytes += *platform_.ToCodePage(line) + "\r\n";
    }
    return bytes;
  }

  TempFolder folder_{"patch-action"};
  FakePlatform platform_{folder_.path().wstring()};
  CommonDialogState dialog_{L"", L"", L"C:\\ROMs\\100% Mario.nds", L"100% Mario.nds"};
};

TEST_F(PatchActionTest, WritesTheNineLinesAndStartsTheScriptInTheProgramFolder) {
  RunPatch(platform_, platform_, dialog_);
  EXPECT_EQ(ReadBytes(Script()), ExpectedBytes(L"C:\\ROMs\\100%% Mario.nds"));
  ASSERT_EQ(platform_.launches.size(), 1u);
  EXPECT_EQ(platform_.launches[0].script, ScriptPath(platform_));
  EXPECT_EQ(std::filesystem::path(platform_.launches[0].script), Script());
  EXPECT_EQ(platform_.launches[0].working_folder, folder_.path().wstring());

  // A second patch starts the file afresh rather than adding to it.
  RunPatch(platform_, platform_, dialog_);
  EXPECT_EQ(ReadBytes(Script()), ExpectedBytes(L"C:\\ROMs\\100%% Mario.nds"));
  EXPECT_EQ(platform_.launches.size(), 2u);
}

TEST_F(PatchActionTest, RefusesWhileTheEarlierScriptStillRuns) {
  platform_.script_running = true;
  EXPECT_THROW(RunPatch(platform_, platform_, dialog_), ScriptStillRunning);
  EXPECT_FALSE(std::filesystem::exists(Script()));
  EXPECT_TRUE(platform_.launches.empty());
  try {
    RunPatch(platform_, platform_, dialog_);
  } catch (const RuntimeError& error) {  // the window may treat it as any run-time error
    EXPECT_FALSE(error.Description().empty());
  }
}

TEST_F(PatchActionTest, RefusesWithoutTheToolFolderAndWritesNothing) {
  // The script's "cd Bin" would fail and its "cd .." would then leave the
  // program folder: its "rd /Q /S UNPACK" must never run there.
  platform_.folders_exist = false;
  try {
    RunPatch(platform_, platform_, dialog_);
    ADD_FAILURE() << "patched without a Bin folder";
  } catch (const ToolFolderMissing& error) {
    EXPECT_EQ(error.Number(), err::kPathNotFound);
    EXPECT_NE(error.Description().find(L"Bin is missing"), std::wstring::npos);
    // Then what to do about it.
    EXPECT_TRUE(error.Description().ends_with(L"then press \"P\" again.")) << error.Description();
  }
  EXPECT_FALSE(std::filesystem::exists(Script()));
  EXPECT_TRUE(platform_.launches.empty());
}

TEST_F(PatchActionTest, AnEarlierResultFileGoesBeforeTheScriptIsToldWhereToWrite) {
  // Left by a patch whose window closed before its script ended: never to
  // be read as this patch's outcome.
  const std::filesystem::path result = folder_.path() / "deruzuz.result";
  testing::WriteBytes(result, "ndstool-result 1 unpack ok #53392C27\n");
  // So are an undo record and an undo's result file left the same way.
  const std::filesystem::path record = folder_.path() / "deruzuz.undo";
  const std::filesystem::path undo_result = folder_.path() / "deruzuz.undo.result";
  testing::WriteBytes(record, "record");
  testing::WriteBytes(undo_result, "result");
  RunPatch(platform_, platform_, dialog_);
  EXPECT_FALSE(std::filesystem::exists(result));
  EXPECT_FALSE(std::filesystem::exists(record));
  EXPECT_FALSE(std::filesystem::exists(undo_result));
  ASSERT_EQ(platform_.launches.size(), 1u);
  ASSERT_FALSE(platform_.launches[0].environment.empty());
  EXPECT_EQ(platform_.launches[0].environment[0].name, L"VODERER_RESULT_FILE");
  EXPECT_EQ(std::filesystem::path(*platform_.launches[0].environment[0].value), result);

  // One that cannot be removed: nothing is written or started.
  std::filesystem::remove(Script());
  std::filesystem::create_directories(result / "in the way");
  try {
    RunPatch(platform_, platform_, dialog_);
    ADD_FAILURE() << "patched with an old result file in place";
  } catch (const PatchNotStarted& error) {
    EXPECT_NE(error.Description().find(L"deruzuz.result of an earlier patch could not be removed"),
              std::wstring::npos)
        << error.Description();
  }
  EXPECT_FALSE(std::filesystem::exists(Script()));
  EXPECT_EQ(platform_.launches.size(), 1u);
}

// A code page that cannot carry the character U+2603, with an optional
// other spelling of the ROM path.
class NarrowCodePage : public FakePlatform {
 public:
  using FakePlatform::FakePlatform;
  std::optional<std::wstring> other_name;
  std::optional<std::string> ToCodePage(std::wstring_view text) override {
    if (text.find(L'\u2603') != std::wstring_view::npos) return std::nullopt;
    return FakePlatform::ToCodePage(text);
  }
  std::optional<std::wstring> CodePageSafePath(const std::wstring&) override { return other_name; }
};

TEST_F(PatchActionTest, AnUncarriablePathIsReplacedByItsOtherSpellingOrRefused) {
  NarrowCodePage narrow(folder_.path().wstring());
  dialog_.FileName = L"C:\\ROMs\\snow\u2603man.nds";

  narrow.other_name = L"C:\\ROMs\\SNOWMA~1.NDS";
  RunPatch(narrow, narrow, dialog_);
  EXPECT_EQ(ReadBytes(Script()), ExpectedBytes(L"C:\\ROMs\\SNOWMA~1.NDS"));
  ASSERT_EQ(narrow.launches.size(), 1u);

  std::filesystem::remove(Script());
  for (const std::optional<std::wstring>& other :
       {std::optional<std::wstring>(), std::optional<std::wstring>(L"C:\\\u2603.nds")}) {
    narrow.other_name = other;
    EXPECT_THROW(RunPatch(narrow, narrow, dialog_), RuntimeError);
    EXPECT_FALSE(std::filesystem::exists(Script()));
    EXPECT_EQ(narrow.launches.size(), 1u);
  }
}

// Fails the print of every line that contains `needle`.
class FailingLine : public FakePlatform {
 public:
  using FakePlatform::FakePlatform;
  std::wstring needle;
  int opens = 0;
  void Open(int n, const std::wstring& path, FileMode mode) override {
    ++opens;
    FakePlatform::Open(n, path, mode);
  }
  void PrintLine(int n, std::wstring_view text) override {
    if (text.find(needle) != std::wstring_view::npos) {
      throw RuntimeError(err::kDeviceIO, L"Device I/O error");
    }
    FakePlatform::PrintLine(n, text);
  }
};

TEST_F(PatchActionTest, AnIncompleteScriptIsRemovedAndNeverStarted) {
  FailingLine failing(folder_.path().wstring());
  failing.needle = L"ndstool -c";
  try {
    RunPatch(failing, failing, dialog_);
    ADD_FAILURE() << "no error for a missing line";
  } catch (const RuntimeError& error) {
    EXPECT_NE(error.Description().find(L"Line 6 "), std::wstring::npos);
  }
  EXPECT_EQ(failing.opens, 9);  // the lines after the failed one were still attempted
  EXPECT_FALSE(std::filesystem::exists(Script()));
  EXPECT_TRUE(failing.launches.empty());

  // Every line fails when the program folder is gone.
  FakePlatform gone((folder_.path() / "gone").wstring());
  EXPECT_THROW(RunPatch(gone, gone, dialog_), RuntimeError);
  EXPECT_TRUE(gone.launches.empty());

  // Nothing could be written, so there is nothing to remove either, even
  // where removing is refused outright (a file stands for the folder here,
  // as a read-only mount does in the window's test).
  std::ofstream(folder_.path() / "a-file").put('x');
  FakePlatform not_a_folder((folder_.path() / "a-file").wstring());
  try {
    RunPatch(not_a_folder, not_a_folder, dialog_);
    ADD_FAILURE() << "no error when no line could be written";
  } catch (const RuntimeError& error) {
    // Not one line: the script as a whole, and where the program can write.
    EXPECT_EQ(error.Number(), err::kPathFileAccess);
    EXPECT_EQ(error.Description().rfind(L"The patch script ", 0), 0u) << error.Description();
    EXPECT_NE(
        error.Description().find(L"\n\nMove the program's folder to a place you can write to"),
        std::wstring::npos);
    EXPECT_EQ(error.Description().find(L"could not be removed"), std::wstring::npos);
  }
}

}  // namespace
}  // namespace voderer
