#include "rom_reader.h"

#include <set>
#include <stdexcept>

#include "nds_image_builder.h"

namespace voderer::testgen {

std::uint32_t RomImage::u32(std::size_t off) const {
  if (off + 4 > bytes.size()) throw std::runtime_error("read past the image end");
  return static_cast<std::uint32_t>(bytes[off] | (bytes[off + 1] << 8) | (bytes[off + 2] << 16)) |
         (static_cast<std::uint32_t>(bytes[off + 3]) << 24);
}

std::uint16_t RomImage::u16(std::size_t off) const {
  if (off + 2 > bytes.size()) throw std::runtime_error("read past the image end");
  return static_cast<std::uint16_t>(bytes[off] | (bytes[off + 1] << 8));
}

bool RomImage::header_crc_ok() const {
  return crc16(bytes.subspan(0, 0x15E)) == u16(0x15E);
}

namespace {

// The FNT as read_rom walks it: directories breadth first from the root.
struct FntWalk {
  RomImage& r;
  std::uint32_t fnt, size;
  std::uint16_t ndirs;
  std::set<std::uint16_t> seen = {0xF000};
  std::vector<std::uint16_t> queue = {0xF000};

  void main_table() {
    r.dirs.resize(ndirs);
    for (std::uint16_t i = 0; i < ndirs; ++i) {
      RomDir& d = r.dirs[i];
      d.id = static_cast<std::uint16_t>(0xF000 + i);
      d.subtable = r.u32(fnt + 8U * i);
      d.first_file = r.u16(fnt + 8U * i + 4);
      d.parent = i == 0 ? static_cast<std::uint16_t>(0xF000) : r.u16(fnt + 8U * i + 6);
    }
  }

  void sub_directory(const RomDir& d, std::uint32_t& p, const std::string& path) {
    if (p + 2 > size) throw std::runtime_error("FNT directory ID past the table");
    const std::uint16_t sub = r.u16(fnt + p);
    p += 2;
    if (sub < 0xF001 || sub - 0xF000U >= ndirs || !seen.insert(sub).second)
      throw std::runtime_error("bad or repeated directory ID");
    RomDir& child = r.dirs[sub - 0xF000U];
    if (child.parent != d.id)
      throw std::runtime_error("directory parent does not match its sub-table");
    child.path = path;
    queue.push_back(sub);
  }

  void sub_table(const RomDir& d) {
    std::uint32_t p = d.subtable;
    std::uint32_t file_id = d.first_file;
    for (;;) {
      if (p >= size) throw std::runtime_error("unterminated FNT sub-table");
      const std::uint8_t tl = r.bytes[fnt + p++];
      if (tl == 0) return;
      const std::uint32_t len = tl & 0x7FU;
      if (p + len > size) throw std::runtime_error("FNT name past the table");
      const std::string name(reinterpret_cast<const char*>(r.bytes.data() + fnt + p), len);
      p += len;
      const std::string path = d.path.empty() ? name : d.path + "/" + name;
      if ((tl & 0x80U) != 0) {
        sub_directory(d, p, path);
        continue;
      }
      if (file_id >= r.fat.size()) throw std::runtime_error("file ID beyond the FAT");
      if (!r.names.emplace(static_cast<std::uint16_t>(file_id), path).second)
        throw std::runtime_error("file ID named twice");
      ++file_id;
    }
  }

  void run() {
    main_table();
    for (std::size_t q = 0; q < queue.size(); ++q) sub_table(r.dirs[queue[q] - 0xF000U]);
    if (seen.size() != ndirs) throw std::runtime_error("unreachable directories");
  }
};

}  // namespace

RomImage read_rom(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 0x200) throw std::runtime_error("shorter than a header");
  RomImage r;
  r.bytes = bytes;
  // A table that does not lie whole in the file is one a DS never reads
  // (a trimmed image): the image has no such table.
  auto within = [&](std::uint64_t off, std::uint64_t size) {
    return off + size <= bytes.size() && off >= r.header_size();
  };
  const std::uint32_t fat_off = r.u32(0x48), fat_size = r.u32(0x4C);
  if (within(fat_off, fat_size))
    for (std::uint32_t i = 0; i + 8 <= fat_size; i += 8)
      r.fat.push_back({r.u32(fat_off + i), r.u32(fat_off + i + 4)});

  const std::uint32_t fnt = r.u32(0x40), fnt_size = r.u32(0x44);
  if (!within(fnt, fnt_size) || fnt_size < 8) return r;  // no names
  const std::uint16_t ndirs = r.u16(fnt + 6);
  if (ndirs == 0) return r;  // no tree: an FNT in name only
  if (ndirs > 0x1000 || ndirs * 8U > fnt_size) throw std::runtime_error("bad directory count");
  FntWalk{r, fnt, fnt_size, ndirs}.run();
  return r;
}

}  // namespace voderer::testgen
