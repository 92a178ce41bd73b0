// File names on Linux are UTF-8 bytes whatever the locale. These cases run
// once more under LC_ALL=C (the c_locale. registration), whose own encoding
// is ASCII.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/system_files.h"
#include "platform/utf8_text.h"
#include "temp_folder.h"

namespace voderer {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::TempFolder;

TEST(Utf8FileNames, HangulNamesAreWrittenFoundAndRemovedAsUtf8Bytes) {
  TempFolder temp("utf8-names");
  const std::string rom = "\xEB\xA1\xAC";               // the folder's name, in UTF-8
  const std::string game = "\xEA\xB2\x8C\xEC\x9E\x84";  // the file's
  fs::create_directory(temp.path() / rom);
  SystemFiles files;
  const std::wstring folder = FromUtf8(temp.path().native()) + L"/롬";
  EXPECT_TRUE(files.FolderExists(folder));

  const std::wstring script = folder + L"/게임.bat";
  const int number = files.FreeFile();
  files.Open(number, script, FileMode::kOutput);
  files.PrintLine(number, L"ndstool -x \"게임.nds\"");
  files.Close(number);
  EXPECT_EQ(ReadBytes(temp.path() / rom / (game + ".bat")), "ndstool -x \"" + game + ".nds\"\r\n");

  files.Kill(script);
  EXPECT_FALSE(fs::exists(temp.path() / rom / (game + ".bat")));
}

TEST(Utf8FileNames, TextWithoutAUtf8FormIsRefusedNeverReplaced) {
  SystemFiles files;
  const std::wstring lone_half(1, static_cast<wchar_t>(0xDC80));
  EXPECT_EQ(files.ToCodePage(L"game" + lone_half), std::nullopt);
  EXPECT_THROW(files.FolderExists(L"/tmp/" + lone_half), RuntimeError);
}

}  // namespace
}  // namespace voderer
