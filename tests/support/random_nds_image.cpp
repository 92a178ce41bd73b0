#include "random_nds_image.h"

#include <algorithm>
#include <array>
#include <span>

#include "nds_image_builder.h"

namespace voderer::testgen {

namespace {

class Rng {
 public:
  explicit Rng(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ULL + 0x51ED) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  std::uint32_t below(std::uint64_t n) {
    return n == 0 ? 0 : static_cast<std::uint32_t>(next() % n);
  }
  bool chance(unsigned percent) { return below(100) < percent; }
  Bytes bytes(std::size_t n) { return random_block(next(), n); }
  template <class T>
  void shuffle(std::vector<T>& v) {
    for (std::size_t i = v.size(); i > 1; --i) std::swap(v[i - 1], v[below(i)]);
  }

 private:
  std::uint64_t state_;
};

std::uint32_t align_up(std::uint64_t x, std::uint32_t a) {
  return static_cast<std::uint32_t>((x + a - 1) / a * a);
}

// ---- the file system ----

// Names a folder may hold: case twins (one name on Windows), Shift-JIS
// (0x5C as a second byte), characters Windows cannot hold, a name twice.
const std::vector<std::vector<std::string>> kNameGroups = {
    {"Root.bin", "root.bin"},
    {"File010", "file010"},
    {"Zz", "zZ", "ZZ"},
    {"\xC3\x84.dat", "\xC3\xA4.dat"},
    {"\x83\x65\x83\x58\x83\x67"},
    {"\x95\x5C\x8E\xA6.txt", "\x83\x5C\x83\x74\x83\x67.bin"},
    {"ab:c?", "end.", "100%", "trail "},
    {"same", "same"},
    {".hidden", "Data", "data"},
};

struct Entry {
  std::string name;
  bool dir = false;
  std::size_t index = 0;  // directory index, or named file index
};

struct Dir {
  std::size_t parent = 0;
  std::vector<Entry> entries;  // sub-table order
  std::uint16_t id = 0xF000;
  std::uint16_t first_file = 0;
};

struct FileSystem {
  std::vector<Dir> dirs;
  std::vector<std::uint32_t> named_id;  // file ID of each named file
};

std::vector<std::string> folder_names(Rng& rng, std::size_t count, unsigned& serial) {
  std::vector<std::string> out;
  while (out.size() < count) {
    if (rng.chance(40)) {
      for (const std::string& n : kNameGroups[rng.below(kNameGroups.size())]) out.push_back(n);
    } else {
      static const std::array<const char*, 4> kExts = {".bin", ".DAT", "", ".narc"};
      std::string name = "n";
      name += std::to_string(serial++);
      name += kExts[rng.below(kExts.size())];
      out.push_back(std::move(name));
    }
  }
  out.resize(count);
  rng.shuffle(out);
  return out;
}

// Directories with random parents, entries in random order (files after
// sub-directories too); directory IDs and the order of first file IDs random.
FileSystem random_tree(Rng& rng, std::uint32_t first_id) {
  FileSystem fs;
  fs.dirs.resize(1 + rng.below(5));
  for (std::size_t d = 1; d < fs.dirs.size(); ++d) fs.dirs[d].parent = rng.below(d);
  std::size_t named = 0;
  unsigned serial = 0;
  for (std::size_t d = 0; d < fs.dirs.size(); ++d) {
    std::vector<Entry>& e = fs.dirs[d].entries;
    for (std::size_t c = 1; c < fs.dirs.size(); ++c)
      if (fs.dirs[c].parent == d) e.push_back({"", true, c});
    for (std::uint32_t f = rng.below(5); f > 0; --f) e.push_back({"", false, named++});
    rng.shuffle(e);
    std::vector<std::string> names = folder_names(rng, e.size(), serial);
    for (std::size_t i = 0; i < e.size(); ++i) e[i].name = names[i];
  }
  std::vector<std::uint16_t> ids(fs.dirs.size() - 1);
  for (std::size_t i = 0; i < ids.size(); ++i) ids[i] = static_cast<std::uint16_t>(0xF001 + i);
  rng.shuffle(ids);
  for (std::size_t d = 1; d < fs.dirs.size(); ++d) fs.dirs[d].id = ids[d - 1];
  std::vector<std::size_t> order(fs.dirs.size());
  for (std::size_t d = 0; d < order.size(); ++d) order[d] = d;
  rng.shuffle(order);
  fs.named_id.resize(named);
  std::uint32_t next = first_id;
  for (std::size_t d : order) {
    fs.dirs[d].first_file = static_cast<std::uint16_t>(next);
    for (const Entry& e : fs.dirs[d].entries)
      if (!e.dir) fs.named_id[e.index] = next++;
  }
  return fs;
}

// Main table by directory ID, sub-tables in a random order.
Bytes fnt_bytes(Rng& rng, const FileSystem& fs) {
  Bytes fnt(fs.dirs.size() * 8, 0);
  std::vector<std::size_t> order(fs.dirs.size());
  for (std::size_t d = 0; d < order.size(); ++d) order[d] = d;
  rng.shuffle(order);
  for (std::size_t d : order) {
    const Dir& dir = fs.dirs[d];
    std::size_t at = std::size_t{dir.id - 0xF000U} * 8;
    wr32(fnt, at, static_cast<std::uint32_t>(fnt.size()));
    wr16(fnt, at + 4, dir.first_file);
    wr16(fnt, at + 6, d == 0 ? static_cast<std::uint32_t>(fs.dirs.size()) : fs.dirs[dir.parent].id);
    for (const Entry& e : dir.entries) {
      fnt.push_back(static_cast<std::uint8_t>(e.name.size() | (e.dir ? 0x80U : 0U)));
      fnt.insert(fnt.end(), e.name.begin(), e.name.end());
      if (e.dir) {
        fnt.push_back(static_cast<std::uint8_t>(fs.dirs[e.index].id));
        fnt.push_back(static_cast<std::uint8_t>(fs.dirs[e.index].id >> 8));
      }
    }
    fnt.push_back(0);
  }
  return fnt;
}

// ---- the image ----

struct Chunk {
  std::string what;
  Bytes bytes;
  std::uint32_t at = 0;
};

struct Image {
  bool dsi = false;
  std::uint32_t header_size = 0x200, align = 0x200;
  std::uint8_t pad = 0;
  std::vector<Chunk> chunks;
  std::vector<std::array<std::uint32_t, 2>> fat;  // by file ID; ranges filled in once placed
  std::vector<int> fat_chunk;                     // chunk holding each entry's bytes, or -1
  Bytes fnt;
  bool names = false;
  std::uint32_t arm9_size = 0, arm7_size = 0;
  std::uint16_t banner_version = 0;
  std::uint32_t used = 0, size = 0;
  std::string traits;
};

int chunk_index(const Image& im, const std::string& what) {
  for (std::size_t i = 0; i < im.chunks.size(); ++i)
    if (im.chunks[i].what == what) return static_cast<int>(i);
  return -1;
}
const Chunk* chunk(const Image& im, const std::string& what) {
  int i = chunk_index(im, what);
  return i < 0 ? nullptr : &im.chunks[static_cast<std::size_t>(i)];
}

void add_overlays(Rng& rng, Image& im, const char* table, std::uint32_t count) {
  if (count == 0) return;
  Bytes t(std::size_t{32} * count, 0);
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint32_t id = static_cast<std::uint32_t>(im.fat.size());
    wr32(t, std::size_t{32} * i, i);
    wr32(t, 32 * i + 4, 0x02100000 + 0x4000 * i);
    wr32(t, 32 * i + 24, id);
    im.fat.push_back({0, 0});
    im.fat_chunk.push_back(static_cast<int>(im.chunks.size()));
    im.chunks.push_back({"overlay " + std::to_string(id), rng.bytes(0x40 + rng.below(0x200))});
  }
  im.chunks.push_back({table, t});
}

Bytes banner_bytes(Rng& rng, bool dsi, std::uint16_t& version) {
  static const std::array<std::uint16_t, 4> kDs = {1, 2, 3, 0x42}, kDsi = {1, 3, 0x103, 0x103};
  version = (dsi ? kDsi : kDs)[rng.below(4)];
  std::uint32_t size = version == 2       ? 0x940
                       : version == 3     ? 0xA40
                       : version == 0x103 ? 0x23C0
                                          : 0x840;
  Bytes b = rng.bytes(size);
  wr16(b, 0, version);
  return b;
}

// Files of the tree (a name may share another's range), overlays, unnamed
// entries; each non-empty range its own chunk.
void add_files(Rng& rng, Image& im) {
  add_overlays(rng, im, "ovt9", rng.chance(30) ? 1 + rng.below(2) : 0);
  add_overlays(rng, im, "ovt7", rng.chance(20) ? 1 + rng.below(2) : 0);
  im.names = rng.chance(75);
  if (!im.names && rng.chance(50)) return;  // no file system at all
  FileSystem fs = random_tree(rng, static_cast<std::uint32_t>(im.fat.size()));
  std::size_t named = im.names ? fs.named_id.size() : rng.below(4);
  if (im.names) im.fnt = fnt_bytes(rng, fs);
  for (std::size_t f = 0; f < named; ++f) {
    im.fat.push_back({0, 0});
    im.fat_chunk.push_back(-1);
    std::size_t id = im.fat.size() - 1;
    if (rng.chance(25)) continue;  // empty
    if (rng.chance(10) && id > 0 && im.fat_chunk[id - 1] >= 0) {
      im.fat_chunk[id] = im.fat_chunk[id - 1];  // two names, one range
      im.traits += " shared-range";
      continue;
    }
    im.fat_chunk[id] = static_cast<int>(im.chunks.size());
    im.chunks.push_back({"file " + std::to_string(id), rng.bytes(1 + rng.below(0x300))});
  }
}

void place_chunks(Rng& rng, Image& im) {
  std::vector<std::size_t> order(im.chunks.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  rng.shuffle(order);
  if (rng.chance(70)) {  // the ARM9 right after the header, as most tools have it
    auto arm9 = std::find(order.begin(), order.end(), 0);
    std::rotate(order.begin(), arm9, arm9 + 1);
  }
  std::uint32_t pos = im.header_size;
  for (std::size_t i : order) {
    pos = align_up(pos, im.align);
    if (rng.chance(15)) pos += im.align * (1 + rng.below(3));
    im.chunks[i].at = pos;
    pos += static_cast<std::uint32_t>(im.chunks[i].bytes.size());
  }
  im.used = pos;
}

// The banner's tail holds the FNT's start: two items sharing bytes. The FNT
// chunk keeps its bytes only for the FAT's sake; it is placed inside the banner's.

void maybe_overlap(Rng& rng, Image& im, std::uint32_t& fnt_inside) {
  int banner = chunk_index(im, "banner"), fnt = chunk_index(im, "fnt");
  if (banner < 0 || fnt < 0 || !im.names || !rng.chance(15)) return;
  Chunk& b = im.chunks[static_cast<std::size_t>(banner)];
  Chunk& f = im.chunks[static_cast<std::size_t>(fnt)];
  // The FNT may end before the banner does, or after it.
  fnt_inside = static_cast<std::uint32_t>(b.bytes.size() - 1 - rng.below(16));
  b.bytes.resize(std::max(b.bytes.size(), fnt_inside + f.bytes.size()));
  std::copy(f.bytes.begin(), f.bytes.end(), b.bytes.begin() + fnt_inside);
  f.what = "fnt-in-banner";
  f.bytes.clear();
  im.traits += " banner-fnt-overlap";
}

std::uint32_t random_spot(Rng& rng, const Image& im) {
  const Chunk& c = im.chunks[rng.below(im.chunks.size())];
  switch (rng.below(6)) {
    case 0: return c.at;
    case 1: return c.at + static_cast<std::uint32_t>(c.bytes.size());
    case 2: return im.size + rng.below(0x10000);
    case 3: return im.size;
    case 4: return 0xFFFFFF00;
    default: return align_up(rng.below(im.size), im.align);
  }
}

// The DSi sections (and a signature block) after the DS part.
void add_dsi_part(Rng& rng, Image& im) {
  std::uint32_t pos = im.used;
  if (rng.chance(30)) {
    im.chunks.push_back({"rsa", rng.bytes(0x88), pos});
    pos += 0x88;
  }
  if (!im.dsi) return;
  for (const char* what : {"arm9i", "arm7i"}) {
    pos = align_up(pos, 0x200);
    im.chunks.push_back({what, rng.bytes(0x100 + rng.below(0x400)), pos});
    pos += static_cast<std::uint32_t>(im.chunks.back().bytes.size());
  }
}

std::uint32_t content_end(const Image& im, const Chunk* but = nullptr) {
  std::uint32_t end = im.header_size;
  for (const Chunk& c : im.chunks)
    if (&c != but) end = std::max(end, c.at + static_cast<std::uint32_t>(c.bytes.size()));
  return end;
}

// Trimmed right after the last byte, aligned, or filled up to the chip.
void choose_size(Rng& rng, Image& im) {
  std::uint32_t end = content_end(im);
  switch (rng.below(3)) {
    case 0: im.size = end, im.traits += " trimmed"; break;
    case 1: im.size = align_up(end, 0x200), im.traits += " aligned"; break;
    default: {
      std::uint32_t chip = 0x20000;
      while (chip < end) chip *= 2;
      im.size = chip;
      im.traits += " filled";
    }
  }
}

// Without names: no FNT, one shorter than a root entry, or a root entry
// wholly or partly past the end of the file.
void add_unusable_fnt(Rng& rng, Image& im) {
  Bytes root = {8, 0, 0, 0, 0, 0, 1, 0, 0};
  switch (rng.below(4)) {
    case 0: im.traits += " fnt-empty"; break;
    case 1:
      im.chunks.push_back({"fnt", rng.bytes(1 + rng.below(7))}), im.traits += " fnt-short";
      break;
    default: im.chunks.push_back({"fnt-past-end", root}), im.traits += " fnt-past-end";
  }
}

void place_unusable_fnt(Rng& rng, Image& im) {
  int i = chunk_index(im, "fnt-past-end");
  if (i < 0) return;
  Chunk& f = im.chunks[static_cast<std::size_t>(i)];
  f.at = im.size + rng.below(0x1000);
  if (im.dsi || !rng.chance(50)) return;
  f.at = align_up(content_end(im, &f), im.align);  // partly: the file ends inside it
  im.used = f.at + 9;
  im.size = f.at + rng.below(9);
}

void fill_fat(Rng& rng, Image& im) {
  for (std::size_t id = 0; id < im.fat.size(); ++id) {
    int c = im.fat_chunk[id];
    if (c >= 0) {
      const Chunk& ch = im.chunks[static_cast<std::size_t>(c)];
      im.fat[id] = {ch.at, ch.at + static_cast<std::uint32_t>(ch.bytes.size())};
    } else if (c == -1) {  // empty: at (0, 0) or anywhere
      std::uint32_t at = rng.chance(40) ? 0 : random_spot(rng, im);
      im.fat[id] = {at, at};
    } else {  // an entry no DS reads: a range it cannot have, or another item's bytes
      const Chunk& arm9 = im.chunks[0];
      std::uint32_t at = random_spot(rng, im);
      switch (rng.below(3)) {
        case 0: im.fat[id] = {at + 0x10, at}, im.traits += " fat-reversed"; break;
        case 1: im.fat[id] = {at, im.size + 0x100}, im.traits += " fat-past-end"; break;
        default: im.fat[id] = {arm9.at + 0x10, arm9.at + 0x40}, im.traits += " fat-in-arm9";
      }
    }
  }
}

Bytes assemble(const Image& im) {
  Bytes out(im.size, im.pad);
  std::fill_n(out.begin(), std::min<std::size_t>(out.size(), im.header_size), 0);
  for (const Chunk& c : im.chunks)
    for (std::size_t i = 0; i < c.bytes.size() && c.at + i < out.size(); ++i)
      out[c.at + i] = c.bytes[i];
  return out;
}

void set_item(Bytes& h, std::size_t field, const Chunk* c, std::uint32_t size) {
  wr32(h, field, c ? c->at : 0);
  wr32(h, field + 4, c ? size : 0);
}

void write_header(Rng& rng, const Image& im, Bytes& b) {
  const std::string title = "RANDOM TEST";
  std::copy(title.begin(), title.end(), b.begin());
  std::copy_n("RNDM01", 6, b.begin() + 0x0C);
  b[0x12] = im.dsi ? (rng.chance(50) ? 2 : 3) : 0;
  std::uint8_t cap = 0;
  while ((std::uint64_t{0x20000} << cap) < im.size) ++cap;
  b[0x14] = cap;
  wr32(b, 0x20, chunk(im, "arm9")->at);
  wr32(b, 0x24, 0x02000000), wr32(b, 0x28, 0x02000000), wr32(b, 0x2C, im.arm9_size);
  wr32(b, 0x30, chunk(im, "arm7")->at);
  wr32(b, 0x34, 0x02380000), wr32(b, 0x38, 0x02380000), wr32(b, 0x3C, im.arm7_size);
  for (auto [field, what] : {std::pair<std::size_t, const char*>{0x50, "ovt9"}, {0x58, "ovt7"}}) {
    const Chunk* c = chunk(im, what);
    set_item(b, field, c, c ? static_cast<std::uint32_t>(c->bytes.size()) : 0);
  }
  wr32(b, 0x60, 0x00586000), wr32(b, 0x64, 0x001808F8);
  const Chunk* banner = chunk(im, "banner");
  wr32(b, 0x68, banner ? banner->at : 0);
  wr32(b, 0x80, im.used);
  wr32(b, 0x84, im.header_size);
  Bytes logo = random_block(0x1060, 0x9C);
  std::copy(logo.begin(), logo.end(), b.begin() + 0xC0);
  wr16(b, 0x15C, crc16(logo));
  if (!im.dsi) return;
  const Chunk *a9i = chunk(im, "arm9i"), *a7i = chunk(im, "arm7i");
  std::uint32_t total = a7i->at + static_cast<std::uint32_t>(a7i->bytes.size());
  wr32(b, 0x1C0, a9i->at), wr32(b, 0x1CC, static_cast<std::uint32_t>(a9i->bytes.size()));
  wr32(b, 0x1D0, a7i->at), wr32(b, 0x1DC, static_cast<std::uint32_t>(a7i->bytes.size()));
  wr32(b, 0x1C8, 0x02400000), wr32(b, 0x1D8, 0x02E80000);
  wr32(b, 0x1E0, im.header_size), wr32(b, 0x1E4, im.used - im.header_size);
  wr32(b, 0x1E8, a9i->at), wr32(b, 0x1EC, total - a9i->at);
  if (banner && rng.chance(50)) wr32(b, 0x208, static_cast<std::uint32_t>(banner->bytes.size()));
  wr32(b, 0x210, total);
}

}  // namespace

RandomImage random_image(std::uint64_t seed) {
  Rng rng(seed);
  Image im;
  im.dsi = rng.chance(35);
  im.header_size = im.dsi || rng.chance(50) ? 0x4000 : 0x200;
  static const std::array<std::uint32_t, 4> kAligns = {4, 0x200, 0x200, 0x400};
  im.align = kAligns[rng.below(kAligns.size())];
  im.pad = rng.chance(50) ? 0xFF : 0x00;
  im.traits = std::string(im.dsi ? "dsi" : "ds") + " align " + std::to_string(im.align);

  im.arm9_size = (0x200 + rng.below(0x3000)) & ~3U;
  Bytes arm9 = rng.bytes(im.arm9_size);
  if (rng.chance(25)) {
    Bytes footer(12, 0);
    wr32(footer, 0, 0xDEC00621);
    wr32(footer, 4, 0x0A40);
    arm9.insert(arm9.end(), footer.begin(), footer.end());
    im.traits += " footer";
  }
  im.chunks.push_back({"arm9", arm9});
  im.arm7_size = (0x100 + rng.below(0x2000)) & ~3U;
  im.chunks.push_back({"arm7", arm7_block(rng.next(), im.arm7_size)});
  add_files(rng, im);
  for (std::uint32_t k = rng.chance(20) ? 1 + rng.below(2) : 0; k > 0; --k) {
    im.fat.push_back({0, 0});
    im.fat_chunk.push_back(-2);
  }
  if (!im.fat.empty()) im.chunks.push_back({"fat", Bytes(im.fat.size() * 8, 0)});
  if (im.names)
    im.chunks.push_back({"fnt", im.fnt});
  else
    add_unusable_fnt(rng, im);
  if (rng.chance(80)) im.chunks.push_back({"banner", banner_bytes(rng, im.dsi, im.banner_version)});
  std::uint32_t fnt_inside = 0;
  maybe_overlap(rng, im, fnt_inside);

  place_chunks(rng, im);
  if (int f = chunk_index(im, "fnt-in-banner"); f >= 0)
    im.chunks[static_cast<std::size_t>(f)].at = chunk(im, "banner")->at + fnt_inside;
  add_dsi_part(rng, im);
  choose_size(rng, im);
  place_unusable_fnt(rng, im);
  fill_fat(rng, im);

  Bytes b = assemble(im);
  write_header(rng, im, b);
  if (int f = chunk_index(im, "fat"); f >= 0) {
    Chunk& fat = im.chunks[static_cast<std::size_t>(f)];
    for (std::size_t id = 0; id < im.fat.size(); ++id) {
      wr32(fat.bytes, id * 8, im.fat[id][0]);
      wr32(fat.bytes, id * 8 + 4, im.fat[id][1]);
    }
    for (std::size_t i = 0; i < fat.bytes.size() && fat.at + i < b.size(); ++i)
      b[fat.at + i] = fat.bytes[i];
    wr32(b, 0x48, fat.at), wr32(b, 0x4C, static_cast<std::uint32_t>(fat.bytes.size()));
  } else {
    wr32(b, 0x48, random_spot(rng, im)), wr32(b, 0x4C, 0);
    im.traits += " fat-empty";
  }
  const Chunk* fnt = chunk(im, "fnt");
  if (!fnt) fnt = chunk(im, "fnt-in-banner");
  if (!fnt) fnt = chunk(im, "fnt-past-end");
  if (fnt) {
    std::uint32_t size = static_cast<std::uint32_t>(
        fnt->what == "fnt-in-banner" ? im.fnt.size() : fnt->bytes.size());
    wr32(b, 0x40, fnt->at), wr32(b, 0x44, size);
  } else {
    wr32(b, 0x40, random_spot(rng, im)), wr32(b, 0x44, 0);
  }
  for (std::size_t field : {std::size_t{0x50}, std::size_t{0x58}})
    if (rng.chance(10) && b[field + 4] == 0 && b[field + 5] == 0)
      wr32(b, field, random_spot(rng, im));
  std::uint32_t arm9_at = chunk(im, "arm9")->at;
  if (arm9_at < 0x8000 && b.size() >= 0x8000 && rng.chance(60))
    wr16(b, 0x6C, crc16(std::span<const std::uint8_t>(b).subspan(arm9_at, 0x8000 - arm9_at)));
  wr16(b, 0x15E, crc16(std::span<const std::uint8_t>(b).first(0x15E)));
  return {std::move(b), im.traits};
}

}  // namespace voderer::testgen
