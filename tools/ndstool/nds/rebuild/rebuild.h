// -c: reads and checks every part, plans the image (rebuild_plan.h), then
// writes it to a temporary file and renames it over the target.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "nds/io/error.h"
#include "nds/layout/parts.h"
#include "result_file/result_file.h"

namespace nds {

struct RebuildResult {
  bool used_layout = false;  // exact layout from the layout file
  // Why the layout file was not used, if it was there.
  std::string layout_note;
  std::optional<ErrorKind> layout_refusal;
  std::uint64_t size = 0;
  std::uint64_t moved_by = 0;  // how far later items moved (0: nothing moved)
  // The ARM7 binary's size in the unpacked header and in the part that
  // replaces it, for the program's report.
  std::uint64_t arm7_before = 0;
  std::uint64_t arm7_after = 0;
  // What the check of the new ARM7 found out (arm7_check.h).
  result_file::Arm7Check arm7_check;
  // Whether an undo record was kept (RunOptions::undo_record).
  result_file::UndoRecord undo = result_file::UndoRecord::none;
};

RebuildResult rebuild(const PartPath& rom, const Parts& parts, const RunOptions& options);

}  // namespace nds
