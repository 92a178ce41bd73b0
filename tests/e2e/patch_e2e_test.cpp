// The patch action end to end: the script is written into a temporary
// program folder and run by the system's batch runner (runbat on Linux,
// cmd.exe under Windows), with a stand-in ndstool in Bin.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <cstdlib>
#include <sstream>
#include <thread>
#include <vector>

#include "fake_platform.h"
#include "patch/patch_script.h"
#include "platform/system.h"
#include "temp_folder.h"

#ifdef _WIN32
#include <stdlib.h>
#else
#include <dirent.h>
#include <unistd.h>
#endif

namespace voderer {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::TempFolder;

// The program folder is the temporary one; launching is the system's.
class SystemLaunch : public testing::FakePlatform {
 public:
  using FakePlatform::FakePlatform;
  void LaunchScript(const std::wstring& script, const std::wstring& folder,
                    const EnvironmentChanges& environment) override {
    system_.launch().LaunchScript(script, folder, environment);
  }
  void LaunchProgram(const std::wstring& program, const std::vector<std::wstring>& arguments,
                     const std::wstring& folder, const EnvironmentChanges& environment) override {
    system_.launch().LaunchProgram(program, arguments, folder, environment);
  }
  bool ScriptRunning() override { return system_.launch().ScriptRunning(); }
  void SetEndNotice(std::function<void()> notice) override {
    system_.launch().SetEndNotice(std::move(notice));
  }

