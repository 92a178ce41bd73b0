// The command line of ndstool, apart from the library and callable
// in-process so that tests can drive it: the two forms the patch script
// runs, their outcome, and the one line it prints.
#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/result_report.h"
#include "nds/io/error.h"
#include "nds/io/write_budget.h"

namespace nds::cli {

struct CliArg {
  std::string text;  // UTF-8, for messages
  std::filesystem::path path;
};

// How a run ended: its exit status (0 done, 1 failed, 2 usage), why it
// failed, why -c did not use the layout file, and the text for the error
// stream (empty when there is nothing to say).
struct Outcome {
  int status = 0;
  std::optional<ErrorKind> failure;
  std::optional<ErrorKind> layout_not_used;
  std::string message;
};

// Runs "-x ROM ..." or "-c ROM ..." with the eight parts, or "--undo RECORD
// ROM", with optional -v, whose lines go to out. budget: the tests' write
// failures; result: where the program that started the script wants the
// outcome; undo_record: where -c keeps what it replaces (main sets them).
Outcome run_command_line(const std::vector<CliArg>& args, std::ostream& out,
                         WriteBudget* budget = nullptr, const ResultReport* result = nullptr,
                         const std::filesystem::path& undo_record = {});

// Writes the outcome's message to err; returns the exit status.
int report(const Outcome& outcome, std::ostream& err);

}  // namespace nds::cli
