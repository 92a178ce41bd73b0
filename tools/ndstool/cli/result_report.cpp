#include "cli/result_report.h"

#include <fstream>

#include "nds/io/error.h"
#include "nds/io/file_io.h"

namespace nds::cli {

namespace {

std::uint32_t clamp32(std::uint64_t value) {
  return value > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(value);
}

result_file::Line line_of(result_file::Stage stage, result_file::State state) {
  result_file::Line line;
  line.stage = stage;
  line.state = state;
  return line;
}

}  // namespace

void ResultReport::unpacked() const {
  append(line_of(result_file::Stage::unpack, result_file::State::ok));
}

void ResultReport::committing() const {
  append(line_of(result_file::Stage::rebuild, result_file::State::committing));
}

void ResultReport::rebuilt(const RebuildResult& result) const {
  result_file::Line line = line_of(result_file::Stage::rebuild, result_file::State::ok);
  line.arm7_before = clamp32(result.arm7_before);
  line.arm7_after = clamp32(result.arm7_after);
  line.moved_by = clamp32(result.moved_by);
  line.layout_kept = result.used_layout;
  line.check = result.arm7_check;
  line.undo = result.undo;
  append(line);
}

void ResultReport::undone(bool unchanged) const {
  result_file::Line line = line_of(result_file::Stage::undo, result_file::State::ok);
  line.undo_unchanged = unchanged;
  append(line);
}

void ResultReport::failed(result_file::Stage stage, const Error& error) const {
  result_file::Line line = line_of(stage, result_file::State::failed);
  line.failure = failure_of(error);
  line.refusal = error.refusal();
  line.reason = error.what();
  line.check = error.check();
  append(line);
}

void ResultReport::append(const result_file::Line& line) const {
  if (broken_) return;
  const std::string text = result_file::format_line(line);
  // One write of the whole line, so that a reader never sees half of it
  // from a run that went on.
  std::ofstream out(file_, std::ios::binary | std::ios::app);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.close();
  if (!out) {
    broken_ = true;
    fail(ErrorKind::WriteFailed, "cannot write the result file " + path_label(file_));
  }
}

result_file::Failure failure_of(const Error& error) {
  using result_file::Failure;
  switch (error.kind()) {
    case ErrorKind::NoRom: return Failure::no_rom;
    case ErrorKind::MissingArm7: return Failure::no_arm7;
    case ErrorKind::NotDsImage: return Failure::not_ds_image;
    case ErrorKind::Arm7Refused: return Failure::arm7_refused;
    case ErrorKind::UndoUnwritable: return Failure::undo_unwritable;
    case ErrorKind::UndoMismatch: return Failure::undo_mismatch;
    case ErrorKind::BadUndoRecord: return Failure::undo_bad_record;
    default: break;
  }
  switch (error.cause()) {
    case Cause::InUse: return Failure::in_use;
    case Cause::NoSpace: return Failure::disk_full;
    case Cause::ReadOnly: return Failure::read_only;
    case Cause::NotFound:
    case Cause::None: break;
  }
  return Failure::other;
}

std::string report_failure(const ResultReport& report, result_file::Stage stage,
                           const Error& error) {
  try {
    report.failed(stage, error);
  } catch (const std::exception& e) {
    return std::string("ndstool: ") + e.what() + "\n";
  }
  return {};
}

std::string report_rebuilt(const ResultReport& report, const RebuildResult& result) {
  try {
    report.rebuilt(result);
  } catch (const std::exception& e) {
    // Its "committing" line stays the last word: the program says it
    // cannot tell, rather than that nothing changed.
    return std::string("ndstool: ") + e.what() + "; the image was rebuilt all the same\n";
  }
  return {};
}

std::string report_undone(const ResultReport& report, bool unchanged) {
  try {
    report.undone(unchanged);
  } catch (const std::exception& e) {
    return std::string("ndstool: ") + e.what() + "; the image was given back all the same\n";
  }
  return {};
}

}  // namespace nds::cli
