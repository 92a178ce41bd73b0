// The property test: random valid images (random_nds_image.h), each of which
// must unpack, rebuild byte for byte, unpack again to the same parts and take
// a larger and a smaller ARM7 surgically. A fixed set of seeds here; the
// long run is bench/property-long.sh.
#include <gtest/gtest.h>

#include "property_check.h"
#include "random_nds_image.h"
#include "temp_folder.h"

namespace voderer::testgen {
namespace {

// Under Wine too, where names that differ only in case merge.
constexpr std::uint64_t kSeeds = 200;

TEST(Property, RandomValidImagesRoundTripAndSwapSurgically) {
  voderer::testing::TempFolder tmp("ndstool-property");
  for (std::uint64_t seed = 1; seed <= kSeeds; ++seed) {
    RandomImage r = random_image(seed);
    auto faults = check_image_property(r.bytes, tmp.path() / std::to_string(seed));
    for (const std::string& f : faults)
      ADD_FAILURE() << "seed " << seed << " (" << r.traits << "): " << f;
    std::error_code ec;
    if (faults.empty()) std::filesystem::remove_all(tmp.path() / std::to_string(seed), ec);
  }
}

}  // namespace
}  // namespace voderer::testgen
