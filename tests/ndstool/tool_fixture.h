// Shared by the ndstool tests: a scratch folder per test and the command
// line run in-process with the script's part layout (ROM beside Bin/ and
// UNPACK/, parts under UNPACK/). Images come from nds_image_builder.h,
// files from test_files.h.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "nds/io/error.h"
#include "nds_image_builder.h"
#include "test_files.h"

namespace nds {
// Kinds by name in GoogleTest's messages.
inline void PrintTo(ErrorKind kind, std::ostream* os) {
  *os << kind_name(kind);
}
}  // namespace nds

namespace ndstest {

namespace fs = std::filesystem;
using namespace voderer::testgen;
using voderer::testing::read_bytes;
using voderer::testing::sample_rom_dir;
using voderer::testing::write_bytes;
inline std::string u8(const fs::path& p) {
  return voderer::testing::utf8(p);
}
inline fs::path from_u8(const std::string& s) {
  return voderer::testing::from_utf8(s);
}

inline const std::vector<std::string> kSamples = {"dstimer-1.0",     "dstimer-2.0",  "dstimer-head",
                                                  "nflib-animation", "pongds-1.1.0", "raycast-4",
                                                  "stellads-1.1c",   "stellads-8.4a"};

struct RunResult {
  int status = 0;
  std::optional<nds::ErrorKind> failure;          // why it failed
  std::optional<nds::ErrorKind> layout_not_used;  // why -c built a compact image
  std::string out, err;
};

class ToolTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Runs ndstool with these arguments (UTF-8), with writes failing after
  // the first write_limit bytes of the run when there is a limit.
  RunResult run(const std::vector<std::string>& args);
  std::optional<std::uint64_t> write_limit;
  // The result file the program would name (main reads it from the environment).
  std::optional<fs::path> result_file;
  // The undo record -c keeps (main reads it from the environment).
  fs::path undo_file;
  // The eight part options for a work folder; arm7 overrides -7.
  std::vector<std::string> part_args(const fs::path& work, const std::string& arm7 = {});
  RunResult unpack(const fs::path& rom, const fs::path& work);
  RunResult rebuild(const fs::path& rom, const fs::path& work, const std::string& arm7 = {});
  // Unpacks, rebuilds, expects the same bytes and the same parts again.
  void expect_round_trip(const Bytes& image, const std::string& name);
  // Every file and folder under root (test_files.h).
  static std::map<std::string, Bytes> tree(const fs::path& root) {
    return voderer::testing::read_tree(root);
  }

  fs::path dir_;
};

}  // namespace ndstest
