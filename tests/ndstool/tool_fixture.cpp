#include "tool_fixture.h"

#include <algorithm>
#include <random>
#include <sstream>

#include "cli/command_line.h"

namespace ndstest {

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
  cli.reserve(args.size());
  for (const std::string& a : args) cli.push_back({a, from_u8(a)});
  std::optional<nds::WriteBudget> budget;
  if (write_limit) budget.emplace(*write_limit);
  std::optional<nds::cli::ResultReport> report;
  if (result_file) report.emplace(*result_file);
  std::ostringstream out, err;
  const nds::cli::Outcome outcome = nds::cli::run_command_line(
      cli, out, budget ? &*budget : nullptr, report ? &*report : nullptr, undo_file);
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
