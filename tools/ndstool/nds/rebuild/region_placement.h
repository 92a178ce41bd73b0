// Stage 2 of -c with a layout: where the regions go when items change size.
// An item that outgrows its room moves everything after it by a multiple of
// 0x200. Its room ends at the next item, at gap bytes that are not padding
// (a DSi section, a signature block), or at the first position after it
// that something points at (a zero-length item, a FAT entry, the end of the
// DS part): what points there keeps pointing at the same bytes. Items taken
// out of a shared region go right after it, aligned, moving later items the
// same way.
#pragma once

#include <cstdint>
#include <vector>

#include "nds/layout/layout.h"

namespace nds {

struct RegionPlaces {
  std::vector<std::uint64_t> start, extent;             // per region, in the new image
  std::vector<std::vector<std::uint64_t>> detached_at;  // per region: its detached items
  std::uint64_t shift = 0;                              // how far the last region moved
};

// What place_regions needs to know. content: the new length of each
// region's bytes; anchors: sorted positions something points at; detached:
// per region, sizes of items to place after it; capacity: the header's chip
// size code.
struct PlacementInput {
  std::vector<std::uint64_t> content;
  std::vector<std::uint64_t> anchors;
  std::vector<std::vector<std::uint64_t>> detached;
  std::uint8_t capacity = 0;
};

RegionPlaces place_regions(const Layout& layout, const PlacementInput& input);

// Where a position of the old image is in the new one: the header and the
// FAT follow the bytes they point at through it.
class OffsetMap {
 public:
  OffsetMap(const Layout& layout, const RegionPlaces& places) : layout_(layout), places_(places) {}

  // Past the end of the old image: moved like what ends the file, unless 32
  // bits cannot hold it moved.
  std::uint64_t operator()(std::uint64_t old_position) const;

 private:
  const Layout& layout_;
  const RegionPlaces& places_;
};

}  // namespace nds
