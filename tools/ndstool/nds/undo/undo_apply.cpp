#include "nds/undo/undo_apply.h"

#include "nds/io/atomic_file.h"
#include "nds/io/file_io.h"
#include "nds/undo/undo_record.h"

namespace nds {

namespace {

enum class ImageIs { patched, original, neither };

// Reads the image once, and only when its size is one of the two.
ImageIs which_image(const PartPath& rom, const UndoHeader& header) {
  const InFile image(rom.path, rom.label);
  const std::uint64_t size = image.size();
  if (size != header.patched_size && size != header.original_size) return ImageIs::neither;
  const Digest digest =
      digest_of(size, [&](std::uint64_t at, std::size_t n) { return image.digest_at(at, n); });
  if (size == header.original_size && digest == header.original) return ImageIs::original;
  if (size == header.patched_size && digest == header.patched) return ImageIs::patched;
  return ImageIs::neither;
}

void apply_steps(const UndoRecord& record, const PartPath& rom, OutFile& out) {
  const InFile patched(rom.path, rom.label);
  for (const UndoStep& step : record.steps) {
    if (step.kind == UndoStep::Copy)
      out.copy_from(patched, step.from, step.length);
    else
      out.write(record.data.subspan(static_cast<std::size_t>(step.from),
                                    static_cast<std::size_t>(step.length)));
  }
}

}  // namespace

UndoDone undo_image(const PartPath& record_part, const PartPath& rom, const RunOptions& options) {
  if (file_size_of(record_part.path, record_part.label) > kMaxUndoRecord)
    fail(ErrorKind::BadUndoRecord, record_part.label + " is larger than any undo record");
  const std::vector<std::uint8_t> bytes =
      read_small_file(record_part.path, record_part.label, kMaxUndoRecord);
  const UndoRecord record = decode_undo_record(bytes, record_part.label);
  switch (which_image(rom, record.header)) {
    case ImageIs::original: return UndoDone::unchanged;
    case ImageIs::neither:
      fail(ErrorKind::UndoMismatch, rom.label + " is neither the image " + record_part.label +
                                        " was kept for nor the one before it");
    case ImageIs::patched: break;
  }
  AtomicReplace target(rom, options.write_budget);
  apply_steps(record, rom, target.out());
  OutFile& out = target.out();
  out.sync();
  const Digest result =
      digest_of(record.header.original_size,
                [&](std::uint64_t at, std::size_t n) { return out.digest_written(at, n); });
  if (result != record.header.original)
    fail(ErrorKind::BadUndoRecord,
         record_part.label + " does not give back the image it was kept for");
  if (options.log) options.log("restored " + rom.label + " as it was before the patch");
  target.commit();
  return UndoDone::restored;
}

}  // namespace nds
