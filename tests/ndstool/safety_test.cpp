// -c never harms the image: every input is checked before anything is
// written, and a failed write leaves the target as it was.
#ifndef _WIN32
#include <signal.h>
#endif
#include <gtest/gtest.h>

#include "tool_fixture.h"

namespace ndstest {
namespace {

class Safety : public ToolTest {
 protected:
  void SetUp() override {
    ToolTest::SetUp();
    MiniRom desc;
    desc.dsi = true;
    desc.arm9_overlays = 1;
    desc.arm7_overlays = 1;
    desc.files = {{"dir/file.bin", noise(0x2000, 1)}, {"top", noise(0x10, 2)}};
    image_ = build_rom(desc);
    rom_ = dir_ / "rom.nds";
    work_ = dir_ / "UNPACK";
    write_bytes(rom_, image_);
    ASSERT_EQ(unpack(rom_, work_).status, 0);
    write_bytes(dir_ / "big-arm7.bin", arm7_noise(0x9000, 3));  // would move everything after it
  }

  // The rebuild failed for this kind of cause with one line naming what
  // (named), and changed nothing.
  void expect_refused(const RunResult& r, nds::ErrorKind kind, const std::string& named) {
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.failure, kind) << r.err;
    EXPECT_NE(r.err.find(named), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("image left unchanged"), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_TRUE(read_bytes(rom_) == image_) << "the image changed";
    for (const auto& e : fs::directory_iterator(dir_))
      EXPECT_EQ(u8(e.path().filename()).find(".ndstool-tmp"), std::string::npos)
          << "temporary file left";
  }

  Bytes image_;
  fs::path rom_, work_;
};

TEST_F(Safety, MissingOrUnreadablePartLeavesTheImage) {
  const std::pair<const char*, bool> parts[] = {
      {"arm9.bin", false},   {"arm7.bin", false},   {"y9.bin", false}, {"y7.bin", false},
      {"banner.bin", false}, {"header.bin", false}, {"data", true},    {"overlay", true}};
  for (const auto& [name, folder] : parts) {
    SCOPED_TRACE(name);
    fs::path p = work_ / name, aside = dir_ / "aside";
    fs::rename(p, aside);
    // The header part is written last: without it, the unpack never finished.
    // The replacement ARM7 is the user's: its absence is a kind of its own.
    const bool header = std::string_view(name) == "header.bin";
    const bool arm7 = std::string_view(name) == "arm7.bin";
    expect_refused(rebuild(rom_, work_),
                   header ? nds::ErrorKind::NothingUnpacked
                   : arm7 ? nds::ErrorKind::MissingArm7
                          : nds::ErrorKind::ReadFailed,
                   std::string("UNPACK\\") + name);
    // Unreadable: a folder where a file belongs, a file where a folder belongs.
    if (folder)
      write_bytes(p, Bytes{1, 2, 3});
    else
      fs::create_directory(p);
    expect_refused(rebuild(rom_, work_), nds::ErrorKind::ReadFailed,
                   std::string("UNPACK\\") + name);
    fs::remove(p);
    fs::rename(aside, p);
  }
  // A file of the data or overlay folder, named in the message.
  fs::path overlay = work_ / "overlay" / "overlay_0000.bin";
  fs::rename(overlay, dir_ / "aside");
  expect_refused(rebuild(rom_, work_), nds::ErrorKind::ReadFailed, "overlay_0000.bin");
  fs::rename(dir_ / "aside", overlay);
  // The tool folder's arm7.bin is missing.
  expect_refused(rebuild(rom_, work_, u8(dir_ / "Bin" / "arm7.bin")), nds::ErrorKind::MissingArm7,
                 "arm7.bin");
  EXPECT_EQ(rebuild(rom_, work_).status, 0) << "the parts are whole again";
}

TEST_F(Safety, ReadOnlyTargetIsNotReplaced) {
  fs::permissions(rom_, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  expect_refused(rebuild(rom_, work_, u8(dir_ / "big-arm7.bin")), nds::ErrorKind::WriteFailed,
                 "rom.nds");
  fs::permissions(rom_, fs::perms::owner_write, fs::perm_options::add);
}

TEST_F(Safety, WriteFailureAtAnyPointLeavesTheImage) {
  for (std::uint64_t budget :
       {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{0x200}, std::uint64_t{0x4000},
        std::uint64_t{image_.size()}, std::uint64_t{image_.size() + 0x8000}}) {
    SCOPED_TRACE(budget);
    write_limit = budget;
    expect_refused(rebuild(rom_, work_, u8(dir_ / "big-arm7.bin")), nds::ErrorKind::WriteFailed,
                   "rom.nds");
  }
  write_limit.reset();
  EXPECT_EQ(rebuild(rom_, work_, u8(dir_ / "big-arm7.bin")).status, 0);
  EXPECT_GT(read_bytes(rom_).size(), image_.size());
}

TEST_F(Safety, LinkToTheImageStaysALink) {
  std::error_code ec;
  fs::create_symlink(rom_, dir_ / "link.nds", ec);
  if (ec) GTEST_SKIP() << "no symbolic links here: " << ec.message();
  RunResult r = rebuild(dir_ / "link.nds", work_, u8(dir_ / "big-arm7.bin"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.nds"));
  EXPECT_GT(read_bytes(rom_).size(), image_.size()) << "the linked image was replaced";
}

TEST_F(Safety, TemporaryFileOfAKilledRunDoesNotStopTheNext) {
  write_bytes(dir_ / ".ndstool-tmp-1-rom.nds", noise(100, 1));
  write_bytes(dir_ / (".ndstool-tmp-" + std::string("99999-rom.nds")), noise(100, 2));
  RunResult r = rebuild(rom_, work_);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(read_bytes(rom_) == image_);
#ifndef _WIN32
  // A leftover is as large as the image: one whose run has ended goes.
  if (::kill(99999, 0) != 0) {
    EXPECT_FALSE(std::filesystem::exists(dir_ / ".ndstool-tmp-99999-rom.nds"));
  }
  EXPECT_TRUE(std::filesystem::exists(dir_ / ".ndstool-tmp-1-rom.nds"));  // process 1 still runs
#endif
}

TEST_F(Safety, UnpackRefusesAFolderThatIsNotEmptyAndLeavesNoHalfResult) {
  fs::path work = dir_ / "again";
  fs::create_directories(work / "data");
  write_bytes(work / "data" / "stray", Bytes{1});
  RunResult r = unpack(rom_, work);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.failure, nds::ErrorKind::WriteFailed) << r.err;
  EXPECT_FALSE(fs::exists(work / "header.bin")) << "a rebuild must not start from a half unpack";
}

TEST_F(Safety, UsageForAnythingButTheTwoForms) {
  std::vector<std::string> good = {"-c", u8(rom_)};
  for (auto& a : part_args(work_)) good.push_back(a);
  auto without = [&](std::size_t i, std::size_t n) {
    auto v = good;
    v.erase(v.begin() + static_cast<std::ptrdiff_t>(i),
            v.begin() + static_cast<std::ptrdiff_t>(i + n));
    return v;
  };
  auto with = [&](std::vector<std::string> extra) {
    auto v = good;
    v.insert(v.end(), extra.begin(), extra.end());
    return v;
  };
  for (const auto& args : {std::vector<std::string>{}, without(0, 2), without(2, 2), with({"-q"}),
                           with({"-9", "x"}), with({"-x", "y"}), without(good.size() - 1, 1)}) {
    RunResult r = run(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("usage: ndstool"), std::string::npos);
  }
  EXPECT_TRUE(read_bytes(rom_) == image_);
}

}  // namespace
}  // namespace ndstest
