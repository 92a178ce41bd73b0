// The undo record: what -c keeps so that `ndstool --undo` can give back the
// image it replaced. Not a copy of the image but a reverse delta: the steps
// that build the original from the patched image, each either a run of the
// patched image (bytes the patch left alone or only moved: where they lie
// now and how many) or bytes of the original (where the patch wrote others),
// with the digests of both images.
//
// The file, little-endian:
//   0   8   magic "VODUNDO" and 0x1A
//   8   4   format version (kUndoVersion)
//   12  4   step count N
//   16  16  the digest's algorithm, ASCII, zero-padded ("xxh3-128")
//   32  8   original size        40  16  original digest
//   56  8   patched size         72  16  patched digest
//   88  24N steps: kind (u32: 1 copy, 2 bytes), 0 (u32), length (u64),
//           from (u64: copy, where in the patched image; bytes, where in
//           the data that follows, each step's right after the last's)
//   ...     the bytes steps' data, in order
//   end 16  XXH3-128 of everything before it
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "nds/io/digest.h"

namespace nds {

inline constexpr std::uint32_t kUndoVersion = 1;
inline constexpr std::size_t kUndoHeaderSize = 88;
inline constexpr std::size_t kUndoStepSize = 24;
inline constexpr std::size_t kUndoChecksumSize = 16;
// Past this -c keeps no record: the program then offers no undo.
inline constexpr std::uint64_t kMaxUndoRecord = std::uint64_t{16} << 20;

struct UndoStep {
  enum Kind : std::uint32_t { Copy = 1, Bytes = 2 } kind = Copy;
  std::uint64_t length = 0;
  // Copy: where in the patched image. Bytes: where in the record's data
  // (in the plan -c makes, where in the original image).
  std::uint64_t from = 0;
};

struct UndoHeader {
  std::uint64_t original_size = 0;
  Digest original;
  std::uint64_t patched_size = 0;
  Digest patched;
};

// The record's header and step table, and where its data begins; the
// header's bytes for a record of these steps.
std::vector<std::uint8_t> encode_undo_head(const UndoHeader& header,
                                           const std::vector<UndoStep>& steps);

// The record's size for these steps.
std::uint64_t undo_record_size(const std::vector<UndoStep>& steps);

struct UndoRecord {
  UndoHeader header;
  std::vector<UndoStep> steps;
  std::span<const std::uint8_t> data;  // the bytes steps' data, inside the file's bytes
};

// Reads a whole record file's bytes; an Error of kind BadUndoRecord, saying
// why, for anything damaged, foreign or of another version.
UndoRecord decode_undo_record(std::span<const std::uint8_t> file, const std::string& label);

}  // namespace nds
