// The small images of the ndstool tests (nds_image_builder.h): every item of
// the format in a few KiB, laid out as homebrew tools lay them out.
#include <algorithm>

#include "nds_image_builder.h"

namespace voderer::testgen {

namespace {

struct Entry {
  std::string name;
  bool dir = false;
  std::size_t index = 0;  // directory index, or index into desc.files
};

struct Dir {
  std::uint16_t parent = 0xF000;
  std::vector<Entry> entries;
};

std::vector<std::string> split(const std::string& path) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (;;) {
    std::size_t slash = path.find('/', start);
    out.push_back(path.substr(start, slash - start));
    if (slash == std::string::npos) return out;
    start = slash + 1;
  }
}

}  // namespace

std::uint16_t rd16(const Bytes& b, std::size_t off) {
  return static_cast<std::uint16_t>(b[off] | b[off + 1] << 8);
}
std::uint32_t rd32(const Bytes& b, std::size_t off) {
  return static_cast<std::uint32_t>(b[off]) | static_cast<std::uint32_t>(b[off + 1]) << 8 |
         static_cast<std::uint32_t>(b[off + 2]) << 16 |
         static_cast<std::uint32_t>(b[off + 3]) << 24;
}
void wr16(Bytes& b, std::size_t off, std::uint32_t v) {
  b[off] = static_cast<std::uint8_t>(v);
  b[off + 1] = static_cast<std::uint8_t>(v >> 8);
}
void wr32(Bytes& b, std::size_t off, std::uint32_t v) {
  wr16(b, off, v);
  wr16(b, off + 2, v >> 16);
}

Bytes noise(std::size_t n, std::uint32_t seed) {
  Bytes out(n);
  std::uint32_t x = seed * 2654435761u + 1;
  for (auto& b : out) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<std::uint8_t>(x);
  }
  return out;
}

Bytes arm7_noise(std::size_t n, std::uint32_t seed) {
  Bytes out = noise(n, seed);
  if (n >= 4) wr32(out, 0, kBranchToSelf);
  return out;
}

void fix_header_crc(Bytes& rom) {
  wr16(rom, 0x15E, crc16(std::span<const std::uint8_t>(rom.data(), 0x15E)));
}

namespace {

// The file system of a small image: directories in order of first use; file
// IDs after the overlays, consecutive per directory in sub-table order.
struct SmallTree {
  std::vector<Dir> dirs{1};
  std::vector<std::uint32_t> file_id;   // by index into desc.files
  std::vector<std::uint16_t> first_id;  // by directory
  std::uint32_t named_end = 0;          // the first file ID after the named files
  std::uint32_t fat_count = 0;
};

std::size_t dir_of(SmallTree& tree, const std::vector<std::string>& parts) {
  std::size_t d = 0;
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    auto& entries = tree.dirs[d].entries;
    auto it = std::find_if(entries.begin(), entries.end(),
                           [&](const Entry& e) { return e.dir && e.name == parts[i]; });
    if (it != entries.end()) {
      d = it->index;
      continue;
    }
    tree.dirs.push_back({static_cast<std::uint16_t>(0xF000 + d), {}});
    tree.dirs[d].entries.push_back({parts[i], true, tree.dirs.size() - 1});
    d = tree.dirs.size() - 1;
  }
  return d;
}

SmallTree tree_of(const MiniRom& desc) {
  SmallTree tree;
  for (std::size_t f = 0; f < desc.files.size(); ++f) {
    const std::vector<std::string> parts = split(desc.files[f].first);
    tree.dirs[dir_of(tree, parts)].entries.push_back({parts.back(), false, f});
  }
  tree.file_id.resize(desc.files.size());
  tree.first_id.resize(tree.dirs.size());
  std::uint32_t next = static_cast<std::uint32_t>(desc.arm9_overlays + desc.arm7_overlays);
  for (std::size_t d = 0; d < tree.dirs.size(); ++d) {
    tree.first_id[d] = static_cast<std::uint16_t>(next);
    for (const Entry& e : tree.dirs[d].entries)
      if (!e.dir) tree.file_id[e.index] = next++;
  }
  tree.named_end = next;
  tree.fat_count = next + static_cast<std::uint32_t>(desc.unnamed);
  return tree;
}

