// -c: reads and checks every part, plans the image, then writes it to a
// temporary file and renames it over the target.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "parts.h"

namespace nds {

struct RebuildResult {
  bool used_layout = false;  // exact layout from the layout file
  std::string layout_note;   // why the layout file was not used, if it was there
  std::uint64_t size = 0;
  std::uint64_t moved_by = 0;  // how far later items moved (0: nothing moved)
  // For the result report: the ARM7 binary's size in the unpacked header and
  // in the part that replaces it.
  std::uint64_t arm7_before = 0;
  std::uint64_t arm7_after = 0;
};

// before_commit (the result report's hook) runs once the new image is
// written, just before it replaces the old one; throwing stops the rebuild.
RebuildResult rebuild(const PartPath& rom, const Parts& parts, const Log& log,
                      const std::function<void()>& before_commit = {});

}  // namespace nds
