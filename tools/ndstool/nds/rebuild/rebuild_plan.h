// Inside -c: the new image as pieces to write in order, and the two ways to
// plan it: from the layout file (layout_plan.cpp), or a compact image from
// the parts alone (compact_plan.cpp).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "nds/format/crcs.h"
#include "nds/layout/layout.h"
#include "nds/layout/parts.h"

namespace nds {

using SharedBytes = std::shared_ptr<const std::vector<std::uint8_t>>;

// One stretch of the output image.
struct Piece {
  enum Type { Fill, Bytes, File, Extra } type = Fill;
  std::uint64_t length = 0;
  std::uint8_t byte = 0;
  std::uint64_t offset = 0;  // within the source
  SharedBytes bytes;
  // File: a fixed part, or a file of the data or overlay folder by its ID,
  // whose path is made only when it is copied (no path per file held:
  // memory stays small with tens of thousands of files). Extra: bytes of
  // the extra file beside the header part.
  const PartPath* part = nullptr;
  Source folder = Source::None;
  std::uint32_t id = 0;
  // Its first origin_length bytes are the unpacked image's own at origin,
  // so the undo record needs only where they went (0: none known).
  std::uint64_t origin = 0;
  std::uint64_t origin_length = 0;
};

Piece fill_piece(std::uint8_t byte, std::uint64_t length);
Piece file_piece(const PartPath& part, std::uint64_t length);
Piece folder_piece(Source folder, std::uint32_t id, std::uint64_t length);
Piece extra_piece(std::uint64_t offset, std::uint64_t length);
Piece bytes_piece(SharedBytes bytes);

struct Plan {
  std::shared_ptr<std::vector<std::uint8_t>> header;  // written first, finished last
  std::vector<Piece> pieces;
  std::vector<std::string> names;  // data folder path by file ID
  std::uint64_t size = 0;
  std::uint64_t moved_by = 0;
  // Bytes written over the pieces once they are out (a FAT inside a shared region).
  std::vector<std::pair<std::uint64_t, SharedBytes>> patches;
  CrcsBefore crcs_before;       // none known for a compact image
  bool arm7i_replaced = false;  // the ELF's ARM7i took the place of the image's own
};

// The inputs every rebuild reads, checked before anything is planned.
struct Inputs {
  std::vector<std::uint8_t> header;
  std::vector<std::uint8_t> y9, y7;
  std::uint64_t arm9_size = 0, arm7_size = 0, banner_size = 0;
  // An ELF arm7.bin, converted (arm7_check.h): the ARM7 binary made of its
  // DS segments, which replaces the -7 part's bytes, and the ARM7i of its
  // DSi segments that replaces the image's own. Null: not given.
  SharedBytes arm7_bytes;
  SharedBytes arm7i_bytes;
};

Inputs read_inputs(const Parts& parts);

// Where the new ARM7 binary's bytes come from: the ELF's, or the -7 part.
Piece arm7_piece(const Parts& parts, const Inputs& inputs);

// The file a folder piece names.
PartPath folder_file(const Parts& parts, const std::vector<std::string>& names, Source folder,
                     std::uint32_t id);

// The exact image of the layout file, with the parts as they are now.
Plan plan_from_layout(const Parts& parts, const Inputs& inputs, const Layout& layout,
                      const PartPath& extra);

// A sound image from the parts alone: items one after the other, files in
// name order.
Plan plan_compact(const Parts& parts, const Inputs& inputs);

}  // namespace nds
