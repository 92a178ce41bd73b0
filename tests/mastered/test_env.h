// The ndstool command line for the mastered-image tests, run as the patch
// script runs it; files and sample ROMs come from test_files.h.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "temp_folder.h"
#include "test_files.h"

namespace voderer::testgen {

namespace fs = std::filesystem;
using voderer::testing::read_bytes;
using voderer::testing::read_tree;
using voderer::testing::sample_rom_dir;
using voderer::testing::TempFolder;
using voderer::testing::utf8;
using voderer::testing::write_bytes;

// The ndstool program of the program folder; empty when absent.
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
