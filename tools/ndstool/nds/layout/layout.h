// The layout file that -x writes beside the header part: a complete map of
// the image as ordered regions covering every byte, so that -c can put every
// byte back where it was. Bytes that no part carries (padding, the DSi
// sections, whatever follows the DS part, unnamed FAT entries, the raw FNT)
// go to a second file, the "extra" file, referenced by offset.
//
// Text, one record a line, numbers in hex:
//   voderer-ndstool-layout 1
//   image SIZE
//   header-part 0x200|0x1000
//   pad BYTE                      padding byte for the rest of a slot
//   arm9-footer 0|1
//   fat-count N
//   crc header|logo|secure STORED COMPUTED   ("crc secure none" when absent)
//   extra SIZE FNV64
//   region KIND OFFSET LENGTH [fill BYTE | raw EXTRA_OFF | id N data|overlay | id N raw EXTRA_OFF]
//   pointer KIND START END [id N data|overlay|raw]
//   kept KIND OFFSET SIZE | kept file START END id N
//   end
// KIND: header arm9 arm7 ovt9 ovt7 fnt fat banner file fill raw shared.
// Regions are contiguous from 0 to SIZE. "pointer" records what has no bytes
// of its own: a zero-length item (wherever it points, past the end of the
// file too), a FAT entry sharing another's bytes, or a header item whose
// bytes lie in a "shared" region (the raw bytes of items that overlap each
// other). "kept" records a header item or FAT entry that -x did not read
// (it lies partly past the end of the file, or it is not a table -x can
// read and nothing needs it): its fields are kept, its offset following
// moves.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "nds/format/crcs.h"

namespace nds {

// Arm7i is never in a layout file: -c makes one in memory where an ELF's
// ARM7i takes the place of the image's own (layout_plan.cpp).
enum class Kind {
  Header,
  Arm9,
  Arm7,
  Ovt9,
  Ovt7,
  Fnt,
  Fat,
  Banner,
  File,
  Fill,
  Raw,
  Shared,
  Arm7i
};
inline constexpr std::size_t kKinds = 13;
enum class Source { None, Data, Overlay, Raw };

struct Region {
  Kind kind = Kind::Fill;
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
  std::uint8_t fill = 0;
  // Raw, Shared, Fnt and raw files: where their bytes are in the extra file.
  std::uint64_t extra = 0;
  std::uint32_t id = 0;  // File
  Source source = Source::None;
};

struct Pointer {
  Kind kind = Kind::File;
  std::uint64_t start = 0;
  std::uint64_t end = 0;
  std::uint32_t id = 0;
  Source source = Source::None;
};

struct Kept {
  Kind kind = Kind::Fnt;
  std::uint64_t offset = 0;  // header offset, or a FAT entry's start
  std::uint64_t size = 0;    // header size field, or a FAT entry's end
  std::uint32_t id = 0;      // FAT entries
};

struct Layout {
  std::uint64_t image_size = 0;
  std::uint32_t header_part = 0;
  std::uint8_t pad = 0;
  bool arm9_footer = false;
  std::uint32_t fat_count = 0;
  Crc header_crc, logo_crc, secure_crc;
  std::uint64_t extra_size = 0;
  std::uint64_t extra_hash = 0;
  std::vector<Region> regions;
  std::vector<Pointer> pointers;
  std::vector<Kept> kept;

  const Region* find_region(Kind kind) const;
  const Pointer* find_pointer(Kind kind) const;
  const Kept* find_kept(Kind kind) const;
  // The region holding this byte (a position below image_size).
  std::size_t region_at(std::uint64_t position) const;
};

inline constexpr std::uint64_t kMaxLayoutText = 64u << 20;

// Items are placed at multiples of this, and move by multiples of it.
inline constexpr std::uint64_t kAlign = 0x200;

std::string layout_text(const Layout& layout);

// Parses and checks a layout file as hostile input: strict syntax, regions
// contiguous and covering the image, every extra range inside the extra
// file, each main item at most once, every FAT entry exactly once, and a
// pointer with bytes inside one shared region.
Layout parse_layout(std::string_view text);

// FNV-1a, 64 bit: guards the extra file against edits and mix-ups.
class Fnv64 {
 public:
  void update(const std::uint8_t* data, std::size_t n);
  std::uint64_t value() const { return hash_; }

 private:
  std::uint64_t hash_ = 0xcbf29ce484222325ull;
};

// The words of the layout file for kinds and sources.
const char* kind_name(Kind kind);
std::optional<Kind> kind_named(std::string_view name);
const char* source_name(Source source);

// A piece of the image with bytes of its own (not fill, raw or shared bytes).
bool is_item(Kind kind);

}  // namespace nds
