// The parts that -x writes and -c reads, named as on the command line.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "nds/io/write_budget.h"

namespace nds {

struct PartPath {
  std::filesystem::path path;
  std::string label;  // as the user typed it, for messages
};

struct Parts {
  PartPath arm9, arm7, y9, y7, data, overlay, banner, header;
};

// Beside the header part: the layout map and the bytes no part carries.
PartPath layout_part(const Parts& parts);
PartPath extra_part(const Parts& parts);
// Beside them, when an undo record is wanted: the unpacked image's digest.
PartPath digest_part(const Parts& parts);

// "overlay_0007.bin": the file ID, at least four decimal digits.
std::string overlay_file_name(std::uint32_t id);

// A file of the data folder by its path there ('/'-separated disk names),
// and one of the overlay folder by its file ID.
PartPath data_file_part(const Parts& parts, const std::string& rel);
PartPath overlay_file_part(const Parts& parts, std::uint32_t id);

// Progress lines for -v; empty = quiet.
using Log = std::function<void(const std::string&)>;

// What a run is given besides the image and its parts.
struct RunOptions {
  Log log;
  WriteBudget* write_budget = nullptr;  // the tests' write failures; none: writes are not limited
  // -c: runs once the new image is written, just before it replaces the
  // old one; throwing stops the rebuild with the image untouched.
  std::function<void()> before_commit;
  // -x: also hash the image, for -c's undo record (digest_part).
  bool keep_digest = false;
  // -c: where to keep what the new image replaces (undo/undo_record.h);
  // empty: nowhere.
  std::filesystem::path undo_record;
};

}  // namespace nds
