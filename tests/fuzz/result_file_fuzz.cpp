// libFuzzer target: any bytes as a result file, and as one of its lines.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "result_file/result_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const result_file::Report report = result_file::read_report(bytes);
  // A patch needs the three lines of one: never fewer bytes than those.
  if (report.outcome == result_file::Outcome::patched && size < std::size_t{3} * 30) std::abort();
  // The undo's file is one undo line, or nothing it can tell.
  const result_file::UndoReport undo = result_file::read_undo_report(bytes);
  if (undo.outcome != result_file::UndoOutcome::no_report &&
      undo.outcome != result_file::UndoOutcome::unreadable &&
      undo.line.stage != result_file::Stage::undo)
    std::abort();
  // A line is taken only as written: writing it again gives the same bytes.
  if (const std::optional<result_file::Line> line = result_file::parse_line(bytes)) {
    if (result_file::format_line(*line) != std::string(bytes) + "\n") std::abort();
  }
  return 0;
}
