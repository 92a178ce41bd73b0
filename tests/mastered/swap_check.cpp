#include "swap_check.h"

#include <algorithm>
#include <cstdio>
#include <exception>

#include "nds_image_builder.h"
#include "rom_reader.h"

namespace voderer::testgen {
namespace {

struct Field {
  std::uint32_t at;      // header offset of the pointer
  std::uint32_t length;  // header offset of the length that says the item exists (0: always)
};

// Header words that point at items, with the length that makes each one meaningful
// (an empty FNT or FAT still has its place, and moves with the rest).
constexpr Field kDsPointers[] = {{0x20, 0x2C}, {0x40, 0},    {0x48, 0},      {0x50, 0x54},
                                 {0x58, 0x5C}, {0x68, 0x68}, {0x160, 0x164}, {0x80, 0}};
constexpr Field kDsiPointers[] = {{0x1C0, 0x1CC}, {0x1D0, 0x1DC}, {0x1E0, 0x1E4},
                                  {0x1E8, 0x1EC}, {0x1F0, 0x1F4}, {0x1F8, 0x1FC},
                                  {0x220, 0x224}, {0x228, 0x22C}, {0x210, 0}};

std::uint32_t get32(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
         static_cast<std::uint32_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

void set32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  if (at + 4 > b.size()) return;
  for (int k = 0; k < 4; ++k)
    b[at + static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(v >> (8 * k));
}

std::vector<Field> pointers(std::span<const std::uint8_t> image) {
  std::vector<Field> all(std::begin(kDsPointers), std::end(kDsPointers));
  if ((image[0x12] & 2) != 0)
    all.insert(all.end(), std::begin(kDsiPointers), std::end(kDsiPointers));
  std::vector<Field> present;
  for (const Field& f : all) {
    if (f.at + 4 > image.size()) continue;
    if (f.length != 0 && get32(image, f.length) == 0) continue;
    if (get32(image, f.at) == 0) continue;
    present.push_back(f);
  }
  return present;
}

// A position moved by d, or kept where 32 bits cannot hold it moved.
std::uint32_t moved(std::uint32_t at, std::uint64_t d) {
  return at + d <= 0xFFFFFFFFULL ? static_cast<std::uint32_t>(at + d) : at;
}

std::string hex(std::uint64_t v) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(v));
  return buf;
}

// The stored secure area CRC is that of [ARM9 offset, 0x8000) of the image.
bool secure_crc_ok(const RomImage& r, std::span<const std::uint8_t> image) {
  const std::uint32_t arm9 = r.u32(0x20);
  return arm9 < 0x8000 && image.size() >= 0x8000 &&
         crc16(image.subspan(arm9, 0x8000 - arm9)) == r.u16(0x6C);
}

bool uniform(std::span<const std::uint8_t> b) {
  return std::all_of(b.begin(), b.end(), [&](std::uint8_t x) { return x == b.front(); });
}

class Faults {
 public:
  explicit Faults(std::vector<std::string>& out) : out_(out) {}
  void add(std::string s) {
    if (out_.size() < 40) out_.push_back(std::move(s));
  }
  // Reports the first differing ranges of two equally long stretches, skipping [skip_from, skip_to)
  // of `a`.
  void compare(const char* what, std::span<const std::uint8_t> a, std::uint64_t a_at,
               std::span<const std::uint8_t> b, std::uint64_t b_at, std::uint64_t n,
               std::uint64_t skip_from = 0, std::uint64_t skip_to = 0) {
    int reported = 0;
    for (std::uint64_t k = 0; k < n && reported < 4; ++k) {
      const std::uint64_t x = a_at + k;
      if (x >= skip_from && x < skip_to) continue;
      if (a[x] == b[b_at + k]) continue;
      std::uint64_t end = k;
      while (end < n && a[a_at + end] != b[b_at + end]) ++end;
      add(std::string(what) + ": bytes at " + hex(x) + ".." + hex(a_at + end) +
          " of the original differ at " + hex(b_at + k) + " of the result");
      ++reported;
      k = end;
    }
  }

 private:
  std::vector<std::string>& out_;
};

}  // namespace

