// -c's side of the undo record (undo_record.h): the steps that give the
// original image back from the one the plan writes, and the record written
// and flushed to the disk before the image is replaced.
#pragma once

#include <cstdint>
#include <vector>

#include "nds/io/background_digest.h"
#include "nds/io/file_io.h"
#include "nds/layout/parts.h"
#include "nds/rebuild/rebuild_plan.h"
#include "nds/undo/undo_record.h"
#include "result_file/result_file.h"

namespace nds {

// Copy steps for the bytes the plan put back (Piece::origin), bytes steps
// (from: where in the original) for everything it wrote anew.
std::vector<UndoStep> plan_undo_steps(const Plan& plan, std::uint64_t original_size);

// Where the new image holds other bytes than the pieces once written
// (the header, a FAT in a shared region), as [start, end) ranges.
std::vector<std::pair<std::uint64_t, std::uint64_t>> rewritten(const Plan& plan);

// Writes the record of the plan, whose image `patched` hashes, replacing
// `rom`. kept, or too_large (and no file) past kMaxUndoRecord, or none when
// there is no image to give back. Any failure is an Error of kind
// UndoUnwritable, and leaves no record.
result_file::UndoRecord keep_undo_record(const PartPath& rom, const Parts& parts, const Plan& plan,
                                         BackgroundDigest& patched, const RunOptions& options);

}  // namespace nds