Bytes fnt_of(const SmallTree& tree) {
  const auto& dirs = tree.dirs;
  Bytes fnt(dirs.size() * 8);
  for (std::size_t d = 0; d < dirs.size(); ++d) {
    wr32(fnt, d * 8, static_cast<std::uint32_t>(fnt.size()));
    wr16(fnt, d * 8 + 4, tree.first_id[d]);
    wr16(fnt, d * 8 + 6, d == 0 ? static_cast<std::uint16_t>(dirs.size()) : dirs[d].parent);
    for (const Entry& e : dirs[d].entries) {
      fnt.push_back(static_cast<std::uint8_t>(e.name.size() | (e.dir ? 0x80 : 0)));
      fnt.insert(fnt.end(), e.name.begin(), e.name.end());
      if (e.dir) {
        fnt.push_back(static_cast<std::uint8_t>(e.index));
        fnt.push_back(static_cast<std::uint8_t>(0xF0 + (e.index >> 8)));
      }
    }
    fnt.push_back(0);
  }
  return fnt;
}

Bytes overlay_table(int count, std::uint32_t first) {
  Bytes t(static_cast<std::size_t>(count) * 32);
  for (int i = 0; i < count; ++i) {
    const std::size_t e = static_cast<std::size_t>(i) * 32;
    wr32(t, e, static_cast<std::uint32_t>(i));  // overlay IDs restart in each table
    wr32(t, e + 4, 0x02100000u + static_cast<std::uint32_t>(i) * 0x1000);
    wr32(t, e + 8, 0x200);
    wr32(t, e + 0x18, first + static_cast<std::uint32_t>(i));
  }
  return t;
}

// Where the items of a small image went.
struct Places {
  std::uint32_t arm9 = 0, arm7 = 0, ovt9 = 0, ovt7 = 0, fnt = 0, fat = 0, banner = 0;
  std::uint32_t used = 0, arm9i = 0, arm7i = 0;
  std::uint32_t fnt_size = 0, fat_size = 0;
};

// Lays the items out one after the other at 0x200 boundaries.
class SmallLayout {
 public:
  SmallLayout(const MiniRom& desc, const SmallTree& tree)
      : desc_(desc),
        tree_(tree),
        rom_(desc.dsi ? 0x1000 : 0x200, 0),
        fat_(std::size_t{tree.fat_count} * 8) {}

  std::uint32_t place(const Bytes& data) {
    const std::size_t at = (rom_.size() + 0x1FF) & ~std::size_t{0x1FF};
    rom_.resize(at, desc_.pad);
    rom_.insert(rom_.end(), data.begin(), data.end());
    return static_cast<std::uint32_t>(at);
  }

  void set_file(std::uint32_t id, std::uint32_t start, std::uint32_t end) {
    wr32(fat_, std::size_t{id} * 8, start);
    wr32(fat_, std::size_t{id} * 8 + 4, end);
  }

  void place_overlays(int count, std::uint32_t first) {
    for (int i = 0; i < count; ++i) {
      const std::uint32_t id = first + static_cast<std::uint32_t>(i);
      const std::uint32_t at = place(noise(0x100 + id * 0x30, 1000 + id));
      set_file(id, at, static_cast<std::uint32_t>(rom_.size()));
    }
  }

  void place_files() {
    for (const Dir& dir : tree_.dirs)
      for (const Entry& e : dir.entries) {
        if (e.dir) continue;
        const Bytes& data = desc_.files[e.index].second;
        // Zero-length files take no space: they point where the next item starts.
        const std::uint32_t at =
            data.empty() ? static_cast<std::uint32_t>(rom_.size()) : place(data);
        set_file(tree_.file_id[e.index], at, at + static_cast<std::uint32_t>(data.size()));
      }
    for (std::uint32_t id = tree_.named_end; id < tree_.fat_count; ++id) {
      const std::uint32_t at = place(noise(0x80 + id, 500 + id));
      set_file(id, at, static_cast<std::uint32_t>(rom_.size()));
    }
  }

