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

void fix_header_crc(Bytes& rom) {
  wr16(rom, 0x15E, crc16(std::span<const std::uint8_t>(rom.data(), 0x15E)));
}

Bytes build_rom(const MiniRom& desc) {
  // Directory tree in order of first use; file IDs after the overlays,
  // consecutive per directory in sub-table order.
  std::vector<Dir> dirs(1);
  for (std::size_t f = 0; f < desc.files.size(); ++f) {
    std::vector<std::string> parts = split(desc.files[f].first);
    std::size_t d = 0;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
      auto it = std::find_if(dirs[d].entries.begin(), dirs[d].entries.end(),
                             [&](const Entry& e) { return e.dir && e.name == parts[i]; });
      if (it != dirs[d].entries.end()) {
        d = it->index;
        continue;
      }
      dirs.push_back({static_cast<std::uint16_t>(0xF000 + d), {}});
      dirs[d].entries.push_back({parts[i], true, dirs.size() - 1});
      d = dirs.size() - 1;
    }
    dirs[d].entries.push_back({parts.back(), false, f});
  }
  const std::uint32_t overlays =
      static_cast<std::uint32_t>(desc.arm9_overlays + desc.arm7_overlays);
  std::vector<std::uint32_t> file_id(desc.files.size());
  std::vector<std::uint16_t> first_id(dirs.size());
  std::uint32_t next = overlays;
  for (std::size_t d = 0; d < dirs.size(); ++d) {
    first_id[d] = static_cast<std::uint16_t>(next);
    for (const Entry& e : dirs[d].entries)
      if (!e.dir) file_id[e.index] = next++;
  }
  const std::uint32_t fat_count = next + static_cast<std::uint32_t>(desc.unnamed);

  Bytes fnt(dirs.size() * 8);
  for (std::size_t d = 0; d < dirs.size(); ++d) {
    wr32(fnt, d * 8, static_cast<std::uint32_t>(fnt.size()));
    wr16(fnt, d * 8 + 4, first_id[d]);
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

  const std::size_t header_part = desc.dsi ? 0x1000 : 0x200;
  const std::uint32_t header_size = desc.dsi ? 0x4000 : 0x200;
  Bytes rom(header_part, 0);
  auto place = [&](const Bytes& data) {
    std::size_t at = (rom.size() + 0x1FF) & ~std::size_t{0x1FF};
    rom.resize(at, desc.pad);
    rom.insert(rom.end(), data.begin(), data.end());
    return static_cast<std::uint32_t>(at);
  };
  Bytes fat(fat_count * 8);
  auto overlay_table = [&](int count, std::uint32_t first) {
    Bytes t(static_cast<std::size_t>(count) * 32);
    for (int i = 0; i < count; ++i) {
      std::size_t e = static_cast<std::size_t>(i) * 32;
      wr32(t, e, static_cast<std::uint32_t>(i));  // overlay IDs restart in each table
      wr32(t, e + 4, 0x02100000u + static_cast<std::uint32_t>(i) * 0x1000);
      wr32(t, e + 8, 0x200);
      wr32(t, e + 0x18, first + static_cast<std::uint32_t>(i));
    }
    return t;
  };
  auto place_overlays = [&](int count, std::uint32_t first) {
    for (int i = 0; i < count; ++i) {
      std::uint32_t id = first + static_cast<std::uint32_t>(i);
      std::uint32_t at = place(noise(0x100 + id * 0x30, 1000 + id));
      wr32(fat, id * 8, at);
      wr32(fat, id * 8 + 4, static_cast<std::uint32_t>(rom.size()));
    }
  };

  rom.resize(header_size, 0);
  std::uint32_t arm9 = place(noise(desc.arm9_size, 9));
  std::uint32_t ovt9 = desc.arm9_overlays ? place(overlay_table(desc.arm9_overlays, 0)) : 0;
  place_overlays(desc.arm9_overlays, 0);
  std::uint32_t arm7 = desc.arm7_last ? 0 : place(noise(desc.arm7_size, desc.arm7_seed));
  const auto first7 = static_cast<std::uint32_t>(desc.arm9_overlays);
  std::uint32_t ovt7 = desc.arm7_overlays ? place(overlay_table(desc.arm7_overlays, first7)) : 0;
  place_overlays(desc.arm7_overlays, first7);
  std::uint32_t fnt_at = place(fnt);
  std::uint32_t fat_at = place(fat);  // entries filled in below
  std::uint32_t banner_at = 0;
  if (desc.banner) {
    Bytes banner = noise(0x840, 77);
    banner[0] = 1;
    banner[1] = 0;
    banner_at = place(banner);
  }
  for (std::size_t d = 0; d < dirs.size(); ++d)
    for (const Entry& e : dirs[d].entries) {
      if (e.dir) continue;
      const Bytes& data = desc.files[e.index].second;
      std::uint32_t id = file_id[e.index];
      // Zero-length files take no space: they point where the next item starts.
      std::uint32_t at = data.empty() ? static_cast<std::uint32_t>(rom.size()) : place(data);
      wr32(fat, id * 8, at);
      wr32(fat, id * 8 + 4, at + static_cast<std::uint32_t>(data.size()));
    }
  for (std::uint32_t id = next; id < fat_count; ++id) {
    std::uint32_t at = place(noise(0x80 + id, 500 + id));
    wr32(fat, id * 8, at);
    wr32(fat, id * 8 + 4, static_cast<std::uint32_t>(rom.size()));
  }
  std::copy(fat.begin(), fat.end(), rom.begin() + fat_at);
  if (desc.arm7_last) arm7 = place(noise(desc.arm7_size, desc.arm7_seed));
  const auto used = static_cast<std::uint32_t>(rom.size());
  std::uint32_t arm9i = 0, arm7i = 0;
  if (desc.dsi) {
    arm9i = place(noise(0x158, 91));
    arm7i = place(noise(0x3D0, 71));
  }
  rom.insert(rom.end(), desc.trailing.begin(), desc.trailing.end());

  Bytes& h = rom;
  std::copy_n("MINIROM", 7, h.begin());
  std::copy_n("TEST01", 6, h.begin() + 0x0C);
  h[0x12] = desc.dsi ? 0x02 : 0x00;
  h[0x14] = 0;
  while ((std::uint64_t{128 * 1024} << h[0x14]) < rom.size()) ++h[0x14];
  auto set4 = [&](std::size_t off, std::uint32_t a, std::uint32_t b, std::uint32_t c,
                  std::uint32_t d) {
    wr32(h, off, a), wr32(h, off + 4, b), wr32(h, off + 8, c), wr32(h, off + 12, d);
  };
  set4(0x20, arm9, 0x02000000, 0x02000000, desc.arm9_size);
  set4(0x30, arm7, 0x02380000, 0x02380000, desc.arm7_size);
  set4(0x40, fnt_at, static_cast<std::uint32_t>(fnt.size()), fat_at,
       static_cast<std::uint32_t>(fat.size()));
  set4(0x50, ovt9, static_cast<std::uint32_t>(desc.arm9_overlays) * 32, ovt7,
       static_cast<std::uint32_t>(desc.arm7_overlays) * 32);
  wr32(h, 0x60, 0x00586000);
  wr32(h, 0x64, 0x001808F8);
  wr32(h, 0x68, banner_at);
  wr32(h, 0x80, used);
  wr32(h, 0x84, header_size);
  Bytes logo = noise(0x9C, 5);
  std::copy(logo.begin(), logo.end(), h.begin() + 0xC0);
  wr16(h, 0x15C, crc16(logo));
  if (desc.dsi) {
    set4(0x1C0, arm9i, 0, 0x02400000, 0x158);
    set4(0x1D0, arm7i, 0, 0x02E80000, 0x3D0);
    wr32(h, 0x210, arm7i + 0x3D0);
    // The secure area of current homebrew: its CRC is stored.
    if (rom.size() >= 0x8000)
      wr16(h, 0x6C, crc16(std::span<const std::uint8_t>(h.data() + 0x4000, 0x4000)));
  }
  fix_header_crc(rom);
  return rom;
}

}  // namespace voderer::testgen
