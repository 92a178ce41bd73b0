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

namespace {

// One swap judged: each method looks at one thing the swap must keep.
class SwapJudge {
 public:
  SwapJudge(std::span<const std::uint8_t> before, std::span<const std::uint8_t> after,
            std::span<const std::uint8_t> new_arm7, const RomImage& rb, const RomImage& ra,
            SwapVerdict& v)
      : before_(before),
        after_(after),
        new_arm7_(new_arm7),
        rb_(rb),
        ra_(ra),
        v_(v),
        faults_(v.faults),
        arm7_(rb.u32(0x30)),
        old_size_(rb.u32(0x3C)),
        new_size_(static_cast<std::uint32_t>(new_arm7.size())),
        next_(next_item_after_arm7(before)),
        fat_(rb.u32(0x48)),
        fat_end_(rb.u32(0x48) + rb.u32(0x4C)),
        fields_(pointers(before)) {
    v_.next_item = next_;
  }

  void judge() {
    check_arm7();
    const std::int64_t delta = measure_delta();
    check_delta(delta);
    if (delta < 0) return;
    const auto d = static_cast<std::uint64_t>(delta);
    if (!check_before_arm7(d)) return;
    check_after_arm7(d);
    check_fat(d);
    check_names();
  }

 private:
  bool fits() const { return std::uint64_t{arm7_} + new_size_ <= next_; }

  void check_arm7() {
    if (ra_.u32(0x30) != arm7_) faults_.add("ARM7 offset changed to " + hex(ra_.u32(0x30)));
    if (ra_.u32(0x3C) != new_size_)
      faults_.add("ARM7 size field is " + hex(ra_.u32(0x3C)) + ", not " + hex(new_size_));
    if (std::uint64_t{arm7_} + new_size_ > after_.size() ||
        !std::equal(new_arm7_.begin(), new_arm7_.end(), after_.begin() + arm7_)) {
      faults_.add("the new ARM7 is not at the ARM7 offset");
    }
    if (!ra_.header_crc_ok()) faults_.add("header CRC does not match the header");
  }

  // How far the items after the ARM7 moved, taken from the nearest pointer to one of them.
  std::int64_t measure_delta() const {
    std::int64_t delta = 0;
    bool have_delta = false;
    std::uint32_t nearest = 0;
    auto consider = [&](std::uint32_t was, std::uint32_t now) {
      if (was >= next_ && (!have_delta || was < nearest)) {
        delta = std::int64_t{now} - was;
        nearest = was;
        have_delta = true;
      }
    };
    for (const Field& f : fields_) consider(rb_.u32(f.at), ra_.u32(f.at));
    for (std::size_t i = 0; i < rb_.fat.size() && i < ra_.fat.size(); ++i)
      consider(rb_.fat[i].start, ra_.fat[i].start);
    if (!have_delta)
      delta = static_cast<std::int64_t>(after_.size()) - static_cast<std::int64_t>(before_.size());
    return delta;
  }

  void check_delta(std::int64_t delta) {
    v_.moved = delta != 0;
    v_.delta = static_cast<std::uint32_t>(delta);
    if (fits() && delta != 0)
      faults_.add("the new ARM7 fits before " + hex(next_) + " yet later items moved by " +
                  hex(v_.delta));
    if (fits() && after_.size() != before_.size())
      faults_.add("the new ARM7 fits yet the image length changed");
    if (fits()) return;
    const std::uint64_t needed = std::uint64_t{arm7_} + new_size_ - next_;
    if (delta <= 0 || v_.delta % 0x200 != 0)
      faults_.add("later items moved by " + hex(v_.delta) + ", not a positive multiple of 0x200");
    if (delta > 0 && v_.delta < needed)
      faults_.add("later items moved by " + hex(v_.delta) + ", too little for the new ARM7");
    // A few alignment units at most: the image does not grow for nothing.
    if (delta > 0 && v_.delta >= needed + 0x1000)
      faults_.add("later items moved by " + hex(v_.delta) + " for " + hex(needed) + " bytes");
  }

  // The capacity grows only when the moved content no longer fits the chip.
  void check_capacity(std::vector<std::uint8_t>& expected) {
    if (expected.size() <= 0x14 || after_[0x14] == before_[0x14]) return;
    const std::uint64_t old_chip = std::uint64_t{0x20000} << (before_[0x14] & 0x3F);
    const std::uint64_t new_chip = std::uint64_t{0x20000} << (after_[0x14] & 0x3F);
    std::uint64_t content_end = after_.size();
    while (content_end > 0 && after_[content_end - 1] == after_.back()) --content_end;
    content_end =
        std::max<std::uint64_t>({content_end, ra_.u32(0x80), rb_.dsi() ? ra_.u32(0x210) : 0U});
    if (after_[0x14] < before_[0x14] || content_end <= old_chip || (new_chip >> 1) >= content_end) {
      faults_.add("capacity changed from " + std::to_string(before_[0x14]) + " to " +
                  std::to_string(after_[0x14]) + " for content ending at " + hex(content_end));
    }
    expected[0x14] = after_[0x14];
  }