 private:
  SystemPlatform system_;
};

void SetEnvironment(const char* name, const fs::path& value) {
#ifdef _WIN32
  _wputenv_s(fs::path(name).wstring().c_str(), value.wstring().c_str());
#else
  setenv(name, value.c_str(), 1);
#endif
}

template <typename Condition>
bool WaitUntil(Condition done, std::chrono::seconds limit = std::chrono::seconds(90)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

struct Call {
  std::string cwd;
  std::string result_file;
  bool unpack_existed = false;
  std::vector<std::string> args;
  std::vector<std::string> events;
};

std::vector<Call> ReadCalls(const fs::path& log) {
  std::vector<Call> calls;
  std::istringstream in(ReadBytes(log));
  for (std::string line; std::getline(in, line);) {
    if (line == "call") {
      calls.emplace_back();
    } else if (calls.empty()) {
      continue;
    } else if (line.rfind("cwd=", 0) == 0) {
      calls.back().cwd = line.substr(4);
    } else if (line.rfind("result=", 0) == 0) {
      calls.back().result_file = line.substr(7);
    } else if (line.rfind("unpack=", 0) == 0) {
      calls.back().unpack_existed = line == "unpack=yes";
    } else if (line.rfind("arg=", 0) == 0) {
      calls.back().args.push_back(line.substr(4));
    } else {
      calls.back().events.push_back(line);
    }
  }
  return calls;
}

std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  std::istringstream in(text);
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

#ifndef _WIN32
// Children of this process that have ended but were never waited for.
int ZombieChildren() {
  int zombies = 0;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return -1;
  while (dirent* entry = readdir(proc)) {
    const std::string name = entry->d_name;
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;  // not a process
    std::istringstream stat(ReadBytes(fs::path("/proc") / entry->d_name / "stat"));
    std::string all = stat.str();
    const std::size_t paren = all.rfind(')');
    if (paren == std::string::npos) continue;
    std::istringstream fields(all.substr(paren + 1));
    char state = 0;
    long parent = 0;
    fields >> state >> parent;
    if (parent == getpid() && state == 'Z') ++zombies;
  }
  closedir(proc);
  return zombies;
}
#endif

TEST(PatchEndToEnd, TheScriptUnpacksAndRebuildsWithoutTheActionWaiting) {
  TempFolder temp("patch-e2e");
  // A variable's name in the folder's: cmd would expand it, were the
  // folder ever on its command line.
  const fs::path program = temp.path() / "program %PATH% folder";
  const fs::path bin = program / "Bin";
  fs::create_directories(bin);
  const fs::path self = SystemFiles().ProgramFolder();
#ifdef _WIN32
  fs::copy_file(self / "standin_ndstool.exe", bin / "ndstool.exe");
#else
  fs::copy_file(self / "standin_ndstool", bin / "ndstool");
  const char* dist = std::getenv("VODERER_DIST_DIR");
  ASSERT_NE(dist, nullptr) << "VODERER_DIST_DIR names the folder that holds runbat";
  fs::copy_file(fs::path(dist) / "runbat", program / "runbat");
#endif
  const fs::path roms = temp.path() / "my roms";
  fs::create_directories(roms);
  const fs::path rom = roms / "100% game.nds";
  testing::WriteBytes(rom, "not really a ROM");

  const fs::path log = temp.path() / "ndstool.log";
  const fs::path release = temp.path() / "release";
  SetEnvironment("VODERER_STANDIN_LOG", log);
  SetEnvironment("VODERER_STANDIN_RELEASE", release);

  SystemLaunch platform(program.wstring());
  // The end, as the window hears of it: once, after ScriptRunning turned
  // false, on a thread of the launcher.
  std::atomic<int> ends{0};
  std::atomic<bool> running_at_end{true};
  const std::thread::id ui_thread = std::this_thread::get_id();
  std::atomic<bool> on_ui_thread{false};
  platform.SetEndNotice([&] {
    running_at_end = platform.ScriptRunning();
    on_ui_thread = std::this_thread::get_id() == ui_thread;
    ++ends;
  });
  CommonDialogState dialog{L"", L"", rom.wstring(), L""};
  RunPatch(platform, platform, dialog);

  // Still held in its first ndstool call: the action returned without
  // waiting, and a second patch is refused meanwhile.
  ASSERT_TRUE(WaitUntil([&] { return ReadCalls(log).size() == 1; })) << "ndstool never ran";
  EXPECT_TRUE(platform.ScriptRunning());
  EXPECT_THROW(RunPatch(platform, platform, dialog), ScriptStillRunning);
  testing::WriteBytes(release, "");

  ASSERT_TRUE(WaitUntil([&] { return ends > 0; })) << "the end was never told";
  EXPECT_FALSE(platform.ScriptRunning());
  EXPECT_FALSE(running_at_end);
  EXPECT_FALSE(on_ui_thread);
  const std::vector<Call> calls = ReadCalls(log);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].events, (std::vector<std::string>{"released", "end"}));
  EXPECT_EQ(calls[1].events, (std::vector<std::string>{"end"}));

#ifdef _WIN32
  const std::string up = "..\\UNPACK/";
#else
  const std::string up = "../UNPACK/";
#endif
  const std::u8string rom_u8 = rom.u8string();
  const std::string rom_arg(rom_u8.begin(), rom_u8.end());
  std::vector<std::string> unpack = Words("-v -x");
  unpack.push_back(rom_arg);
  std::vector<std::string> rebuild = Words("-c");
  rebuild.push_back(rom_arg);
  for (const char* option : {"-9", "-7", "-y9", "-y7", "-d", "-y", "-t", "-h"}) {
    static const std::map<std::string, std::string> part = {
        {"-9", "arm9.bin"}, {"-7", "arm7.bin"}, {"-y9", "y9.bin"},    {"-y7", "y7.bin"},
        {"-d", "data"},     {"-y", "overlay"},  {"-t", "banner.bin"}, {"-h", "header.bin"}};
    unpack.insert(unpack.end(), {option, up + part.at(option)});
    rebuild.insert(rebuild.end(),
                   {option, std::string(option) == "-7" ? "arm7.bin" : up + part.at(option)});
  }
  EXPECT_EQ(calls[0].args, unpack);
  EXPECT_EQ(calls[1].args, rebuild);
  for (const Call& call : calls) {
    EXPECT_TRUE(fs::equivalent(fs::u8path(call.cwd), bin)) << call.cwd;
    EXPECT_TRUE(call.unpack_existed);
    // Passed on by the runner: the result file in the program folder.
    EXPECT_EQ(fs::u8path(call.result_file), program / "deruzuz.result");
  }
  EXPECT_FALSE(fs::exists(program / "UNPACK"));
  EXPECT_FALSE(fs::exists(program / "deruzuz.bat"));
#ifndef _WIN32
  EXPECT_EQ(ZombieChildren(), 0);
#endif
  // Told once; a notice replaced while a script runs (the window closing)
  // is not run for it. The new one runs where the old one would have, so
  // waiting for it settles the count without counting on speed.
  EXPECT_EQ(ends, 1);
  fs::remove(log);
  fs::remove(release);
  RunPatch(platform, platform, dialog);
  ASSERT_TRUE(WaitUntil([&] { return ReadCalls(log).size() == 1; })) << "ndstool never ran again";
  std::atomic<int> later_ends{0};
  platform.SetEndNotice([&] { ++later_ends; });
  testing::WriteBytes(release, "");
  ASSERT_TRUE(WaitUntil([&] { return later_ends > 0; })) << "the later end was never told";
  EXPECT_EQ(ends, 1);
  platform.SetEndNotice(nullptr);
}

}  // namespace
}  // namespace voderer
