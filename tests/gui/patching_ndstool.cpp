// Stands in for Bin/ndstool in the window's end-to-end test until our own
// ndstool can build a ROM from scratch. "-x ROM ..." writes the ROM's bytes
// into the -9 file (and an empty file or folder for every other part);
// "-c ROM ..." writes the -9 file followed by the -7 file over the ROM. So a
// patched ROM holds its old bytes and then the replacement arm7.bin, which
// shows that the parts travelled through the work folder. On Windows the
// arguments are read as UTF-16, so that a Korean ROM path survives whatever
// the code page.
#include <cstdio>
#include <stdexcept>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

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

}  // namespace

int Run(const std::vector<fs::path>& args) {
  try {
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
    if (mode == "-x") {
      const std::string bytes = Read(rom);
      for (const auto& [option, path] : parts) {
        if (option == "-d" || option == "-y") {
          fs::create_directories(path);
        } else {
          Write(path, option == "-9" ? bytes : std::string());
        }
      }
    } else {
      Write(rom, Read(parts["-9"]) + Read(parts["-7"]));
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
