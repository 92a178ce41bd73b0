// runbat on scripts of its own: cmd's built-ins, program look-up, and going
// on after a failing command.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>

#include "temp_folder.h"

namespace {

namespace fs = std::filesystem;
using voderer::testing::ReadBytes;
using voderer::testing::TempFolder;
using voderer::testing::WriteBytes;

class RunbatTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* dist = std::getenv("VODERER_DIST_DIR");
    ASSERT_NE(dist, nullptr) << "VODERER_DIST_DIR names the folder that holds runbat";
    runbat_ = fs::path(dist) / "runbat";
    ASSERT_TRUE(fs::exists(runbat_));
  }

  // A shell script that appends its name and arguments to calls.txt.
  void Probe(const fs::path& file, const std::string& tag) {
    WriteBytes(file, "#!/bin/sh\nprintf '%s\\n' \"" + tag + " $*\" >> '" +
                         (dir() / "calls.txt").string() + "'\nexit ${PROBE_STATUS:-0}\n");
    fs::permissions(file, fs::perms::owner_all);
  }

  // Runs `script` (CR LF lines) from the temporary folder; the exit status.
  int Run(const std::string& script, const std::string& path_dir = "/usr/bin:/bin") {
    WriteBytes(dir() / "self.bat", script);
    const std::string command = "cd '" + dir().string() + "' && PATH='" + path_dir + "' '" +
                                runbat_.string() + "' self.bat >out.txt 2>err.txt";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  const fs::path& dir() const { return temp_.path(); }

  TempFolder temp_{"runbat"};
  fs::path runbat_;
};

TEST_F(RunbatTest, RunsThePatchScriptsCommandsAndDeletesItself) {
  fs::create_directories(dir() / "UNPACK" / "data" / "sub");
  WriteBytes(dir() / "UNPACK" / "data" / "sub" / "f", "x");
  fs::create_directories(dir() / "Bin");
  Probe(dir() / "Bin" / "ndstool", "bin");
  const int status =
      Run("@echo off\r\nrd /Q /S UNPACK\r\nMkDir UNPACK\r\ncd Bin\r\n"
          "ndstool -x \"a b\\100%%.nds\" -9 ..\\UNPACK/arm9.bin\r\ncd ..\r\n"
          "rd /Q /S UNPACK\r\ndel self.bat\r\n");
  EXPECT_EQ(status, 0) << ReadBytes(dir() / "err.txt");
  EXPECT_EQ(ReadBytes(dir() / "calls.txt"), "bin -x a b\\100%.nds -9 ../UNPACK/arm9.bin\n");
  EXPECT_FALSE(fs::exists(dir() / "UNPACK"));
  EXPECT_FALSE(fs::exists(dir() / "self.bat"));
  EXPECT_EQ(ReadBytes(dir() / "out.txt"), "");  // echo off
}

TEST_F(RunbatTest, LooksInTheCurrentFolderBeforePath) {
  fs::create_directories(dir() / "elsewhere");
  Probe(dir() / "elsewhere" / "probe", "path");
  Probe(dir() / "probe", "here");
  EXPECT_EQ(Run("@echo off\r\nprobe 1\r\n", (dir() / "elsewhere").string()), 0);
  fs::remove(dir() / "probe");
  EXPECT_EQ(Run("@echo off\r\nprobe 2\r\n", (dir() / "elsewhere").string()), 0);
  EXPECT_EQ(ReadBytes(dir() / "calls.txt"), "here 1\npath 2\n");
}

TEST_F(RunbatTest, AFailingCommandIsReportedAndTheScriptGoesOn) {
  Probe(dir() / "probe", "ran");
  const int status =
      Run("@echo off\r\nrd /Q /S missing\r\nno-such-tool x\r\ncd nowhere\r\n"
          "del missing.txt\r\nprobe last\r\n");
  EXPECT_NE(status, 0);
  EXPECT_EQ(ReadBytes(dir() / "calls.txt"), "ran last\n");
  const std::string errors = ReadBytes(dir() / "err.txt");
  EXPECT_NE(errors.find("'no-such-tool' is not recognized"), std::string::npos) << errors;
  EXPECT_NE(errors.find("Could Not Find"), std::string::npos) << errors;

  // A program's own failure counts too.
  EXPECT_NE(Run("@echo off\r\nprobe\r\nfalse\r\n"), 0);
}

TEST_F(RunbatTest, EchoesCommandsUntilEchoIsTurnedOff) {
  EXPECT_EQ(Run("MkDir a\r\n@MkDir b\r\necho off\r\nMkDir c\r\n"), 0);
  const std::string out = ReadBytes(dir() / "out.txt");
  EXPECT_NE(out.find(">MkDir a\n"), std::string::npos) << out;
  EXPECT_EQ(out.find("MkDir b"), std::string::npos) << out;
  EXPECT_EQ(out.find("MkDir c"), std::string::npos) << out;
  EXPECT_TRUE(fs::is_directory(dir() / "c"));
}

}  // namespace
