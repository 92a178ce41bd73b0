#include "nds_image_builder.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace voderer::testgen {

std::uint16_t crc16(std::span<const std::uint8_t> bytes, std::uint16_t crc) {
  for (std::uint8_t b : bytes) {
    crc = static_cast<std::uint16_t>(crc ^ b);
    for (int i = 0; i < 8; ++i) {
      crc = (crc & 1U) != 0 ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001U)
                            : static_cast<std::uint16_t>(crc >> 1);
    }
  }
  return crc;
}

const Item* ImageDescription::item(const std::string& name) const {
  for (const Item& it : items) {
    if (it.name == name) return &it;
  }
  return nullptr;
}

namespace {

constexpr std::uint32_t kNoOffset = 0;

std::uint64_t splitmix(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

std::uint64_t mix_key(std::uint64_t seed, std::uint64_t tag) {
  std::uint64_t s = seed * 0x100000001B3ULL + tag;
  return splitmix(s);
}

void random_bytes(std::uint64_t key, std::uint8_t* out, std::size_t n) {
  std::uint64_t state = key;
  std::size_t i = 0;
  while (i < n) {
    std::uint64_t v = splitmix(state);
    for (int k = 0; k < 8 && i < n; ++k, ++i) out[i] = static_cast<std::uint8_t>(v >> (8 * k));
  }
}

std::vector<std::uint8_t> random_vector(std::uint64_t key, std::size_t n) {
  std::vector<std::uint8_t> v(n);
  random_bytes(key, v.data(), n);
  return v;
}

std::uint32_t align_up(std::uint64_t x, std::uint32_t a) {
  const std::uint64_t r = (x + a - 1) / a * a;
  if (r > 0xFFFFFFFFULL) throw std::runtime_error("generated image exceeds 4 GiB");
  return static_cast<std::uint32_t>(r);
}

void put16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void put32(std::uint8_t* p, std::uint32_t v) {
  put16(p, v);
  put16(p + 2, v >> 16);
}

// Mastering tools sort names ignoring ASCII case, which is not byte-wise order.
bool name_less(const std::string& a, const std::string& b) {
  auto lower = [](std::string s) {
    for (char& c : s) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
  };
  const std::string la = lower(a), lb = lower(b);
  return la != lb ? la < lb : a < b;
}

struct SjisName {
  const char* raw;
  const char* utf8;
};
// Katakana and kanji, two of them with 0x5C ('\') and one with 0x7C ('|') as a second byte.
constexpr std::array<SjisName, 6> kSjis = {{
    {"\x83\x65\x83\x58\x83\x67", "\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88"},          // テスト
    {"\x83\x5C\x83\x74\x83\x67.bin", "\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88.bin"},  // ソフト.bin
    {"\x95\x5C\x8E\xA6.txt", "\xE8\xA1\xA8\xE7\xA4\xBA.txt"},                      // 表示.txt
    {"\x89\xB9\x8A\x79.sdat", "\xE9\x9F\xB3\xE6\xA5\xBD.sdat"},                    // 音楽.sdat
    {"\x83\x66\x81\x5B\x83\x5E", "\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF"},          // データ
    {"\x83\x7C\x81\x5B\x83\x67.dat", "\xE3\x83\x9D\xE3\x83\xBC\xE3\x83\x88.dat"},  // ポート.dat
}};

constexpr std::array<const char*, 12> kFileWords = {"apple", "Banana",  "cherry", "Delta",
                                                    "echo",  "Foxtrot", "golf",   "Hotel",
                                                    "india", "Juliet",  "kilo",   "Lima"};
constexpr std::array<const char*, 4> kExts = {".bin", ".dat", ".NARC", ".sdat"};
constexpr std::array<const char*, 8> kDirWords = {"Maps",   "sound",  "Text", "zone",
                                                  "Battle", "effect", "Menu", "obj"};

struct Entry {
  std::string raw, utf8;
  bool is_dir = false;
  int dir = -1;   // tree index when is_dir
  int file = -1;  // index into Plan::named when a file
};

struct TreeDir {
  int parent = -1;
  unsigned depth = 0;
  std::string raw_path, utf8_path;
  std::vector<Entry> entries;  // sub-table order
  std::uint16_t id = 0;
};

struct NamedFile {
  std::string raw_path, utf8_path;
  std::uint32_t size = 0;
  std::uint16_t id = 0;
};

struct Chunk {
  std::uint32_t offset = 0;
  const std::vector<std::uint8_t>* bytes = nullptr;  // or generated from a file entry
  const FileInfo* file = nullptr;
};

struct Built {
  ImageDescription desc;
  std::vector<std::uint8_t> header, arm9, footer, arm7, ovt9, ovt7, fnt, fat, banner, rsa, arm9i,
      arm7i, sector_hashes, block_hashes;
  std::vector<Chunk> chunks;
};

void add_dir(std::vector<TreeDir>& tree, int parent, std::string raw, std::string utf8) {
  TreeDir d;
  d.parent = parent;
  d.depth = tree[static_cast<std::size_t>(parent)].depth + 1;
  const TreeDir& p = tree[static_cast<std::size_t>(parent)];
  d.raw_path = p.raw_path.empty() ? raw : p.raw_path + "/" + raw;
  d.utf8_path = p.utf8_path.empty() ? utf8 : p.utf8_path + "/" + utf8;
  const int index = static_cast<int>(tree.size());
  tree.push_back(std::move(d));
  Entry e;
  e.raw = std::move(raw);
  e.utf8 = std::move(utf8);
  e.is_dir = true;
  e.dir = index;
  tree[static_cast<std::size_t>(parent)].entries.push_back(std::move(e));
}

std::string numbered(const char* word, std::size_t i, std::size_t n) {
  std::string s = word;
  if (i >= n) {
    s += '_';
    s += std::to_string(i / n);
  }
  return s;
}

// Plans one image in stages, each filling in more of the description and
// the bytes; the random choices come in the same order every time.
class Planner {
 public:
  Planner(const ImageOptions& options, Built& built)
      : o(options), b(built), d(built.desc), rng(mix_key(options.seed, 0xA11)) {
    if (o.alignment == 0 || (o.alignment & (o.alignment - 1)) != 0)
      throw std::invalid_argument("alignment");
  }

  void run() {
    make_tree();
    add_files();
    number();
    describe_files();
    make_fnt();
    lay_out();
    make_binaries();
    make_banner();
    make_extras();
    make_header();
    make_dsi_header();
    finish_header();
    list_chunks();
  }

 private:
  // The directory tree, breadth first.
  void make_tree() {
    // Directory tree, breadth first.
    tree.assign(1, TreeDir{});
    std::vector<int> level = {0};
    for (unsigned depth = 1; depth <= o.dir_depth; ++depth) {
      std::vector<int> next;
      for (std::size_t k = 0; k < level.size(); ++k) {
        if (depth > 1 && o.chain_below != 0 && k >= o.chain_below) break;
        const int parent = level[k];
        for (unsigned j = 0; j < o.dir_fanout; ++j) {
          std::string name =
              numbered(kDirWords[(j + depth) % kDirWords.size()], j, kDirWords.size());
          if (o.shift_jis_names && depth == 1 && j == 0) {
            add_dir(tree, parent, kSjis[0].raw, kSjis[0].utf8);
          } else {
            add_dir(tree, parent, name, name);
          }
          next.push_back(static_cast<int>(tree.size()) - 1);
        }
      }
      level = std::move(next);
    }
  }

  // Named files in every directory, with random sizes.
  void add_files() {
    const int deepest = static_cast<int>(tree.size()) - 1;
    auto add_file = [&](int dir, std::string raw, std::string utf8, std::uint32_t size) {
      TreeDir& t = tree[static_cast<std::size_t>(dir)];
      NamedFile f;
      f.raw_path = t.raw_path.empty() ? raw : t.raw_path + "/" + raw;
      f.utf8_path = t.utf8_path.empty() ? utf8 : t.utf8_path + "/" + utf8;
      f.size = size;
      Entry e;
      e.raw = std::move(raw);
      e.utf8 = std::move(utf8);
      e.file = static_cast<int>(named.size());
      named.push_back(std::move(f));
      t.entries.push_back(std::move(e));
    };
    for (std::size_t di = 0; di < tree.size(); ++di) {
      for (unsigned j = 0; j < o.files_per_dir; ++j) {
        const std::size_t w = (j + di) % kFileWords.size();
        std::string name =
            numbered(kFileWords[w], j, kFileWords.size()) + kExts[(j + di) % kExts.size()];
        const auto size = static_cast<std::uint32_t>(
            1 + splitmix(rng) % std::max<std::uint32_t>(o.file_size_max, 1));
        add_file(static_cast<int>(di), name, name, size);
      }
    }
    if (o.zero_length_files) {
      add_file(0, "Empty.bin", "Empty.bin", 0);
      add_file(deepest, "zero", "zero", 0);
    }
    if (o.shift_jis_names) {
      add_file(deepest, kSjis[1].raw, kSjis[1].utf8, 0x55);
      add_file(tree.size() > 2 ? 2 : 0, kSjis[2].raw, kSjis[2].utf8, 0x77);
      add_file(0, kSjis[3].raw, kSjis[3].utf8, 0x99);
      add_file(0, kSjis[4].raw, kSjis[4].utf8, 0x33);
      add_file(tree.size() > 3 ? 3 : 0, kSjis[5].raw, kSjis[5].utf8, 0x41);
    }
  }

  // Sorted entries, directory IDs and file IDs.
  void number() {
    for (TreeDir& t : tree) {
      std::stable_sort(t.entries.begin(), t.entries.end(),
                       [](const Entry& x, const Entry& y) { return name_less(x.raw, y.raw); });
    }

    // Directory IDs: breadth-first order reversed, so IDs do not follow the tree.
    ndirs = tree.size();
    if (ndirs > 0xFFF) throw std::invalid_argument("too many directories");
    tree[0].id = 0xF000;
    for (std::size_t i = 1; i < ndirs; ++i)
      tree[i].id = static_cast<std::uint16_t>(0xF000 + ndirs - i);
    std::vector<std::size_t> by_id(ndirs);
    for (std::size_t i = 0; i < ndirs; ++i) by_id[tree[i].id - 0xF000U] = i;

    // File IDs: overlays first, then directories in ID order, with a stray unnamed entry after the
    // root's files.
    novl = o.arm9_overlays + o.arm7_overlays;
    std::uint32_t next_id = novl;
    first_id.assign(ndirs, 0);
    for (std::size_t k = 0; k < ndirs; ++k) {
      TreeDir& t = tree[by_id[k]];
      first_id[by_id[k]] = static_cast<std::uint16_t>(next_id);
      for (const Entry& e : t.entries) {
        if (!e.is_dir)
          named[static_cast<std::size_t>(e.file)].id = static_cast<std::uint16_t>(next_id++);
      }
      if (k == 0 && o.unnamed_fat_entry) unnamed_id = next_id++;
    }
    nfiles = next_id;
    if (nfiles > 0xF000) throw std::invalid_argument("too many files");
  }

  // What the description says of each file and directory.
  void describe_files() {
    d.files.resize(nfiles);
    for (std::uint32_t i = 0; i < nfiles; ++i) {
      d.files[i].id = static_cast<std::uint16_t>(i);
      d.files[i].key = mix_key(o.seed, 0x10000 + i);
    }
    for (unsigned i = 0; i < novl; ++i) {
      FileInfo& f = d.files[i];
      const bool nine = i < o.arm9_overlays;
      f.kind = nine ? FileKind::arm9_overlay : FileKind::arm7_overlay;
      f.overlay_id = nine ? i : i - o.arm9_overlays;
      f.size = o.overlay_size + 0x20 * i;
    }
    for (const NamedFile& nf : named) {
      FileInfo& f = d.files[nf.id];
      f.path = nf.raw_path;
      f.utf8_path = nf.utf8_path;
      f.size = nf.size;
    }
    if (unnamed_id != 0xFFFFFFFF) {
      d.files[unnamed_id].kind = FileKind::unnamed;
      d.files[unnamed_id].size = 0x123;
    }
    d.dirs.resize(ndirs);
    for (std::size_t i = 0; i < ndirs; ++i) {
      DirInfo& di = d.dirs[tree[i].id - 0xF000U];
      di.id = tree[i].id;
      di.parent = tree[i].parent < 0 ? static_cast<std::uint16_t>(0xF000)
                                     : tree[static_cast<std::size_t>(tree[i].parent)].id;
      di.path = tree[i].raw_path;
      di.utf8_path = tree[i].utf8_path;
      di.depth = tree[i].depth;
    }
  }

  // The FNT.
  void make_fnt() {
    // FNT: main table, then sub-tables in tree order (not ID order).
    b.fnt.assign(ndirs * 8, 0);
    for (std::size_t i = 0; i < ndirs; ++i) {
      std::uint8_t* m = b.fnt.data() + std::size_t{8} * (tree[i].id - 0xF000U);
      put32(m, static_cast<std::uint32_t>(b.fnt.size()));
      put16(m + 4, first_id[i]);
      put16(m + 6, i == 0 ? static_cast<std::uint32_t>(ndirs)
                          : tree[static_cast<std::size_t>(tree[i].parent)].id);
      for (const Entry& e : tree[i].entries) {
        if (e.raw.empty() || e.raw.size() > 127) throw std::logic_error("name length");
        b.fnt.push_back(static_cast<std::uint8_t>(e.raw.size() | (e.is_dir ? 0x80U : 0U)));
        b.fnt.insert(b.fnt.end(), e.raw.begin(), e.raw.end());
        if (e.is_dir) {
          const std::uint16_t id = tree[static_cast<std::size_t>(e.dir)].id;
          b.fnt.push_back(static_cast<std::uint8_t>(id));
          b.fnt.push_back(static_cast<std::uint8_t>(id >> 8));
        }
      }
      b.fnt.push_back(0);
    }
  }

  // Where every item goes.
  void lay_out() {
    // Layout.
    std::uint32_t cur = 0;
    auto place = [&](const std::string& name, std::uint32_t size, bool align = true) {
      if (align) cur = align_up(cur, o.alignment);
      d.items.push_back({name, cur, size});
      const std::uint32_t at = cur;
      cur = static_cast<std::uint32_t>(cur + size);
      return at;
    };
    d.header_size = 0x4000;
    place("header", 0x4000);
    d.arm9_size = std::max<std::uint32_t>(o.arm9_size, 0x4000);
    d.arm9_offset = place("arm9", d.arm9_size);
    if (o.arm9_footer) place("arm9 footer", 12, false);
    if (o.arm9_overlays > 0) {
      d.ovt9_size = 32 * o.arm9_overlays;
      d.ovt9_offset = place("arm9 overlay table", d.ovt9_size);
      for (unsigned i = 0; i < o.arm9_overlays; ++i)
        d.files[i].offset = place("file " + std::to_string(i), d.files[i].size);
    }
    d.arm7_size = o.arm7_size;
    d.arm7_offset = place("arm7", d.arm7_size);
    if (o.arm7_overlays > 0) {
      d.ovt7_size = 32 * o.arm7_overlays;
      d.ovt7_offset = place("arm7 overlay table", d.ovt7_size);
      for (unsigned i = o.arm9_overlays; i < novl; ++i)
        d.files[i].offset = place("file " + std::to_string(i), d.files[i].size);
    }
    d.fnt_size = static_cast<std::uint32_t>(b.fnt.size());
    d.fnt_offset = place("fnt", d.fnt_size);
    d.fat_size = 8 * nfiles;
    d.fat_offset = place("fat", d.fat_size);
    d.banner_size = o.dsi ? 0x23C0 : 0x940;
    d.banner_offset = place("banner", d.banner_size);
    // Files in an order of the mastering tool's own: shuffled, not by ID.
    std::vector<std::uint32_t> order;
    for (std::uint32_t i = novl; i < nfiles; ++i) order.push_back(i);
    for (std::size_t i = order.size(); i > 1; --i)
      std::swap(order[i - 1], order[splitmix(rng) % i]);
    for (std::uint32_t id : order) {
      FileInfo& f = d.files[id];
      if (f.size == 0) {
        // start = end at the next aligned position, as mastering tools record them.
        cur = align_up(cur, o.alignment);
        f.offset = cur;
        continue;
      }
      f.offset = place("file " + std::to_string(id), f.size);
    }
    d.used_size = cur;
    if (o.rsa_block) d.rsa_offset = place("rsa", 0x88, false);
    if (o.dsi) {
      d.arm9i_size = o.arm9i_size;
      d.arm9i_offset = place("arm9i", d.arm9i_size);
      d.arm7i_size = o.arm7i_size;
      d.arm7i_offset = place("arm7i", d.arm7i_size);
      place("sector hashes", 0x3C);
      place("block hashes", 0x14);
      d.dsi_total_size = cur;
    }
    d.content_end = cur;
    std::uint8_t cap = 0;
    while ((std::uint64_t{0x20000} << cap) < d.content_end) ++cap;
    d.capacity = cap;
    d.file_size = o.fill_to_capacity ? (std::uint64_t{0x20000} << cap) : d.content_end;
    std::stable_sort(d.items.begin(), d.items.end(),
                     [](const Item& x, const Item& y) { return x.offset < y.offset; });
  }

  // ARM binaries, overlay tables and the FAT.
  void make_binaries() {
    // ARM9 with its secure area.
    b.arm9 = random_vector(mix_key(o.seed, 9), d.arm9_size);
    if (!o.encrypted_secure_area) {
      for (std::size_t k = 0; k < 2; ++k) put32(b.arm9.data() + 4 * k, 0xE7FFDEFF);
    }
    if (o.arm9_footer) {
      b.footer.assign(12, 0);
      put32(b.footer.data(), 0xDEC00621);
      put32(b.footer.data() + 4, 0x00000A40 + static_cast<std::uint32_t>(o.seed & 0xFF) * 4);
      put32(b.footer.data() + 8, 0x00000000);
    }
    b.arm7 = arm7_block(mix_key(o.seed, 7), d.arm7_size);

    auto overlay_table = [&](unsigned first, unsigned count, std::uint32_t ram) {
      std::vector<std::uint8_t> t(std::size_t{32} * count, 0);
      for (unsigned i = 0; i < count; ++i) {
        const FileInfo& f = d.files[first + i];
        std::uint8_t* e = t.data() + std::size_t{32} * i;
        put32(e, f.overlay_id);
        put32(e + 4, ram + 0x4000 * i);
        put32(e + 8, f.size);
        put32(e + 12, 0x40 + 0x10 * i);
        put32(e + 16, ram + 0x4000 * i + 0x20);
        put32(e + 20, ram + 0x4000 * i + 0x24);
        put32(e + 24, f.id);
        put32(e + 28, (i % 2 == 1) ? (0x01000000U | f.size) : 0U);
      }
      return t;
    };
    b.ovt9 = overlay_table(0, o.arm9_overlays, 0x02100000);
    b.ovt7 = overlay_table(o.arm9_overlays, o.arm7_overlays, 0x037F8000);

    b.fat.assign(std::size_t{8} * nfiles, 0);
    for (const FileInfo& f : d.files) {
      put32(b.fat.data() + std::size_t{8} * f.id, f.offset);
      put32(b.fat.data() + std::size_t{8} * f.id + 4, f.offset + f.size);
    }
  }

  // The banner.
  void make_banner() {
    // Banner: icon, palette, titles in UTF-16, CRCs by version.
    b.banner = random_vector(mix_key(o.seed, 0xBA), d.banner_size);
    const std::uint32_t version = o.dsi ? 0x0103 : 0x0002;
    put16(b.banner.data(), version);
    std::fill(b.banner.begin() + 2, b.banner.begin() + 0x20, 0);
    const std::string title = "Voderer test\nMastered image\nVoderer";
    for (std::uint32_t lang = 0; lang < (o.dsi ? 8U : 7U); ++lang) {
      std::uint8_t* t = b.banner.data() + 0x240 + std::size_t{0x100} * lang;
      std::fill(t, t + 0x100, 0);
      for (std::size_t c = 0; c < title.size(); ++c)
        put16(t + 2 * c, static_cast<std::uint8_t>(title[c]));
    }
    const std::span<const std::uint8_t> bn(b.banner);
    put16(b.banner.data() + 2, crc16(bn.subspan(0x20, 0x820)));
    put16(b.banner.data() + 4, crc16(bn.subspan(0x20, 0x920)));
    if (o.dsi) {
      put16(b.banner.data() + 6, crc16(bn.subspan(0x20, 0xA20)));
      put16(b.banner.data() + 8, crc16(bn.subspan(0x1240, 0x1180)));
    }
  }

  // The RSA block and the DSi sections.
  void make_extras() {
    if (o.rsa_block) b.rsa = random_vector(mix_key(o.seed, 0x88), 0x88);
    if (o.dsi) {
      b.arm9i = random_vector(mix_key(o.seed, 0x91), d.arm9i_size);
      b.arm7i = random_vector(mix_key(o.seed, 0x71), d.arm7i_size);
      b.sector_hashes = random_vector(mix_key(o.seed, 0x5E), 0x3C);
      b.block_hashes = random_vector(mix_key(o.seed, 0xB1), 0x14);
    }
  }

  // The DS header.
  void make_header() {
    // Header.
    b.header.assign(0x4000, 0);
    std::uint8_t* h = b.header.data();
    const char* game_title = "VODERER GEN";
    std::copy(game_title, game_title + 11, h);
    std::copy_n("AVDE", 4, h + 0x0C);
    std::copy_n("01", 2, h + 0x10);
    h[0x12] = o.dsi ? 0x02 : 0x00;
    h[0x14] = d.capacity;
    h[0x1E] = o.rom_version;
    put32(h + 0x20, d.arm9_offset);
    put32(h + 0x24, 0x02000800);
    put32(h + 0x28, 0x02000000);
    put32(h + 0x2C, d.arm9_size);
    put32(h + 0x30, d.arm7_offset);
    put32(h + 0x34, 0x02380000);
    put32(h + 0x38, 0x02380000);
    put32(h + 0x3C, d.arm7_size);
    put32(h + 0x40, d.fnt_offset);
    put32(h + 0x44, d.fnt_size);
    put32(h + 0x48, d.fat_offset);
    put32(h + 0x4C, d.fat_size);
    put32(h + 0x50, d.ovt9_size != 0 ? d.ovt9_offset : kNoOffset);
    put32(h + 0x54, d.ovt9_size);
    put32(h + 0x58, d.ovt7_size != 0 ? d.ovt7_offset : kNoOffset);
    put32(h + 0x5C, d.ovt7_size);
    put32(h + 0x60, 0x00586000);
    put32(h + 0x64, 0x001808F8);
    put32(h + 0x68, d.banner_offset);
    put16(h + 0x6E, 0x0D7E);
    put32(h + 0x70, 0x02000A74);
    put32(h + 0x74, 0x02380158);
    put32(h + 0x80, d.used_size);
    put32(h + 0x84, 0x4000);
    // Our own logo bitmap: any 156 bytes carry a CRC, only Nintendo's boots on hardware.
    random_bytes(mix_key(o.seed, 0x1060), h + 0xC0, 156);
    put16(h + 0x15C, crc16({h + 0xC0, 156}));
  }

  // The DSi extended header.
  void make_dsi_header() {
    if (!o.dsi) return;
    std::uint8_t* h = b.header.data();
    {
      for (int k = 0; k < 0x30; ++k) h[0x180 + k] = static_cast<std::uint8_t>(0x80 + k);
      put32(h + 0x1B0, 0xFFFFFFFF);
      put32(h + 0x1B4, 0x00000138);
      put32(h + 0x1B8, 0x80040407);
      h[0x1BF] = 0x01;
      const std::uint32_t ntr_start = 0x4000;
      put32(h + 0x1C0, d.arm9i_offset);
      put32(h + 0x1C8, 0x02400000);
      put32(h + 0x1CC, d.arm9i_size);
      put32(h + 0x1D0, d.arm7i_offset);
      put32(h + 0x1D4, 0x02EFC000);
      put32(h + 0x1D8, 0x02E80000);
      put32(h + 0x1DC, d.arm7i_size);
      put32(h + 0x1E0, ntr_start);
      put32(h + 0x1E4, d.used_size - ntr_start);
      put32(h + 0x1E8, d.arm9i_offset);
      put32(h + 0x1EC, d.arm7i_offset + d.arm7i_size - d.arm9i_offset);
      put32(h + 0x1F0, d.item("sector hashes")->offset);
      put32(h + 0x1F4, 0x3C);
      put32(h + 0x1F8, d.item("block hashes")->offset);
      put32(h + 0x1FC, 0x14);
      put32(h + 0x200, 0x400);
      put32(h + 0x204, 0x20);
      put32(h + 0x208, d.banner_size);
      put32(h + 0x210, d.dsi_total_size);
      put32(h + 0x220, d.arm9i_offset);
      put32(h + 0x224, 0x400);
      put32(h + 0x228, d.arm7i_offset);
      put32(h + 0x22C, 0x400);
      std::copy_n("EDVA", 4, h + 0x230);
      put32(h + 0x234, 0x00030004);
      random_bytes(mix_key(o.seed, 0x300), h + 0x300, 0xB4);
      random_bytes(mix_key(o.seed, 0xF80), h + 0xF80, 0x80);
    }
  }

  // The CRCs over what the header covers.
  void finish_header() {
    std::uint8_t* h = b.header.data();
    // Secure area CRC over [0x4000, 0x8000): the ARM9's first 0x4000 bytes.
    put16(h + 0x6C, crc16({b.arm9.data(), 0x4000}));
    put16(h + 0x15E, crc16({h, 0x15E}));
  }

  // What to write where.
  void list_chunks() {
    // What to write where.
    auto add = [&](const std::string& name, const std::vector<std::uint8_t>& bytes) {
      if (const Item* it = d.item(name)) b.chunks.push_back({it->offset, &bytes, nullptr});
    };
    add("header", b.header);
    add("arm9", b.arm9);
    add("arm9 footer", b.footer);
    add("arm9 overlay table", b.ovt9);
    add("arm7", b.arm7);
    add("arm7 overlay table", b.ovt7);
    add("fnt", b.fnt);
    add("fat", b.fat);
    add("banner", b.banner);
    add("rsa", b.rsa);
    add("arm9i", b.arm9i);
    add("arm7i", b.arm7i);
    add("sector hashes", b.sector_hashes);
    add("block hashes", b.block_hashes);
    for (const FileInfo& f : d.files) {
      if (f.size != 0) b.chunks.push_back({f.offset, nullptr, &f});
    }
    std::sort(b.chunks.begin(), b.chunks.end(),
              [](const Chunk& x, const Chunk& y) { return x.offset < y.offset; });
  }

  const ImageOptions& o;
  Built& b;
  ImageDescription& d;
  std::uint64_t rng;
  std::vector<TreeDir> tree;
  std::vector<NamedFile> named;
  std::size_t ndirs = 0;
  unsigned novl = 0;
  std::vector<std::uint16_t> first_id;
  std::uint32_t unnamed_id = 0xFFFFFFFF;
  std::uint32_t nfiles = 0;
};

Built plan(const ImageOptions& o) {
  Built b;
  Planner(o, b).run();
  return b;
}

using Sink = std::function<void(const std::uint8_t*, std::size_t)>;

void emit(const Built& b, std::uint8_t pad, const Sink& sink) {
  const std::vector<std::uint8_t> padding(0x10000, pad);
  std::uint64_t pos = 0;
  auto pad_to = [&](std::uint64_t target) {
    if (target < pos) throw std::logic_error("generated items overlap");
    while (pos < target) {
      const auto n =
          static_cast<std::size_t>(std::min<std::uint64_t>(target - pos, padding.size()));
      sink(padding.data(), n);
      pos += n;
    }
  };
  for (const Chunk& c : b.chunks) {
    pad_to(c.offset);
    if (c.bytes != nullptr) {
      sink(c.bytes->data(), c.bytes->size());
      pos += c.bytes->size();
    } else {
      const std::vector<std::uint8_t> data = file_content(*c.file);
      sink(data.data(), data.size());
      pos += data.size();
    }
  }
  pad_to(b.desc.file_size);
}

}  // namespace

std::vector<std::uint8_t> file_content(const FileInfo& file) {
  return random_vector(file.key, file.size);
}

std::vector<std::uint8_t> random_block(std::uint64_t key, std::size_t n) {
  return random_vector(key, n);
}

std::vector<std::uint8_t> arm7_block(std::uint64_t key, std::size_t n) {
  std::vector<std::uint8_t> v = random_vector(key, n);
  if (n >= 4) put32(v.data(), kBranchToSelf);
  return v;
}

GeneratedImage build_image(const ImageOptions& options) {
  const Built b = plan(options);
  GeneratedImage g;
  g.bytes.reserve(static_cast<std::size_t>(b.desc.file_size));
  emit(b, options.pad,
       [&](const std::uint8_t* p, std::size_t n) { g.bytes.insert(g.bytes.end(), p, p + n); });
  g.desc = b.desc;
  return g;
}

ImageDescription write_image(const ImageOptions& options, const std::filesystem::path& out) {
  const Built b = plan(options);
  std::ofstream f(out, std::ios::binary | std::ios::trunc);
  if (!f) throw std::runtime_error("cannot create " + out.string());
  emit(b, options.pad, [&](const std::uint8_t* p, std::size_t n) {
    f.write(reinterpret_cast<const char*>(p), static_cast<std::streamsize>(n));
  });
  f.close();
  if (!f) throw std::runtime_error("cannot write " + out.string());
  return b.desc;
}

std::string describe(const ImageDescription& d) {
  std::ostringstream s;
  char line[512];
  std::snprintf(
      line, sizeof line, "image size 0x%llX, content end 0x%llX, capacity %u, used 0x%X\n",
      static_cast<unsigned long long>(d.file_size), static_cast<unsigned long long>(d.content_end),
      static_cast<unsigned>(d.capacity), d.used_size);
  s << line;
  for (const Item& it : d.items) {
    std::snprintf(line, sizeof line, "item 0x%08X 0x%08X %s\n", it.offset, it.size,
                  it.name.c_str());
    s << line;
  }
  for (const DirInfo& di : d.dirs) {
    std::snprintf(line, sizeof line, "dir 0x%04X parent 0x%04X /%s\n", di.id, di.parent,
                  di.utf8_path.c_str());
    s << line;
  }
  for (const FileInfo& f : d.files) {
    const char* kind = f.kind == FileKind::named          ? "file"
                       : f.kind == FileKind::arm9_overlay ? "overlay9"
                       : f.kind == FileKind::arm7_overlay ? "overlay7"
                                                          : "unnamed";
    std::snprintf(line, sizeof line, "%s %u 0x%08X 0x%X %s\n", kind, static_cast<unsigned>(f.id),
                  f.offset, f.size,
                  f.kind == FileKind::named ? ("/" + f.utf8_path).c_str()
                  : f.kind == FileKind::unnamed
                      ? "-"
                      : ("overlay " + std::to_string(f.overlay_id)).c_str());
    s << line;
  }
  return s.str();
}

ImageOptions large_options(unsigned mib) {
  // 1 + 6 + 36 + 216 folders, 20 files each: 5180 files, sizes up to twice the mean.
  ImageOptions o;
  o.seed = 0xBE7C4;
  o.dir_depth = 3;
  o.dir_fanout = 6;
  o.chain_below = 0;
  o.files_per_dir = 20;
  o.file_size_max =
      static_cast<std::uint32_t>((std::uint64_t{mib} << 20) / (std::uint64_t{259} * 20) * 2);
  o.arm9_size = 0x60000;
  o.arm7_size = 0x25A34;
  o.arm9_overlays = 40;
  o.arm7_overlays = 4;
  o.overlay_size = 0x8000;
  // The size asked for, not the next chip size.
  o.fill_to_capacity = false;
  return o;
}

std::vector<Variant> standard_variants() {
  std::vector<Variant> v;
  v.push_back({"sdk", ImageOptions{}});
  ImageOptions enc;
  enc.seed = 2;
  enc.encrypted_secure_area = true;
  enc.arm7_size = 0x1E00;  // ends on an alignment boundary: no slack after the ARM7
  v.push_back({"sdk-encrypted", enc});
  ImageOptions dsi;
  dsi.seed = 3;
  dsi.dsi = true;
  dsi.rom_version = 1;
  v.push_back({"dsi-enhanced", dsi});
  ImageOptions plain;
  plain.seed = 4;
  plain.pad = 0x00;
  plain.fill_to_capacity = false;
  plain.rsa_block = false;
  plain.arm9_footer = false;
  plain.arm7_overlays = 0;
  plain.alignment = 0x400;
  v.push_back({"zero-padded", plain});
  return v;
}

}  // namespace voderer::testgen
