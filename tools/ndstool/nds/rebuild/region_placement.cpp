#include "nds/rebuild/region_placement.h"

#include <algorithm>

#include "nds/io/byte_io.h"
#include "nds/format/header.h"

namespace nds {

namespace {

// Shorter runs of mixed bytes between items are leftovers, not data.
constexpr std::uint64_t kMinRawObstacle = 32;

bool obstacle(const Region& region) {
  return region.kind != Kind::Fill &&
         (region.kind != Kind::Raw || region.length >= kMinRawObstacle);
}

bool has_content(const Region& region) {
  return region.kind != Kind::Fill && region.kind != Kind::Raw && region.kind != Kind::Shared;
}

// Where each region's room ends at the latest: the next obstacle after it,
// or an anchor before that.
class Rooms {
 public:
  Rooms(const Layout& layout, const std::vector<std::uint64_t>& anchors)
      : next_obstacle_(layout.regions.size() + 1, layout.image_size), anchors_(anchors) {
    const auto& regions = layout.regions;
    for (std::size_t i = regions.size(); i-- > 0;)
      next_obstacle_[i] = i + 1 < regions.size() && obstacle(regions[i + 1])
                              ? regions[i + 1].offset
                              : next_obstacle_[i + 1];
  }

  // The end of region i's room, looking for anchors from position on.
  std::uint64_t end(std::size_t i, std::uint64_t position) const {
    auto anchor = std::lower_bound(anchors_.begin(), anchors_.end(), position);
    return anchor == anchors_.end() ? next_obstacle_[i] : std::min(next_obstacle_[i], *anchor);
  }

 private:
  std::vector<std::uint64_t> next_obstacle_;
  const std::vector<std::uint64_t>& anchors_;
};

// An image filled up to its chip size stays filled to a chip size: the fill
// at its end gives up what the moved items need, and only when they no
// longer fit does the chip (and with it the fill) grow.
void keep_chip_filled(const Layout& layout, std::uint8_t capacity, RegionPlaces& places) {
  const std::size_t n = layout.regions.size();
  if (places.shift == 0 || n == 0 || layout.regions[n - 1].kind != Kind::Fill ||
      layout.image_size != chip_size(capacity))
    return;
  const std::uint64_t content_end = places.start[n - 1];
  const std::uint64_t chip =
      content_end > layout.image_size ? chip_size(capacity_for(content_end)) : layout.image_size;
  places.extent[n - 1] = chip - content_end;
}

// Region i and the items detached after it, moving later regions as needed.
void place_region(const Layout& layout, const PlacementInput& input, const Rooms& rooms,
                  std::size_t i, RegionPlaces& places) {
  const Region& region = layout.regions[i];
  const std::uint64_t end = region.offset + region.length;
  places.start[i] = region.offset + places.shift;
  places.extent[i] = region.length;
  if (has_content(region) && input.content[i] > region.length) {
    places.extent[i] = input.content[i];
    const std::uint64_t room = rooms.end(i, end) - region.offset;
    if (input.content[i] > room) places.shift += align_up(input.content[i] - room, kAlign);
  }
  std::uint64_t at = places.start[i] + places.extent[i];
  for (std::uint64_t size : input.detached[i]) {
    at = align_up(at, kAlign);
    places.detached_at[i].push_back(at);
    at += size;
    const std::uint64_t limit = rooms.end(i, end) + places.shift;
    if (at > limit) places.shift += align_up(at - limit, kAlign);
  }
}

}  // namespace

std::uint64_t OffsetMap::operator()(std::uint64_t old_position) const {
  if (old_position >= layout_.image_size)
    return old_position + places_.shift <= 0xFFFFFFFF ? old_position + places_.shift : old_position;
  const std::size_t region = layout_.region_at(old_position);
  return places_.start[region] + (old_position - layout_.regions[region].offset);
}

RegionPlaces place_regions(const Layout& layout, const PlacementInput& input) {
  const std::size_t n = layout.regions.size();
  const Rooms rooms(layout, input.anchors);
  RegionPlaces places;
  places.start.resize(n);
  places.extent.resize(n);
  places.detached_at.resize(n);
  for (std::size_t i = 0; i < n; ++i) place_region(layout, input, rooms, i, places);
  keep_chip_filled(layout, input.capacity, places);
  return places;
}

}  // namespace nds
