// The running system's file services, backend included: where the program
// folder is, how a path is joined and spelled, and the file questions the
// patch asks.
#include "platform/system_files.h"

#include <gtest/gtest.h>

#include <filesystem>

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

}  // namespace
}  // namespace voderer
