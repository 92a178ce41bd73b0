// SaveTextToFile on real files and on a platform whose file calls fail.
#include "patch/line_writer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "fake_platform.h"
#include "temp_folder.h"

namespace voderer {
namespace {

using testing::FakePlatform;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

class LineWriterTest : public ::testing::Test {
 protected:
  std::wstring File(const char* name) const { return (folder_.path() / name).wstring(); }
  TempFolder folder_{"line-writer"};
  FakePlatform platform_{folder_.path().wstring()};
};

TEST_F(LineWriterTest, OverwriteReplacesWhateverTheFileHeld) {
  const std::wstring file = File("script.bat");
  WriteBytes(file, "older and longer content\r\nsecond line\r\n");
  EXPECT_EQ(SaveTextToFile(platform_, file, L"@echo off", kTrue), kTrue);
  EXPECT_EQ(ReadBytes(file), "@echo off\r\n");

  // Any non-zero flag selects output mode, not only -1.
  EXPECT_EQ(SaveTextToFile(platform_, file, L"again", 1), kTrue);
  EXPECT_EQ(ReadBytes(file), "again\r\n");
}

TEST_F(LineWriterTest, AppendCreatesAMissingFileThenAddsLines) {
  const std::wstring file = File("new.bat");
  EXPECT_EQ(SaveTextToFile(platform_, file, L"first", kFalse), kTrue);
  EXPECT_EQ(SaveTextToFile(platform_, file, L"", kFalse), kTrue);
  EXPECT_EQ(SaveTextToFile(platform_, file, L"\"quoted\"  ", kFalse), kTrue);
  EXPECT_EQ(ReadBytes(file), "first\r\n\r\n\"quoted\"  \r\n");
}

TEST_F(LineWriterTest, MissingFolderGivesFalseAndCreatesNothing) {
  const auto missing = folder_.path() / "no such folder";
  const std::wstring file = (missing / "script.bat").wstring();
  EXPECT_EQ(SaveTextToFile(platform_, file, L"line", kTrue), kFalse);
  EXPECT_EQ(SaveTextToFile(platform_, file, L"line", kFalse), kFalse);
  EXPECT_FALSE(std::filesystem::exists(missing));
  // No file number stays taken by the failed calls.
  EXPECT_EQ(SaveTextToFile(platform_, File("after.bat"), L"ok", kTrue), kTrue);
}

// Korean text goes out in the code page. The ctest registrations that set a
// Korean locale also give the bytes that locale must produce
// (VODERER_KOREAN_BYTES, hex); elsewhere the line must match whatever the
// code page makes of it, or fail cleanly when it cannot carry it.
TEST_F(LineWriterTest, NonAsciiTextIsWrittenInTheCodePage) {
  const std::wstring text = L"\uD55C\uAD6D";  // "Korea" in Hangul
  const std::wstring file = File("korean.bat");
  const std::optional<std::string> narrow = platform_.ToCodePage(text);
  if (const char* hex = std::getenv("VODERER_KOREAN_BYTES")) {
    std::string expected;
    for (std::size_t i = 0; hex[i] != '\0' && hex[i + 1] != '\0'; i += 2) {
      expected += static_cast<char>(std::stoi(std::string(hex + i, 2), nullptr, 16));
    }
    ASSERT_TRUE(narrow.has_value());
    EXPECT_EQ(*narrow, expected);
  }
  if (narrow) {
    EXPECT_EQ(SaveTextToFile(platform_, file, text, kTrue), kTrue);
    EXPECT_EQ(ReadBytes(file), *narrow + "\r\n");
    EXPECT_NE(*narrow, "??");
  } else {
    // Never a substitute character: the line is refused instead.
    EXPECT_EQ(SaveTextToFile(platform_, file, text, kTrue), kFalse);
    EXPECT_EQ(ReadBytes(file).find('?'), std::string::npos);
  }
}

// File calls that fail on demand, on top of the real ones.
class FailingFiles : public FakePlatform {
 public:
  using FakePlatform::FakePlatform;
  bool fail_free_file = false;
  bool fail_print = false;
  int close_failures = 0;  // how many of the next closes fail
  int closes = 0;

  int FreeFile() override {
    if (fail_free_file) throw RuntimeError(err::kTooManyFiles, L"Too many files");
    return FakePlatform::FreeFile();
  }
  void PrintLine(int n, std::wstring_view text) override {
    if (fail_print) throw RuntimeError(err::kDeviceIO, L"Device I/O error");
    FakePlatform::PrintLine(n, text);
  }
  void Close(int n) override {
    ++closes;
    FakePlatform::Close(n);  // the stream is gone either way, as in the runtime
    if (close_failures > 0) {
      --close_failures;
      throw RuntimeError(err::kDeviceIO, L"Device I/O error");
    }
  }
};

TEST_F(LineWriterTest, FailuresBeforeTheLineIsWrittenAreTrappedAsFalse) {
  FailingFiles files(folder_.path().wstring());
  files.fail_free_file = true;
  EXPECT_EQ(SaveTextToFile(files, File("a.bat"), L"x", kTrue), kFalse);

  files.fail_free_file = false;
  files.fail_print = true;
  files.closes = 0;
  EXPECT_EQ(SaveTextToFile(files, File("b.bat"), L"x", kTrue), kFalse);
  EXPECT_EQ(files.closes, 1);  // the trap closed what was open
  // Output mode opened the file before the write failed: it is left empty.
  EXPECT_EQ(ReadBytes(File("b.bat")), "");
}

TEST_F(LineWriterTest, AFailedCloseIsRetriedOnceAndTheLineStaysWritten) {
  FailingFiles files(folder_.path().wstring());
  files.close_failures = 1;
  EXPECT_EQ(SaveTextToFile(files, File("c.bat"), L"kept", kTrue), kTrue);
  EXPECT_EQ(files.closes, 2);
  EXPECT_EQ(ReadBytes(File("c.bat")), "kept\r\n");
}

TEST_F(LineWriterTest, ACloseFailingInsideTheTrapReachesTheCaller) {
  FailingFiles files(folder_.path().wstring());
  files.close_failures = 2;  // the normal close and its retry
  EXPECT_THROW(SaveTextToFile(files, File("d.bat"), L"x", kTrue), RuntimeError);

  FailingFiles failing_write(folder_.path().wstring());
  failing_write.fail_print = true;
  failing_write.close_failures = 1;  // the close reached from the trap
  EXPECT_THROW(SaveTextToFile(failing_write, File("e.bat"), L"x", kTrue), RuntimeError);
}

}  // namespace
}  // namespace voderer
