#include "cli.h"

#include <algorithm>
#include <array>
#include <map>

#include "error.h"
#include "parts.h"
#include "rebuild.h"
#include "result_report.h"
#include "unpack.h"

namespace nds {

namespace {

const char kUsage[] =
    "usage: ndstool [-v] -x ROM -9 arm9.bin -7 arm7.bin -y9 y9.bin -y7 y7.bin -d DATA -y OVERLAYS "
    "-t banner.bin "
    "-h header.bin\n"
    "       ndstool [-v] -c ROM (the same parts)\n"
    "  -x  unpack ROM into its parts (plus header.bin.layout and header.bin.extra)\n"
    "  -c  build ROM from the parts, replacing it only when everything succeeded\n"
    "  -v  say what is done\n";

constexpr std::array<const char*, 8> kPartOptions = {"-9", "-7", "-y9", "-y7",
                                                     "-d", "-y", "-t",  "-h"};

// The script's part paths use both separators ("..\UNPACK/arm9.bin"), as
// cmd accepts them; elsewhere a backslash is an ordinary name character.
std::filesystem::path part_path(const CliArg& a) {
#ifdef _WIN32
  return a.path;
#else
  std::string s = a.text;
  std::replace(s.begin(), s.end(), '\\', '/');
  return std::filesystem::path(s);
#endif
}

}  // namespace

int run_command_line(const std::vector<CliArg>& args, std::ostream& out, std::ostream& err) {
  bool verbose = false;
  std::string mode;
  PartPath rom;
  std::map<std::string, PartPath> parts;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i].text;
    if (a == "-v") {
      verbose = true;
      continue;
    }
    bool is_mode = a == "-x" || a == "-c";
    bool is_part = std::find(kPartOptions.begin(), kPartOptions.end(), a) != kPartOptions.end();
    if ((!is_mode && !is_part) || i + 1 >= args.size() || (is_mode && !mode.empty()) ||
        parts.count(a)) {
      err << kUsage;
      return 2;
    }
    const CliArg& value = args[++i];
    if (is_mode) {
      mode = a;
      rom = {value.path, value.text};
    } else {
      parts[a] = {part_path(value), value.text};
    }
  }
  if (mode.empty() || parts.size() != kPartOptions.size()) {
    err << kUsage;
    return 2;
  }
  Parts p{parts["-9"], parts["-7"], parts["-y9"], parts["-y7"],
          parts["-d"], parts["-y"], parts["-t"],  parts["-h"]};
  Log log;
  if (verbose) log = [&out](const std::string& line) { out << line << std::endl; };
  // Result report: a line for the program that started the script, if any.
  const ResultReport report = ResultReport::from_environment();
  const auto stage = mode == "-x" ? result_file::Stage::unpack : result_file::Stage::rebuild;
  try {
    if (mode == "-x") {
      unpack(rom, p, log);
      report.unpacked();
    } else {
      RebuildResult r = rebuild(rom, p, log, [&report] { report.committing(); });
      if (!r.used_layout && !r.layout_note.empty())
        err << "ndstool: note: " << p.header.label << ".layout not used (" << r.layout_note
            << "); built a compact image" << std::endl;
      report_rebuilt(report, r, err);
    }
  } catch (const std::exception& e) {
    // -x never touches the image; -c replaces it only as its last step.
    err << "ndstool: " << e.what() << "; image left unchanged" << std::endl;
    report_failure(report, stage, e.what(), err);
    return 1;
  }
  return 0;
}

}  // namespace nds
