// The command line of ndstool, callable in-process so tests can drive it.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace nds {

struct CliArg {
  std::string text;  // UTF-8, for messages
  std::filesystem::path path;
};

// Runs "-x ROM ..." or "-c ROM ..." with the eight parts and optional -v.
// Returns 0 on success, 1 on failure (one line on err), 2 for usage.
int run_command_line(const std::vector<CliArg>& args, std::ostream& out, std::ostream& err);

}  // namespace nds