  Places run() {
    Places at;
    rom_.resize(desc_.dsi ? 0x4000 : 0x200, 0);
    at.arm9 = place(noise(desc_.arm9_size, 9));
    at.ovt9 = desc_.arm9_overlays ? place(overlay_table(desc_.arm9_overlays, 0)) : 0;
    place_overlays(desc_.arm9_overlays, 0);
    at.arm7 = desc_.arm7_last ? 0 : place(arm7_noise(desc_.arm7_size, desc_.arm7_seed));
    const auto first7 = static_cast<std::uint32_t>(desc_.arm9_overlays);
    at.ovt7 = desc_.arm7_overlays ? place(overlay_table(desc_.arm7_overlays, first7)) : 0;
    place_overlays(desc_.arm7_overlays, first7);
    const Bytes fnt = fnt_of(tree_);
    at.fnt = place(fnt);
    at.fnt_size = static_cast<std::uint32_t>(fnt.size());
    at.fat = place(fat_);  // entries filled in below
    at.fat_size = static_cast<std::uint32_t>(fat_.size());
    if (desc_.banner) {
      Bytes banner = noise(0x840, 77);
      banner[0] = 1;
      banner[1] = 0;
      at.banner = place(banner);
    }
    place_files();
    std::copy(fat_.begin(), fat_.end(), rom_.begin() + at.fat);
    if (desc_.arm7_last) at.arm7 = place(arm7_noise(desc_.arm7_size, desc_.arm7_seed));
    at.used = static_cast<std::uint32_t>(rom_.size());
    if (desc_.dsi) {
      at.arm9i = place(noise(0x158, 91));
      at.arm7i = place(noise(0x3D0, 71));
    }
    rom_.insert(rom_.end(), desc_.trailing.begin(), desc_.trailing.end());
    return at;
  }

  Bytes& rom() { return rom_; }

 private:
  const MiniRom& desc_;
  const SmallTree& tree_;
  Bytes rom_;
  Bytes fat_;
};

void set4(Bytes& h, std::size_t off, std::uint32_t a, std::uint32_t b, std::uint32_t c,
          std::uint32_t d) {
  wr32(h, off, a), wr32(h, off + 4, b), wr32(h, off + 8, c), wr32(h, off + 12, d);
}

void write_header(Bytes& h, const MiniRom& desc, const Places& at) {
  std::copy_n("MINIROM", 7, h.begin());
  std::copy_n("TEST01", 6, h.begin() + 0x0C);
  h[0x12] = desc.dsi ? 0x02 : 0x00;
  h[0x14] = 0;
  while ((std::uint64_t{0x20000} << h[0x14]) < h.size()) ++h[0x14];
  set4(h, 0x20, at.arm9, 0x02000000, 0x02000000, desc.arm9_size);
  set4(h, 0x30, at.arm7, 0x02380000, 0x02380000, desc.arm7_size);
  set4(h, 0x40, at.fnt, at.fnt_size, at.fat, at.fat_size);
  set4(h, 0x50, at.ovt9, static_cast<std::uint32_t>(desc.arm9_overlays) * 32, at.ovt7,
       static_cast<std::uint32_t>(desc.arm7_overlays) * 32);
  wr32(h, 0x60, 0x00586000);
  wr32(h, 0x64, 0x001808F8);
  wr32(h, 0x68, at.banner);
  wr32(h, 0x80, at.used);
  wr32(h, 0x84, desc.dsi ? 0x4000 : 0x200);
  const Bytes logo = noise(0x9C, 5);
  std::copy(logo.begin(), logo.end(), h.begin() + 0xC0);
  wr16(h, 0x15C, crc16(logo));
  if (desc.dsi) {
    set4(h, 0x1C0, at.arm9i, 0, 0x02400000, 0x158);
    set4(h, 0x1D0, at.arm7i, 0, 0x02E80000, 0x3D0);
    wr32(h, 0x210, at.arm7i + 0x3D0);
    // The secure area of current homebrew: its CRC is stored.
    if (h.size() >= 0x8000)
      wr16(h, 0x6C, crc16(std::span<const std::uint8_t>(h.data() + 0x4000, 0x4000)));
  }
  fix_header_crc(h);
}

}  // namespace

Bytes build_rom(const MiniRom& desc) {
  const SmallTree tree = tree_of(desc);
  SmallLayout layout(desc, tree);
  const Places at = layout.run();
  write_header(layout.rom(), desc, at);
  return std::move(layout.rom());
}

}  // namespace voderer::testgen