  // Everything before the ARM7 (header included) is as it was, but for the
  // fields that must follow. False when the result is too short to compare.
  bool check_before_arm7(std::uint64_t d) {
    std::vector<std::uint8_t> expected(before_.begin(), before_.begin() + arm7_);
    set32(expected, 0x3C, new_size_);
    for (const Field& f : fields_) {
      if (rb_.u32(f.at) >= next_) set32(expected, f.at, moved(rb_.u32(f.at), d));
    }
    if (after_.size() > 0x15F && expected.size() > 0x15F) {
      expected[0x15E] = after_[0x15E];
      expected[0x15F] = after_[0x15F];
    }
    // The secure area CRC may follow what changed below 0x8000.
    if (secure_crc_ok(ra_, after_)) {
      expected[0x6C] = after_[0x6C];
      expected[0x6D] = after_[0x6D];
    }
    // The DSi digest region over the DS part may or may not be extended over the moved bytes.
    if (rb_.dsi() && expected.size() >= 0x1E8 && ra_.u32(0x1E4) == rb_.u32(0x1E4) + d)
      set32(expected, 0x1E4, ra_.u32(0x1E4));
    check_capacity(expected);
    if (after_.size() < arm7_) {
      faults_.add("the result is shorter than the original's ARM7 offset");
      return false;
    }
    faults_.compare("before the ARM7", std::span<const std::uint8_t>(expected), 0, after_, 0, arm7_,
                    fat_, fat_end_);
    return true;
  }

  void check_after_arm7(std::uint64_t d) {
    // Between the old ARM7 and the next item nothing changes unless the new ARM7 covers it.
    const std::uint64_t covered = std::uint64_t{arm7_} + std::max(old_size_, new_size_);
    if (!v_.moved && covered < next_)
      faults_.compare("after the ARM7", before_, covered, after_, covered, next_ - covered, fat_,
                      fat_end_);

    // The later items, moved as one block; the FAT is judged entry by entry below.
    const std::uint64_t n = std::min<std::uint64_t>(
        before_.size() - next_, after_.size() >= next_ + d ? after_.size() - next_ - d : 0);
    faults_.compare("later items", before_, next_, after_, next_ + d, n, fat_, fat_end_);
    if (before_.size() > next_ + n && !uniform(before_.subspan(next_ + n)))
      faults_.add("non-padding bytes at the end were dropped");
    if (after_.size() > next_ + d + n && !uniform(after_.subspan(next_ + d + n)))
      faults_.add("the image grew by more than padding");

    // An image filled to its chip capacity stays filled to the (possibly larger) capacity.
    if (before_.size() == std::uint64_t{0x20000} << (before_[0x14] & 0x3F) &&
        after_.size() != std::uint64_t{0x20000} << (after_[0x14] & 0x3F)) {
      faults_.add("the image was filled to its capacity, the result (" + hex(after_.size()) +
                  " bytes) is not");
    }
  }

  void check_fat(std::uint64_t d) {
    const auto& fb = rb_.fat;
    const auto& fa = ra_.fat;
    if (fa.size() != fb.size())
      faults_.add("FAT has " + std::to_string(fa.size()) + " entries, was " +
                  std::to_string(fb.size()));
    for (std::size_t i = 0; i < std::min(fa.size(), fb.size()); ++i) {
      const std::uint64_t shift = fb[i].start >= next_ ? moved(fb[i].start, d) - fb[i].start : 0;
      if (fa[i].start != fb[i].start + shift || fa[i].end != moved(fb[i].end, shift)) {
        faults_.add("FAT entry " + std::to_string(i) + " is " + hex(fa[i].start) + ".." +
                    hex(fa[i].end) + ", was " + hex(fb[i].start) + ".." + hex(fb[i].end) +
                    ", expected a shift of " + hex(shift));
      }
    }
  }

  void check_names() {
    if (ra_.names != rb_.names) faults_.add("file names or file IDs changed");
    bool dirs_same = ra_.dirs.size() == rb_.dirs.size();
    for (std::size_t i = 0; dirs_same && i < ra_.dirs.size(); ++i) {
      dirs_same = ra_.dirs[i].parent == rb_.dirs[i].parent &&
                  ra_.dirs[i].path == rb_.dirs[i].path &&
                  ra_.dirs[i].first_file == rb_.dirs[i].first_file;
    }
    if (!dirs_same) faults_.add("directory IDs or their places changed");
  }

  std::span<const std::uint8_t> before_, after_, new_arm7_;
  const RomImage& rb_;
  const RomImage& ra_;
  SwapVerdict& v_;
  Faults faults_;
  std::uint32_t arm7_, old_size_, new_size_, next_;
  std::uint64_t fat_, fat_end_;
  std::vector<Field> fields_;
};

}  // namespace

SwapVerdict check_swap(std::span<const std::uint8_t> before, std::span<const std::uint8_t> after,
                       std::span<const std::uint8_t> new_arm7) {
  SwapVerdict v;
  RomImage rb, ra;
  try {
    rb = read_rom(before);
    ra = read_rom(after);
  } catch (const std::exception& e) {
    Faults(v.faults).add(std::string("unreadable image: ") + e.what());
    return v;
  }
  SwapJudge(before, after, new_arm7, rb, ra, v).judge();
  return v;
}

}  // namespace voderer::testgen
