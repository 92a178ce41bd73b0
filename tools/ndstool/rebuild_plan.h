// Inside -c: the plan of the new image as pieces to write in order, and the
// two ways to make it (from the layout file, or a compact image from the
// parts alone).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "layout.h"
#include "parts.h"

namespace nds {

// One stretch of the output image.
struct Piece {
  enum Type { Fill, Bytes, File, Extra } type = Fill;
  std::uint64_t length = 0;
  std::uint8_t byte = 0;
  std::uint64_t offset = 0;  // within the source
  std::shared_ptr<const std::vector<std::uint8_t>> bytes;
  // File and Extra: a fixed part, or a file of the data or overlay folder
  // by its ID, whose path is made only when it is copied (no path per file
  // held: memory stays small with tens of thousands of files).
  const PartPath* part = nullptr;
  Source folder = Source::None;
  std::uint32_t id = 0;
};

using SharedBytes = std::shared_ptr<const std::vector<std::uint8_t>>;

struct Plan {
  std::shared_ptr<std::vector<std::uint8_t>> header;
  std::vector<Piece> pieces;
  std::vector<std::string> names;  // data folder path by file ID
  std::uint64_t size = 0;
  std::uint64_t moved_by = 0;
  // Bytes written over the pieces once they are out (a FAT inside a shared region).
  std::vector<std::pair<std::uint64_t, SharedBytes>> patches;
  // What to finish once the bytes are written.
  Crc old_secure, old_header;
  bool secure_if_stored = false;  // recompute the secure area CRC only where the field is in use
};

// The inputs every rebuild reads, checked before anything is planned.
struct Inputs {
  std::vector<std::uint8_t> header;
  std::vector<std::uint8_t> y9, y7;
  std::uint64_t arm9_size = 0, arm7_size = 0, banner_size = 0;
};

inline constexpr std::uint64_t kAlign = 0x200;

std::uint64_t file_size_of(const PartPath& p);
PartPath folder_file(const Parts& parts, const std::vector<std::string>& names, Source folder,
                     std::uint32_t id);

Piece fill_piece(std::uint8_t byte, std::uint64_t n);
Piece file_piece(const PartPath& p, std::uint64_t n);
Piece folder_piece(Source folder, std::uint32_t id, std::uint64_t n);
Piece bytes_piece(SharedBytes b);

// The exact image of the layout file, with the parts as they are now.
Plan plan_from_layout(const Parts& parts, const Inputs& in, const Layout& l,
                      const PartPath& extra_p);

}  // namespace nds
