#include "item_moves.h"

#include <algorithm>

#include "byte_io.h"
#include "header.h"

namespace nds {

namespace {

constexpr std::uint64_t kAlign = 0x200;
// Shorter runs of mixed bytes between items are leftovers, not data.
constexpr std::uint64_t kMinRawObstacle = 32;

bool obstacle(const Region& g) {
  return g.kind != Kind::Fill && (g.kind != Kind::Raw || g.length >= kMinRawObstacle);
}

bool has_content(const Region& g) {
  return g.kind != Kind::Fill && g.kind != Kind::Raw && g.kind != Kind::Shared;
}

// An image filled up to its chip size stays filled to a chip size: the fill
// at its end gives up what the moved items need, and only when they no
// longer fit does the chip (and with it the fill) grow.
void keep_chip_filled(const Layout& l, std::uint8_t capacity, MovePlan& mv) {
  const std::size_t n = l.regions.size();
  if (mv.shift == 0 || n == 0 || l.regions[n - 1].kind != Kind::Fill ||
      l.image_size != hdr::chip_size(capacity))
    return;
  std::uint64_t content_end = mv.start[n - 1];
  std::uint64_t chip =
      content_end > l.image_size ? hdr::chip_size(hdr::capacity_for(content_end)) : l.image_size;
  mv.extent[n - 1] = chip - content_end;
}

}  // namespace

std::uint64_t MovePlan::map(const Layout& l, std::uint64_t x) const {
  // Past the end: moved like what ends the file, unless 32 bits cannot hold it.
  if (x >= l.image_size) return x + shift <= 0xFFFFFFFF ? x + shift : x;
  std::size_t r = l.region_at(x);
  return start[r] + (x - l.regions[r].offset);
}

MovePlan plan_moves(const Layout& l, const std::vector<std::uint64_t>& content,
                    const std::vector<std::uint64_t>& anchors,
                    const std::vector<std::vector<std::uint64_t>>& detached,
                    std::uint8_t capacity) {
  const auto& regions = l.regions;
  const std::size_t n = regions.size();
  std::vector<std::uint64_t> next_item(n + 1, l.image_size);
  for (std::size_t i = n; i-- > 0;)
    next_item[i] = i + 1 < n && obstacle(regions[i + 1]) ? regions[i + 1].offset : next_item[i + 1];
  auto room_end = [&](std::size_t i, std::uint64_t from) {
    auto a = std::lower_bound(anchors.begin(), anchors.end(), from);
    return a == anchors.end() ? next_item[i] : std::min(next_item[i], *a);
  };
  MovePlan mv;
  mv.start.resize(n);
  mv.extent.resize(n);
  mv.detached_at.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    const Region& g = regions[i];
    const std::uint64_t end = g.offset + g.length;
    mv.start[i] = g.offset + mv.shift;
    mv.extent[i] = g.length;
    if (has_content(g) && content[i] > g.length) {
      mv.extent[i] = content[i];
      std::uint64_t room = room_end(i, end) - g.offset;
      if (content[i] > room) mv.shift += align_up(content[i] - room, kAlign);
    }
    std::uint64_t at = mv.start[i] + mv.extent[i];
    for (std::uint64_t size : detached[i]) {
      at = align_up(at, kAlign);
      mv.detached_at[i].push_back(at);
      at += size;
      std::uint64_t limit = room_end(i, end) + mv.shift;
      if (at > limit) mv.shift += align_up(at - limit, kAlign);
    }
  }
  keep_chip_filled(l, capacity, mv);
  return mv;
}

}  // namespace nds
