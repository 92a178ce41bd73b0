// A test hook that main sets from the environment: once a run has written
// its budget, every further write fails as on a full disk, so that tests can
// check that a failed rebuild leaves the image as it was. Handed to each
// writer; without one, writes are not limited.
#pragma once

#include <cstdint>

namespace nds {

class WriteBudget {
 public:
  explicit WriteBudget(std::uint64_t bytes) : left_(bytes) {}

  // Takes n bytes from what is left; false, leaving nothing, when they exceed it.
  bool take(std::uint64_t n) {
    if (n > left_) {
      left_ = 0;
      return false;
    }
    left_ -= n;
    return true;
  }

 private:
  std::uint64_t left_;
};

}  // namespace nds