std::uint32_t next_item_after_arm7(std::span<const std::uint8_t> image) {
  const std::uint32_t arm7 = get32(image, 0x30);
  const std::uint64_t arm7_end = std::uint64_t{arm7} + get32(image, 0x3C);
  std::uint64_t next = image.size();
  auto consider = [&](std::uint64_t at) {
    if (at >= arm7_end && at < next) next = at;
  };
  for (const Field& f : pointers(image)) consider(get32(image, f.at));
  const std::uint32_t fat = get32(image, 0x48), fat_size = get32(image, 0x4C);
  for (std::uint64_t e = fat; e + 8 <= std::uint64_t{fat} + fat_size && e + 8 <= image.size();
       e += 8) {
    consider(get32(image, static_cast<std::size_t>(e)));
  }
  return static_cast<std::uint32_t>(next);
}

SwapVerdict check_swap(std::span<const std::uint8_t> before, std::span<const std::uint8_t> after,
                       std::span<const std::uint8_t> new_arm7) {
  SwapVerdict v;
  Faults faults(v.faults);
  RomImage rb, ra;
  try {
    rb = read_rom(before);
    ra = read_rom(after);
  } catch (const std::exception& e) {
    faults.add(std::string("unreadable image: ") + e.what());
    return v;
  }
  const std::uint32_t arm7 = rb.u32(0x30), old_size = rb.u32(0x3C);
  const auto new_size = static_cast<std::uint32_t>(new_arm7.size());
  const std::uint32_t next = next_item_after_arm7(before);
  v.next_item = next;
  const bool fits = std::uint64_t{arm7} + new_size <= next;

  if (ra.u32(0x30) != arm7) faults.add("ARM7 offset changed to " + hex(ra.u32(0x30)));
  if (ra.u32(0x3C) != new_size)
    faults.add("ARM7 size field is " + hex(ra.u32(0x3C)) + ", not " + hex(new_size));
  if (std::uint64_t{arm7} + new_size > after.size() ||
      !std::equal(new_arm7.begin(), new_arm7.end(), after.begin() + arm7)) {
    faults.add("the new ARM7 is not at the ARM7 offset");
  }
  if (!ra.header_crc_ok()) faults.add("header CRC does not match the header");

  // How far the items after the ARM7 moved, taken from the nearest pointer to one of them.
  const std::vector<Field> fields = pointers(before);
  std::int64_t delta = 0;
  bool have_delta = false;
  std::uint32_t nearest = 0;
  auto consider = [&](std::uint32_t was, std::uint32_t now) {
    if (was >= next && (!have_delta || was < nearest)) {
      delta = std::int64_t{now} - was;
      nearest = was;
      have_delta = true;
    }
  };
  for (const Field& f : fields) consider(rb.u32(f.at), ra.u32(f.at));
  for (std::size_t i = 0; i < rb.fat.size() && i < ra.fat.size(); ++i)
    consider(rb.fat[i].start, ra.fat[i].start);
  if (!have_delta)
    delta = static_cast<std::int64_t>(after.size()) - static_cast<std::int64_t>(before.size());
  v.moved = delta != 0;
  v.delta = static_cast<std::uint32_t>(delta);
  if (fits && delta != 0)
    faults.add("the new ARM7 fits before " + hex(next) + " yet later items moved by " +
               hex(v.delta));
  if (fits && after.size() != before.size())
    faults.add("the new ARM7 fits yet the image length changed");
  if (!fits) {
    const std::uint64_t needed = std::uint64_t{arm7} + new_size - next;
    if (delta <= 0 || v.delta % 0x200 != 0)
      faults.add("later items moved by " + hex(v.delta) + ", not a positive multiple of 0x200");
    if (delta > 0 && v.delta < needed)
      faults.add("later items moved by " + hex(v.delta) + ", too little for the new ARM7");
    // A few alignment units at most: the image does not grow for nothing.
    if (delta > 0 && v.delta >= needed + 0x1000)
      faults.add("later items moved by " + hex(v.delta) + " for " + hex(needed) + " bytes");
  }
  if (delta < 0) return v;
  const auto d = static_cast<std::uint64_t>(delta);

  // Everything before the ARM7 (header included) is as it was, but for the fields that must follow.
  const std::uint32_t fat = rb.u32(0x48), fat_size = rb.u32(0x4C);
  std::vector<std::uint8_t> expected(before.begin(), before.begin() + arm7);
  set32(expected, 0x3C, new_size);
  for (const Field& f : fields) {
    if (rb.u32(f.at) >= next) set32(expected, f.at, moved(rb.u32(f.at), d));
  }
  if (after.size() > 0x15F && expected.size() > 0x15F) {
    expected[0x15E] = after[0x15E];
    expected[0x15F] = after[0x15F];
  }
  // The secure area CRC may follow what changed below 0x8000.
  if (secure_crc_ok(ra, after)) {
    expected[0x6C] = after[0x6C];
    expected[0x6D] = after[0x6D];
  }
  // The DSi digest region over the DS part may or may not be extended over the moved bytes.
  if (rb.dsi() && expected.size() >= 0x1E8 && ra.u32(0x1E4) == rb.u32(0x1E4) + d)
    set32(expected, 0x1E4, ra.u32(0x1E4));
  // The capacity grows only when the moved content no longer fits the chip.
  if (expected.size() > 0x14 && after[0x14] != before[0x14]) {
    const std::uint64_t old_chip = std::uint64_t{0x20000} << (before[0x14] & 0x3F);
    const std::uint64_t new_chip = std::uint64_t{0x20000} << (after[0x14] & 0x3F);
    std::uint64_t content_end = after.size();
    while (content_end > 0 && after[content_end - 1] == after.back()) --content_end;
    content_end =
        std::max<std::uint64_t>({content_end, ra.u32(0x80), rb.dsi() ? ra.u32(0x210) : 0U});
    if (after[0x14] < before[0x14] || content_end <= old_chip || (new_chip >> 1) >= content_end) {
      faults.add("capacity changed from " + std::to_string(before[0x14]) + " to " +
                 std::to_string(after[0x14]) + " for content ending at " + hex(content_end));
    }
    expected[0x14] = after[0x14];
  }
  if (after.size() < arm7) {
    faults.add("the result is shorter than the original's ARM7 offset");
    return v;
  }
  faults.compare("before the ARM7", std::span<const std::uint8_t>(expected), 0, after, 0, arm7, fat,
                 fat + fat_size);

  // Between the old ARM7 and the next item nothing changes unless the new ARM7 covers it.
  const std::uint64_t covered = std::uint64_t{arm7} + std::max(old_size, new_size);
  if (!v.moved && covered < next)
    faults.compare("after the ARM7", before, covered, after, covered, next - covered, fat,
                   fat + fat_size);

  // The later items, moved as one block; the FAT is judged entry by entry below.
  const std::uint64_t n = std::min<std::uint64_t>(
      before.size() - next, after.size() >= next + d ? after.size() - next - d : 0);
  faults.compare("later items", before, next, after, next + d, n, fat, fat + fat_size);
  if (before.size() > next + n && !uniform(before.subspan(next + n)))
    faults.add("non-padding bytes at the end were dropped");
  if (after.size() > next + d + n && !uniform(after.subspan(next + d + n)))
    faults.add("the image grew by more than padding");

  // An image filled to its chip capacity stays filled to the (possibly larger) capacity.
  if (before.size() == std::uint64_t{0x20000} << (before[0x14] & 0x3F) &&
      after.size() != std::uint64_t{0x20000} << (after[0x14] & 0x3F)) {
    faults.add("the image was filled to its capacity, the result (" + hex(after.size()) +
               " bytes) is not");
  }
  if (ra.fat.size() != rb.fat.size())
    faults.add("FAT has " + std::to_string(ra.fat.size()) + " entries, was " +
               std::to_string(rb.fat.size()));
  for (std::size_t i = 0; i < std::min(ra.fat.size(), rb.fat.size()); ++i) {
    const std::uint64_t shift =
        rb.fat[i].start >= next ? moved(rb.fat[i].start, d) - rb.fat[i].start : 0;
    if (ra.fat[i].start != rb.fat[i].start + shift ||
        ra.fat[i].end != moved(rb.fat[i].end, shift)) {
      faults.add("FAT entry " + std::to_string(i) + " is " + hex(ra.fat[i].start) + ".." +
                 hex(ra.fat[i].end) + ", was " + hex(rb.fat[i].start) + ".." + hex(rb.fat[i].end) +
                 ", expected a shift of " + hex(shift));
    }
  }
  if (ra.names != rb.names) faults.add("file names or file IDs changed");
  bool dirs_same = ra.dirs.size() == rb.dirs.size();
  for (std::size_t i = 0; dirs_same && i < ra.dirs.size(); ++i) {
    dirs_same = ra.dirs[i].parent == rb.dirs[i].parent && ra.dirs[i].path == rb.dirs[i].path &&
                ra.dirs[i].first_file == rb.dirs[i].first_file;
  }
  if (!dirs_same) faults.add("directory IDs or their places changed");
  return v;
}

}  // namespace voderer::testgen
