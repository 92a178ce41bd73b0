#include "tool_fixture.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include "cli/command_line.h"

namespace ndstest {

Bytes read_bytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_bytes(const fs::path& p, const Bytes& b) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

std::string u8(const fs::path& p) {
  auto s = p.u8string();
  return std::string(s.begin(), s.end());
}

fs::path from_u8(const std::string& s) {
  return fs::path(std::u8string(reinterpret_cast<const char8_t*>(s.data()), s.size()));
}

fs::path sample_roms(std::string* why_not) {
  const char* shared = std::getenv("VODERER_SHARED_DIR");
  fs::path dir =
      shared ? fs::path(shared) / "testdata" / "roms" : fs::path("../shared/testdata/roms");
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) {
    *why_not = "sample ROMs not found at " + u8(dir) + " (../shared/testdata/roms)";
    return {};
  }
  return dir;
}

void ToolTest::SetUp() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info->test_suite_name()) + "." + info->name();
  std::replace(name.begin(), name.end(), '/', '_');
  // Per process too: ctest may run this binary twice at once (two locales).
  static const std::string run = std::to_string(std::random_device{}());
  dir_ = fs::temp_directory_path() / ("ndstool-test-" + run + "-" + name);
  fs::remove_all(dir_);
  fs::create_directories(dir_);
}

void ToolTest::TearDown() {
  std::error_code ec;
  if (!HasFailure()) fs::remove_all(dir_, ec);
}

RunResult ToolTest::run(const std::vector<std::string>& args) {
  std::vector<nds::cli::CliArg> cli;
  for (const std::string& a : args) cli.push_back({a, from_u8(a)});
  std::optional<nds::WriteBudget> budget;
  if (write_limit) budget.emplace(*write_limit);
  std::ostringstream out, err;
  const nds::cli::Outcome outcome =
      nds::cli::run_command_line(cli, out, budget ? &*budget : nullptr);
  RunResult r;
  r.status = nds::cli::report(outcome, err);
  r.failure = outcome.failure;
  r.layout_not_used = outcome.layout_not_used;
  r.out = out.str();
  r.err = err.str();
  return r;
}

std::vector<std::string> ToolTest::part_args(const fs::path& work, const std::string& arm7) {
  std::string w = u8(work);
  // Both separators, as the Windows script writes them.
  auto p = [&](const char* name) { return w + "\\" + name; };
  return {"-9",  p("arm9.bin"),   "-7",  arm7.empty() ? p("arm7.bin") : arm7,
          "-y9", p("y9.bin"),     "-y7", p("y7.bin"),
          "-d",  p("data"),       "-y",  p("overlay"),
          "-t",  p("banner.bin"), "-h",  p("header.bin")};
}

RunResult ToolTest::unpack(const fs::path& rom, const fs::path& work) {
  fs::create_directories(work);
  std::vector<std::string> args = {"-v", "-x", u8(rom)};
  for (auto& a : part_args(work)) args.push_back(a);
  return run(args);
}

RunResult ToolTest::rebuild(const fs::path& rom, const fs::path& work, const std::string& arm7) {
  std::vector<std::string> args = {"-c", u8(rom)};
  for (auto& a : part_args(work, arm7)) args.push_back(a);
  return run(args);
}

std::vector<std::pair<std::string, Bytes>> ToolTest::tree(const fs::path& root) {
  std::vector<std::pair<std::string, Bytes>> out;
  if (!fs::is_directory(root)) return {{"", read_bytes(root)}};
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    std::string rel = u8(fs::relative(e.path(), root));
    out.push_back({rel, e.is_regular_file() ? read_bytes(e.path()) : Bytes{}});
  }
  std::sort(out.begin(), out.end());
  return out;
}

void ToolTest::expect_round_trip(const Bytes& image, const std::string& name) {
  SCOPED_TRACE(name);
  fs::path rom = dir_ / (name + ".nds"), work1 = dir_ / (name + "-1"), work2 = dir_ / (name + "-2");
  write_bytes(rom, image);
  RunResult r = unpack(rom, work1);
  ASSERT_EQ(r.status, 0) << r.err;
  r = rebuild(rom, work1);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(read_bytes(rom) == image) << "rebuilt image differs";
  r = unpack(rom, work2);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(tree(work1) == tree(work2)) << "re-extracted parts differ";
}

}  // namespace ndstest
