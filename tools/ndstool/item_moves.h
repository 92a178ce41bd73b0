// Where the regions of a layout go when items change size. An item that
// outgrows its room moves everything after it by a multiple of 0x200. Its
// room ends at the next item, at gap bytes that are not padding (a DSi
// section, a signature block), or at the first position after it that
// something points at (a zero-length item, a FAT entry, the end of the DS
// part): what points there keeps pointing at the same bytes. Items taken
// out of a shared region go right after it, aligned, moving later items the
// same way.
#pragma once

#include <cstdint>
#include <vector>

#include "layout.h"

namespace nds {

struct MovePlan {
  std::vector<std::uint64_t> start, extent;             // per region, in the new image
  std::vector<std::vector<std::uint64_t>> detached_at;  // per region: its detached items
  std::uint64_t shift = 0;                              // how far the last region moved

  // The new position of old position x (past the end: moved by shift, but
  // kept where 32 bits could not hold it moved).
  std::uint64_t map(const Layout& l, std::uint64_t x) const;
};

// content: the new length of each region's bytes; anchors: sorted positions
// something points at; detached: per region, sizes of items to place after
// it; capacity: the header's chip size code.
MovePlan plan_moves(const Layout& l, const std::vector<std::uint64_t>& content,
                    const std::vector<std::uint64_t>& anchors,
                    const std::vector<std::vector<std::uint64_t>>& detached, std::uint8_t capacity);

}  // namespace nds
