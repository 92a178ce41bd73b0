// Files, folders and the ndstool command line for the mastered-image tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "temp_folder.h"

namespace voderer::testgen {

namespace fs = std::filesystem;
using voderer::testing::TempFolder;

std::vector<std::uint8_t> read_bytes(const fs::path& p);
void write_bytes(const fs::path& p, const std::vector<std::uint8_t>& bytes);

// Every regular file under root, by generic relative path.
std::map<std::string, std::vector<std::uint8_t>> read_tree(const fs::path& root);

// The sample ROM folder, the ndstool program: empty when absent.
fs::path sample_rom_dir();
fs::path ndstool_path();

struct RunResult {
  int status = -1;
  std::string output;  // stdout and stderr
};

// The patch script's steps in a work folder laid out as the program folder is:
// work/Bin (current folder of ndstool, holds arm7.bin) and work/UNPACK.
class ScriptRun {
 public:
  explicit ScriptRun(fs::path work);
  RunResult unpack(const fs::path& rom) const;
  RunResult rebuild(const fs::path& rom) const;  // with work/Bin/arm7.bin
  fs::path unpack_dir() const { return work_ / "UNPACK"; }
  fs::path bin_dir() const { return work_ / "Bin"; }

 private:
  RunResult run(const std::vector<std::string>& args) const;
  fs::path work_;
};

}  // namespace voderer::testgen
