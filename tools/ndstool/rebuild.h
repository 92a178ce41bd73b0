// -c: reads and checks every part, plans the image, then writes it to a
// temporary file and renames it over the target.
#pragma once

#include <cstdint>
#include <string>

#include "parts.h"

namespace nds {

struct RebuildResult {
  bool used_layout = false;  // exact layout from the layout file
  std::string layout_note;   // why the layout file was not used, if it was there
  std::uint64_t size = 0;
  std::uint64_t moved_by = 0;  // how far later items moved (0: nothing moved)
};

RebuildResult rebuild(const PartPath& rom, const Parts& parts, const Log& log);

}  // namespace nds
