// ndstool: unpacks a DS ROM image into its parts and rebuilds it from them,
// in the two forms the patch script runs (see cli.h).
#include <cstdlib>
#include <string>
#include <vector>

#include "cli.h"
#include "console_output.h"
#include "file_io.h"

namespace {

// VODERER_NDSTOOL_FAIL_AFTER=N: every write after the first N bytes fails,
// so tests can check that a failed rebuild leaves the image as it was.
void read_fault_injection() {
  const char* v = std::getenv("VODERER_NDSTOOL_FAIL_AFTER");
  if (v == nullptr || *v == '\0') return;
  char* end = nullptr;
  long long n = std::strtoll(v, &end, 10);
  if (*end == '\0' && n >= 0) nds::g_write_budget = n;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  read_fault_injection();
  std::vector<nds::CliArg> args;
  for (int i = 1; i < argc; ++i) {
    std::filesystem::path p(argv[i]);
    auto u8 = p.u8string();
    args.push_back({std::string(u8.begin(), u8.end()), p});
  }
  return nds::run_command_line(args, nds::output_stream(), nds::error_stream());
}
#else
int main(int argc, char** argv) {
  read_fault_injection();
  std::vector<nds::CliArg> args;
  for (int i = 1; i < argc; ++i) args.push_back({argv[i], std::filesystem::path(argv[i])});
  return nds::run_command_line(args, nds::output_stream(), nds::error_stream());
}
#endif
