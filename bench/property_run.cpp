// ndstool_property_run: the property test's long run. Random valid images
// (tests/support/random_nds_image.h) from a first seed on, each through
// unpack, exact rebuild, a second unpack and two ARM7 swaps, until the time
// is up; prints every image that failed and how many it tried.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "property_check.h"
#include "random_nds_image.h"

namespace fs = std::filesystem;
using namespace voderer::testgen;

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fputs("usage: ndstool_property_run SECONDS WORK_DIR [FIRST_SEED]\n", stderr);
    return 2;
  }
  const double seconds = std::atof(argv[1]);
  const fs::path work = fs::absolute(argv[2]);
  std::uint64_t seed = argc > 3 ? std::strtoull(argv[3], nullptr, 0) : 1000000;
  const auto stop = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  std::uint64_t tried = 0, failed = 0;
  for (; std::chrono::steady_clock::now() < stop; ++seed, ++tried) {
    RandomImage r = random_image(seed);
    fs::path dir = work / std::to_string(seed);
    auto faults = check_image_property(r.bytes, dir);
    if (!faults.empty()) {
      ++failed;
      std::printf("seed %llu (%s):\n", static_cast<unsigned long long>(seed), r.traits.c_str());
      for (const std::string& f : faults) std::printf("  %s\n", f.c_str());
      std::fflush(stdout);
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  std::printf("tried %llu images (seeds up to %llu), %llu failed\n",
              static_cast<unsigned long long>(tried), static_cast<unsigned long long>(seed - 1),
              static_cast<unsigned long long>(failed));
  return failed == 0 ? 0 : 1;
}
