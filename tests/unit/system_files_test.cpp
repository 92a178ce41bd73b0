// The running system's file services, backend included: where the program
// folder is, how a path is joined and spelled, the file questions the patch
// asks, and UTF-8 text.
#include "platform/system_files.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/utf8_text.h"
#include "temp_folder.h"

namespace voderer {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

TEST(SystemFiles, TheProgramFolderHoldsTheRunningExecutableAndTakesNamesAfterTheSeparator) {
  SystemFiles files;
  const std::wstring folder = files.ProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(folder.back(), PathSeparator());
  const fs::path named = folder + PathSeparator() + L"system_files_test";
  EXPECT_TRUE(fs::exists(named) || fs::exists(fs::path(named) += ".exe")) << named;
}

TEST(SystemFiles, LinesGoToTheFileThePathNamesAndKillRemovesIt) {
  TempFolder temp("system-files");
  SystemFiles files;
  const std::wstring file = temp.path().wstring() + PathSeparator() + L"script.bat";
  const int number = files.FreeFile();
  files.Open(number, file, FileMode::kOutput);
  files.PrintLine(number, L"@echo off");
  files.Close(number);
  EXPECT_EQ(ReadBytes(temp.path() / "script.bat"), "@echo off\r\n");

  files.Kill(file);
  EXPECT_FALSE(fs::exists(temp.path() / "script.bat"));
  EXPECT_NO_THROW(files.Kill(file));  // already gone: no error
}

TEST(SystemFiles, FolderExistsOnlyForAFolder) {
  TempFolder temp("system-files");
  SystemFiles files;
  fs::create_directory(temp.path() / "Bin");
  WriteBytes(temp.path() / "file", "x");
  EXPECT_TRUE(files.FolderExists((temp.path() / "Bin").wstring()));
  EXPECT_FALSE(files.FolderExists((temp.path() / "file").wstring()));
  EXPECT_FALSE(files.FolderExists((temp.path() / "missing").wstring()));
}

TEST(SystemFiles, OpeningInAMissingFolderIsPathNotFound) {
  TempFolder temp("system-files");
  SystemFiles files;
  const std::wstring file = (temp.path() / "missing" / "script.bat").wstring();
  try {
    files.Open(files.FreeFile(), file, FileMode::kAppend);
    ADD_FAILURE() << "opened a file in a missing folder";
  } catch (const RuntimeError& error) {
    EXPECT_EQ(error.Number(), err::kPathNotFound);
    EXPECT_EQ(error.Description(), L"Path not found");
  }
  // The failed open took no number.
  EXPECT_EQ(files.FreeFile(), 1);
}

TEST(SystemFiles, ASmallFileIsReadWholeAndOnlyWithinItsLimit) {
  TempFolder temp("system-files");
  SystemFiles files;
  const std::wstring file = (temp.path() / L"deruzuz.result").wstring();
  EXPECT_EQ(files.ReadSmallFile(file, 10), std::nullopt);  // missing: no error
  WriteBytes(temp.path() / L"deruzuz.result", std::string("line\n\0\xFF", 7));
  EXPECT_EQ(files.ReadSmallFile(file, 7), std::string("line\n\0\xFF", 7));
  EXPECT_THROW(files.ReadSmallFile(file, 6), RuntimeError);
  // A folder is no file to read.
  EXPECT_THROW(files.ReadSmallFile(temp.path().wstring(), 100), RuntimeError);
}

// Korean and astral text both ways, on either width of wchar_t (UTF-16
// pairs on Windows).
TEST(Utf8Text, KoreanAndAstralTextRoundTripAndBadBytesAreReplaced) {
  const std::wstring text = L"/롬/게임 \U0001F3AE.nds";
  EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
  EXPECT_EQ(ToUtf8(L"바"), "\xEB\xB0\x94");
  EXPECT_EQ(ToUtf8(L"\U0001F3AE"), "\xF0\x9F\x8E\xAE");
  // A stray continuation byte, a truncated sequence and an overlong '/'.
  EXPECT_EQ(FromUtf8("a\x80"
                     "b\xEB\xB0"
                     "\xC0\xAF"),
            L"a\uFFFDb\uFFFD\uFFFD\uFFFD\uFFFD");
  // An encoded surrogate is no character.
  EXPECT_EQ(FromUtf8("\xED\xA0\x80"), L"\uFFFD\uFFFD\uFFFD");
  if constexpr (sizeof(wchar_t) == 2) {
    // A lone half of a pair cannot be written.
    EXPECT_EQ(ToUtf8(std::wstring(1, static_cast<wchar_t>(0xD800))), "\xEF\xBF\xBD");
  }
}

// A file name must name the very file: where the forms above put U+FFFD,
// the exact ones give nothing.
TEST(Utf8Text, TheExactFormsRefuseWhatTheOthersReplace) {
  const std::wstring text = L"/롬/게임 \U0001F3AE.nds";
  EXPECT_EQ(ToUtf8Exact(text), ToUtf8(text));
  EXPECT_EQ(FromUtf8Exact(ToUtf8(text)), text);
  EXPECT_EQ(FromUtf8Exact("\xEF\xBF\xBD"), L"\uFFFD");  // one of its own is kept
  EXPECT_EQ(FromUtf8Exact("a\x80"), std::nullopt);
  EXPECT_EQ(FromUtf8Exact("\xEB\xB0"), std::nullopt);
  EXPECT_EQ(ToUtf8Exact(std::wstring(1, static_cast<wchar_t>(0xD800))), std::nullopt);
}

}  // namespace
}  // namespace voderer
