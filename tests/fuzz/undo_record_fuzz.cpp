// libFuzzer target: any bytes as an undo record, sealed with a checksum
// that matches so that the fuzzer reaches past it. A record is refused with
// nds::Error, or its steps make up exactly the original image from the
// patched one and the record's own data.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "nds/io/digest.h"
#include "nds/io/error.h"
#include "nds/undo/undo_record.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> file(data, data + size);
  if (file.size() >= nds::kUndoChecksumSize) {
    const std::size_t body = file.size() - nds::kUndoChecksumSize;
    nds::Hasher hasher;
    hasher.update(std::span<const std::uint8_t>(file.data(), body));
    const nds::Digest sum = hasher.finish();
    std::copy(sum.bytes.begin(), sum.bytes.end(), file.begin() + static_cast<std::ptrdiff_t>(body));
  }
  try {
    const nds::UndoRecord record = nds::decode_undo_record(file, "fuzz.undo");
    std::uint64_t original = 0, bytes = 0;
    for (const nds::UndoStep& step : record.steps) {
      original += step.length;
      if (step.kind == nds::UndoStep::Bytes) bytes += step.length;
      if (step.kind == nds::UndoStep::Copy && step.from + step.length > record.header.patched_size)
        __builtin_trap();
    }
    if (original != record.header.original_size || bytes != record.data.size()) __builtin_trap();
  } catch (const nds::Error&) {
  }
  return 0;
}
