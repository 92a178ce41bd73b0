// ndstool: unpacks a DS ROM image into its parts and rebuilds it from them,
// in the two forms the patch script runs (cli/command_line.h). The only
// place that knows how the system passes arguments and that reads the
// environment.
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/command_line.h"
#include "cli/console_output.h"
#include "cli/result_report.h"

namespace {

// VODERER_NDSTOOL_FAIL_AFTER=N: every write after the first N bytes fails,
// so tests can check that a failed rebuild leaves the image as it was.
std::optional<nds::WriteBudget> injected_write_budget() {
  const char* value = std::getenv("VODERER_NDSTOOL_FAIL_AFTER");
  if (value == nullptr || *value == '\0') return std::nullopt;
  char* end = nullptr;
  const long long bytes = std::strtoll(value, &end, 10);
  if (*end != '\0' || bytes < 0) return std::nullopt;
  return nds::WriteBudget(static_cast<std::uint64_t>(bytes));
}

// A file the program names in the environment of the script it starts;
// empty when ndstool is run by hand.
template <std::size_t N>
std::filesystem::path named_file(const char (&variable)[N]) {
#ifdef _WIN32
  // Wide, so that a program folder with any name arrives whole.
  const std::wstring name(std::begin(variable), std::end(variable) - 1);
  const wchar_t* value = _wgetenv(name.c_str());
#else
  const char* value = std::getenv(variable);
#endif
  if (value == nullptr || *value == 0) return {};
  return std::filesystem::path(value);
}

// The result file; none when ndstool is run by hand.
std::optional<nds::cli::ResultReport> result_report() {
  std::filesystem::path file = named_file(result_file::kVariable);
  if (file.empty()) return std::nullopt;
  return nds::cli::ResultReport(std::move(file));
}

// VODERER_NDSTOOL_HOLD=FILE: ndstool creates FILE.held and waits until FILE
// exists, so that a test acts while the patch script certainly runs and
// lets it go on afterwards. Once FILE exists no run waits. Never for ever:
// ten minutes at most, and not once FILE.held is gone with the test's folder.
void hold_while_asked() {
  const std::filesystem::path release = named_file("VODERER_NDSTOOL_HOLD");
  if (release.empty()) return;
  std::filesystem::path held = release;
  held += ".held";
  std::ofstream(held).close();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(10);
  std::error_code error;
  while (!std::filesystem::exists(release, error) && std::filesystem::exists(held, error) &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

int run(const std::vector<nds::cli::CliArg>& args) {
  hold_while_asked();
  std::optional<nds::WriteBudget> budget = injected_write_budget();
  const std::optional<nds::cli::ResultReport> result = result_report();
  const nds::cli::Outcome outcome = nds::cli::run_command_line(
      args, nds::cli::output_stream(), budget ? &*budget : nullptr, result ? &*result : nullptr,
      named_file(result_file::kUndoVariable));
  return nds::cli::report(outcome, nds::cli::error_stream());
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  std::vector<nds::cli::CliArg> args;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path path(argv[i]);
    const auto u8 = path.u8string();
    args.push_back({std::string(u8.begin(), u8.end()), path});
  }
  return run(args);
}
#else
int main(int argc, char** argv) {
  std::vector<nds::cli::CliArg> args;
  for (int i = 1; i < argc; ++i) args.push_back({argv[i], std::filesystem::path(argv[i])});
  return run(args);
}
#endif
