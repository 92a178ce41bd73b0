// Stands in for Bin/ndstool in the window's end-to-end test until our own
// ndstool can build a ROM from scratch. "-x ROM ..." writes the ROM's bytes
// into the -9 file (and an empty file or folder for every other part);
// "-c ROM ..." writes the -9 file followed by the -7 file over the ROM. So a
// patched ROM holds its old bytes and then the replacement arm7.bin, which
// shows that the parts travelled through the work folder. Like ndstool it
// leaves its result lines where VODERER_RESULT_FILE says (its unpacked ARM7
// binary is empty, so the box reads "before: 0 bytes"). On Windows the
// arguments and the variable are read as UTF-16, so that a Korean path
// survives whatever the code page. With VODERER_STANDIN_HOLD set, "-x"
// waits until that file exists, so that a test can act while the script
// runs. Where VODERER_UNDO_FILE names a file, "-c" keeps the whole old ROM
// there as its record, and "--undo RECORD ROM" writes it back.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "result_file/result_file.h"

namespace fs = std::filesystem;

namespace {

std::string Read(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + file.string());
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Write(const fs::path& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out.flush()) throw std::runtime_error("cannot write " + file.string());
}

fs::path FileNamedBy(const char* variable) {
#ifdef _WIN32
  const wchar_t* value = _wgetenv(fs::path(variable).wstring().c_str());
#else
  const char* value = std::getenv(variable);
#endif
  return value != nullptr ? fs::path(value) : fs::path();
}

void Report(result_file::Stage stage, result_file::State state, std::uint32_t arm7_after = 0,
            result_file::UndoRecord undo = result_file::UndoRecord::none) {
  const fs::path file = FileNamedBy(result_file::kVariable);
  if (file.empty()) return;
  result_file::Line line;
  line.stage = stage;
  line.state = state;
  line.arm7_after = arm7_after;
  line.undo = undo;
  if (state == result_file::State::failed) {
    line.failure = result_file::Failure::undo_bad_record;
    line.reason = "no record";
  }
  std::ofstream(file, std::ios::binary | std::ios::app) << result_file::format_line(line);
}

int Undo(const fs::path& record, const fs::path& rom) {
  if (!fs::exists(record)) {
    Report(result_file::Stage::undo, result_file::State::failed);
    return 1;
  }
  Write(rom, Read(record));
  Report(result_file::Stage::undo, result_file::State::ok);
  return 0;
}

void Hold() {
  const char* hold = std::getenv("VODERER_STANDIN_HOLD");
  if (hold == nullptr) return;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(5);
  while (!fs::exists(hold) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

}  // namespace

int Run(const std::vector<fs::path>& args) {
  try {
    if (args.size() == 3 && args[0] == "--undo") return Undo(args[1], args[2]);
    std::string mode;
    fs::path rom;
    std::map<std::string, fs::path> parts;
    for (std::size_t i = 0; i < args.size(); ++i) {
      const std::string arg = args[i].string();
      if (arg == "-v") continue;
      if (arg == "-x" || arg == "-c") {
        if (i + 1 >= args.size()) return 2;
        mode = arg;
        rom = args[++i];
      } else if (i + 1 < args.size()) {
        parts[arg] = args[++i];
      } else {
        return 2;
      }
    }
    if (mode.empty() || !parts.count("-9") || !parts.count("-7")) return 2;
    using result_file::Stage;
    using result_file::State;
    if (mode == "-x") {
      Hold();
      const std::string bytes = Read(rom);
      for (const auto& [option, path] : parts) {
        if (option == "-d" || option == "-y") {
          fs::create_directories(path);
        } else {
          Write(path, option == "-9" ? bytes : std::string());
        }
      }
      Report(Stage::unpack, State::ok);
    } else {
      const std::string arm7 = Read(parts["-7"]);
      const std::string image = Read(parts["-9"]) + arm7;
      const fs::path record = FileNamedBy(result_file::kUndoVariable);
      if (!record.empty()) Write(record, Read(rom));
      Report(Stage::rebuild, State::committing);
      Write(rom, image);
      Report(Stage::rebuild, State::ok, static_cast<std::uint32_t>(arm7.size()),
             record.empty() ? result_file::UndoRecord::none : result_file::UndoRecord::kept);
    }
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "ndstool stand-in: %s\n", error.what());
    return 1;
  }
}

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  return Run({argv + 1, argv + argc});
}
#else
int main(int argc, char** argv) {
  return Run({argv + 1, argv + argc});
}
#endif
