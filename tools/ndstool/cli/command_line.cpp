#include "cli/command_line.h"

#include <algorithm>
#include <array>
#include <map>

#include "nds/layout/parts.h"
#include "nds/rebuild/rebuild.h"
#include "nds/undo/undo_apply.h"
#include "nds/unpack/unpack.h"

namespace nds::cli {

namespace {

const char kUsage[] =
    "usage: ndstool [-v] -x ROM -9 arm9.bin -7 arm7.bin -y9 y9.bin -y7 y7.bin -d DATA -y OVERLAYS "
    "-t banner.bin -h header.bin\n"
    "       ndstool [-v] -c ROM (the same parts)\n"
    "       ndstool [-v] --undo RECORD ROM\n"
    "  -x  unpack ROM into its parts (plus header.bin.layout and header.bin.extra)\n"
    "  -c  build ROM from the parts, replacing it only when everything succeeded\n"
    "  --undo  give back the image that -c replaced, from the record -c kept in the\n"
    "          file named by VODERER_UNDO_FILE; only when ROM is the image -c wrote\n"
    "  -v  say what is done\n";

constexpr std::array<const char*, 8> kPartOptions = {"-9", "-7", "-y9", "-y7",
                                                     "-d", "-y", "-t",  "-h"};

struct Command {
  std::string mode;  // "-x", "-c" or "--undo"
  bool verbose = false;
  PartPath rom;
  Parts parts;
  PartPath record;  // --undo
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

// "[-v] --undo RECORD ROM"
std::optional<Command> parse_undo(const std::vector<CliArg>& args) {
  Command command;
  command.mode = "--undo";
  std::size_t i = 0;
  if (args.size() == 4 && args[0].text == "-v") {
    command.verbose = true;
    i = 1;
  }
  if (args.size() != i + 3 || args[i].text != "--undo") return std::nullopt;
  command.record = {args[i + 1].path, args[i + 1].text};
  command.rom = {args[i + 2].path, args[i + 2].text};
  return command;
}

// The command the arguments give, or none when they are not one of the forms.
std::optional<Command> parse(const std::vector<CliArg>& args) {
  if (std::any_of(args.begin(), args.end(), [](const CliArg& a) { return a.text == "--undo"; }))
    return parse_undo(args);
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

Outcome run_undo(const Command& command, const RunOptions& options, const ResultReport* report) {
  Outcome outcome;
  const bool unchanged = undo_image(command.record, command.rom, options) == UndoDone::unchanged;
  if (unchanged) outcome.message = "ndstool: the image is unchanged, nothing to undo\n";
  if (report) outcome.message += report_undone(*report, unchanged);
  return outcome;
}

Outcome run(const Command& command, RunOptions options, const ResultReport* report) {
  Outcome outcome;
  // The script names the ROM the user chose, which may be none yet.
  if (command.rom.label.empty())
    fail(ErrorKind::NoRom, "no ROM image was named (the path is empty)");
  if (command.mode == "--undo") return run_undo(command, options, report);
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

// A failed -c leaves no undo record: nothing changed, or not what it says.
Outcome failed(const Command& command, const Error& error, const ResultReport* report,
               const RunOptions& options) {
  std::error_code ec;
  if (!options.undo_record.empty()) std::filesystem::remove(options.undo_record, ec);
  Outcome outcome{1, error.kind(), std::nullopt,
                  std::string("ndstool: ") + error.what() + "; image left unchanged\n"};
  const auto stage = command.mode == "-x"   ? result_file::Stage::unpack
                     : command.mode == "-c" ? result_file::Stage::rebuild
                                            : result_file::Stage::undo;
  if (report) outcome.message += report_failure(*report, stage, error);
  return outcome;
}

}  // namespace

Outcome run_command_line(const std::vector<CliArg>& args, std::ostream& out, WriteBudget* budget,
                         const ResultReport* result, const std::filesystem::path& undo_record) {
  const std::optional<Command> command = parse(args);
  if (!command) return {2, std::nullopt, std::nullopt, kUsage};
  RunOptions options;
  options.write_budget = budget;
  // -x hashes the image for the record -c keeps; --undo never keeps one.
  if (command->mode == "-x") options.keep_digest = !undo_record.empty();
  if (command->mode == "-c") options.undo_record = undo_record;
  if (command->verbose) options.log = [&out](const std::string& line) { out << line << std::endl; };
  // -x never touches the image; -c replaces it only as its last step.
  try {
    return run(*command, options, result);
  } catch (const Error& e) {
    return failed(*command, e, result, options);
  } catch (const std::exception& e) {  // from the standard library: no kind of ours
    return failed(*command, Error(ErrorKind::Internal, e.what()), result, options);
  }
}

int report(const Outcome& outcome, std::ostream& err) {
  if (!outcome.message.empty()) err << outcome.message << std::flush;
  return outcome.status;
}

}  // namespace nds::cli
