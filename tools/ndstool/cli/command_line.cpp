#include "cli/command_line.h"

#include <algorithm>
#include <array>
#include <map>

#include "nds/layout/parts.h"
#include "nds/rebuild/rebuild.h"
#include "nds/unpack/unpack.h"

namespace nds::cli {

namespace {

const char kUsage[] =
    "usage: ndstool [-v] -x ROM -9 arm9.bin -7 arm7.bin -y9 y9.bin -y7 y7.bin -d DATA -y OVERLAYS "
    "-t banner.bin -h header.bin\n"
    "       ndstool [-v] -c ROM (the same parts)\n"
    "  -x  unpack ROM into its parts (plus header.bin.layout and header.bin.extra)\n"
    "  -c  build ROM from the parts, replacing it only when everything succeeded\n"
    "  -v  say what is done\n";

constexpr std::array<const char*, 8> kPartOptions = {"-9", "-7", "-y9", "-y7",
                                                     "-d", "-y", "-t",  "-h"};

struct Command {
  std::string mode;  // "-x" or "-c"
  bool verbose = false;
  PartPath rom;
  Parts parts;
};

// The script's part paths use both separators ("..\UNPACK/arm9.bin"), as
// cmd accepts them; where a backslash is an ordinary name character, it is
// read as cmd reads it.
std::filesystem::path part_path(const CliArg& arg) {
  if constexpr (std::filesystem::path::preferred_separator == '\\') {
    return arg.path;
  } else {
    std::string text = arg.text;
    std::replace(text.begin(), text.end(), '\\', '/');
    return std::filesystem::path(text);
  }
}

bool is_part_option(const std::string& arg) {
  return std::find(kPartOptions.begin(), kPartOptions.end(), arg) != kPartOptions.end();
}

// The command the arguments give, or none when they are not one of the two forms.
std::optional<Command> parse(const std::vector<CliArg>& args) {
  Command command;
  std::map<std::string, PartPath> parts;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i].text;
    if (arg == "-v") {
      command.verbose = true;
      continue;
    }
    const bool is_mode = arg == "-x" || arg == "-c";
    if ((!is_mode && !is_part_option(arg)) || i + 1 >= args.size() ||
        (is_mode && !command.mode.empty()) || parts.count(arg))
      return std::nullopt;
    const CliArg& value = args[++i];
    if (is_mode) {
      command.mode = arg;
      command.rom = {value.path, value.text};
    } else {
      parts[arg] = {part_path(value), value.text};
    }
  }
  if (command.mode.empty() || parts.size() != kPartOptions.size()) return std::nullopt;
  command.parts = {parts["-9"], parts["-7"], parts["-y9"], parts["-y7"],
                   parts["-d"], parts["-y"], parts["-t"],  parts["-h"]};
  return command;
}

Outcome run(const Command& command, RunOptions options, const ResultReport* report) {
  Outcome outcome;
  // The script names the ROM the user chose, which may be none yet.
  if (command.rom.label.empty())
    fail(ErrorKind::NoRom, "no ROM image was named (the path is empty)");
  if (command.mode == "-x") {
    unpack(command.rom, command.parts, options);
    if (report) report->unpacked();
    return outcome;
  }
  if (report) options.before_commit = [report] { report->committing(); };
  const RebuildResult result = rebuild(command.rom, command.parts, options);
  if (!result.used_layout && result.layout_refusal) {
    outcome.layout_not_used = result.layout_refusal;
    outcome.message = "ndstool: note: " + command.parts.header.label + ".layout not used (" +
                      result.layout_note + "); built a compact image\n";
  }
  if (report) outcome.message += report_rebuilt(*report, result);
  return outcome;
}

Outcome failed(const Command& command, const Error& error, const ResultReport* report) {
  Outcome outcome{1, error.kind(), std::nullopt,
                  std::string("ndstool: ") + error.what() + "; image left unchanged\n"};
  const auto stage =
      command.mode == "-x" ? result_file::Stage::unpack : result_file::Stage::rebuild;
  if (report) outcome.message += report_failure(*report, stage, error);
  return outcome;
}

}  // namespace

Outcome run_command_line(const std::vector<CliArg>& args, std::ostream& out, WriteBudget* budget,
                         const ResultReport* result) {
  const std::optional<Command> command = parse(args);
  if (!command) return {2, std::nullopt, std::nullopt, kUsage};
  RunOptions options;
  options.write_budget = budget;
  if (command->verbose) options.log = [&out](const std::string& line) { out << line << std::endl; };
  // -x never touches the image; -c replaces it only as its last step.
  try {
    return run(*command, options, result);
  } catch (const Error& e) {
    return failed(*command, e, result);
  } catch (const std::exception& e) {  // from the standard library: no kind of ours
    return failed(*command, Error(ErrorKind::Internal, e.what()), result);
  }
}

int report(const Outcome& outcome, std::ostream& err) {
  if (!outcome.message.empty()) err << outcome.message << std::flush;
  return outcome.status;
}

}  // namespace nds::cli
