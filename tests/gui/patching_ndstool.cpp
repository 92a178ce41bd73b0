// Stands in for Bin/ndstool in the window's end-to-end test until our own
// ndstool can build a ROM from scratch. "-x ROM ..." writes the ROM's bytes
// into the -9 file (and an empty file or folder for every other part);
// "-c ROM ..." writes the -9 file followed by the -7 file over the ROM. So a
// patched ROM holds its old bytes and then the replacement arm7.bin, which
// shows that the parts travelled through the work folder. Arguments are
// taken as the system hands them over (the code page on Windows).
#include <cstdio>
#include <stdexcept>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

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

int main(int argc, char** argv) {
  try {
    std::string mode;
    fs::path rom;
    std::map<std::string, fs::path> parts;
    for (int i = 1; i < argc; ++i) {
      const std::string arg = argv[i];
      if (arg == "-v") continue;
      if (arg == "-x" || arg == "-c") {
        if (i + 1 >= argc) return 2;
        mode = arg;
        rom = fs::path(argv[++i]);
      } else if (i + 1 < argc) {
        parts[arg] = fs::path(argv[++i]);
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
