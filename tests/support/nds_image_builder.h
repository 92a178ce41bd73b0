// Synthetic DS ROM images for the tests and the benchmark: images laid out
// the way mastering tools lay them out (build_image, write_image), and small
// ones laid out as homebrew tools lay them out (build_rom). Written from the
// format facts alone and sharing no code with tools/ndstool, so that a
// misreading of the format in one is caught by the other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <ostream>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace voderer::testgen {

// CRC-16 as the DS uses it (0xA001 reflected, init 0xFFFF, no final xor).
std::uint16_t crc16(std::span<const std::uint8_t> bytes, std::uint16_t crc = 0xFFFF);

struct ImageOptions {
  std::uint64_t seed = 1;
  bool dsi = false;  // unit code 2, extended header, ARM9i/ARM7i after the DS part
  bool encrypted_secure_area = false;  // random bytes instead of the decrypted 0xE7FFDEFF marker
  bool arm9_footer = true;             // 12 bytes 0xDEC00621 ... after the ARM9
  std::uint8_t rom_version = 2;
  std::uint8_t pad = 0xFF;  // between items and up to the chip capacity
  bool fill_to_capacity = true;
  bool rsa_block = true;             // 0x88 bytes right after the DS part
  std::uint32_t alignment = 0x200;   // of every item and every file
  std::uint32_t arm9_size = 0x5000;  // secure area included
  std::uint32_t arm7_size = 0x1A34;
  unsigned arm9_overlays = 3;
  unsigned arm7_overlays = 2;  // overlay IDs 0.. as in the ARM9 table
  std::uint32_t overlay_size = 0x1A0;
  unsigned dir_depth = 4;    // directory levels below the root
  unsigned dir_fanout = 2;   // sub-directories of the root and of each level but the last
  unsigned chain_below = 1;  // below the first level, only this many directories branch
  unsigned files_per_dir = 2;
  std::uint32_t file_size_max = 0x180;  // sizes 1..max (plus the zero-length ones)
  bool shift_jis_names = true;
  bool zero_length_files = true;
  bool unnamed_fat_entry = true;
  std::uint32_t arm9i_size = 0x640;
  std::uint32_t arm7i_size = 0x4A8;
};

enum class FileKind { named, arm9_overlay, arm7_overlay, unnamed };

struct FileInfo {
  std::uint16_t id = 0;
  FileKind kind = FileKind::named;
  std::string path;       // FNT name bytes joined by '/', relative to the data root (named only)
  std::string utf8_path;  // the same with Shift-JIS names decoded
  std::uint32_t overlay_id = 0;
  std::uint32_t offset = 0;
  std::uint32_t size = 0;
  std::uint64_t key = 0;  // content key for file_content()
};

struct DirInfo {
  std::uint16_t id = 0;
  std::uint16_t parent = 0;
  std::string path;
  std::string utf8_path;
  unsigned depth = 0;
};

// One stretch of the image that is not padding.
struct Item {
  std::string
      name;  // "header", "arm9", "arm9 footer", "arm9 overlay table", "arm7", "fnt", "file 12", ...
  std::uint32_t offset = 0;
  std::uint32_t size = 0;
};

struct ImageDescription {
  std::uint32_t header_size = 0x4000;
  std::uint32_t arm9_offset = 0, arm9_size = 0;
  std::uint32_t arm7_offset = 0, arm7_size = 0;
  std::uint32_t fnt_offset = 0, fnt_size = 0;
  std::uint32_t fat_offset = 0, fat_size = 0;
  std::uint32_t ovt9_offset = 0, ovt9_size = 0;
  std::uint32_t ovt7_offset = 0, ovt7_size = 0;
  std::uint32_t banner_offset = 0, banner_size = 0;
  std::uint32_t used_size = 0;   // header 0x80
  std::uint32_t rsa_offset = 0;  // 0 when absent
  std::uint32_t arm9i_offset = 0, arm9i_size = 0, arm7i_offset = 0, arm7i_size = 0;
  std::uint32_t dsi_total_size = 0;  // header 0x210
  std::uint64_t content_end = 0;     // end of the last item
  std::uint64_t file_size = 0;       // length of the image file
  std::uint8_t capacity = 0;
  std::vector<Item> items;      // in offset order
  std::vector<FileInfo> files;  // indexed by file ID
  std::vector<DirInfo> dirs;    // indexed by directory ID - 0xF000

  const Item* item(const std::string& name) const;
};

struct GeneratedImage {
  std::vector<std::uint8_t> bytes;
  ImageDescription desc;
};

// Small image in memory.
GeneratedImage build_image(const ImageOptions& options);

// Same bytes streamed to a file, for images too large to hold.
ImageDescription write_image(const ImageOptions& options, const std::filesystem::path& out);

// The bytes of a file or overlay as the generator stored them.
std::vector<std::uint8_t> file_content(const FileInfo& file);

// Deterministic pseudo-random bytes for a key (file contents and the like).
std::vector<std::uint8_t> random_block(std::uint64_t key, std::size_t n);

// An ARM7 binary is entered in ARM state: the firmware and every loader jump
// to its entry, and ndstool refuses one without an instruction there. These
// open with a branch to themselves (b .), the rest random.
inline constexpr std::uint32_t kBranchToSelf = 0xEAFFFFFE;
std::vector<std::uint8_t> arm7_block(std::uint64_t key, std::size_t n);

// Text listing of the description (gen_nds --describe).
std::string describe(const ImageDescription& desc);

// The variants every test runs on: name and options.
struct Variant {
  std::string name;
  ImageOptions options;
};
std::vector<Variant> standard_variants();
// The benchmark's image: about `mib` MiB in 5180 files in three levels of folders.
ImageOptions large_options(unsigned mib);

// For GoogleTest's parameter listings.
inline void PrintTo(const Variant& v, std::ostream* os) {
  *os << v.name;
}

// ---- small images: every item of the format in a few KiB, valid CRCs ----

using Bytes = std::vector<std::uint8_t>;

struct MiniRom {
  bool dsi = false;         // 0x1000 header part, 0x4000 header, ARM9i/ARM7i after the DS part
  std::uint8_t pad = 0x00;  // between items (0xFF in mastered images)
  std::uint32_t arm9_size = 0x1234;
  std::uint32_t arm7_size = 0x456;
  std::uint8_t arm7_seed = 7;
  int arm9_overlays = 0;
  int arm7_overlays = 0;
  // Named files, '/'-separated raw FNT names; directories are created on
  // first use, entries keep the order given here.
  std::vector<std::pair<std::string, Bytes>> files;
  bool arm7_last = false;  // ARM7 after the files, right before the DSi sections
  int unnamed = 0;         // FAT entries with neither a name nor an overlay entry
  bool banner = true;
  Bytes trailing;  // bytes after the DS part (and after the DSi part)
};

Bytes build_rom(const MiniRom& desc);

// Deterministic filler with no long runs, so nothing looks like padding.
Bytes noise(std::size_t n, std::uint32_t seed);
// The same, opening with kBranchToSelf: an ARM7 binary entered at its start.
Bytes arm7_noise(std::size_t n, std::uint32_t seed);

// Recomputes the header CRC after a test edited the header.
void fix_header_crc(Bytes& rom);

// Little-endian words of an image.
std::uint16_t rd16(const Bytes& b, std::size_t off);
std::uint32_t rd32(const Bytes& b, std::size_t off);
void wr16(Bytes& b, std::size_t off, std::uint32_t v);
void wr32(Bytes& b, std::size_t off, std::uint32_t v);

}  // namespace voderer::testgen
