// The result file: how the program learns how the patch script ended. The
// program names the file in the environment of the script it starts;
// ndstool, when it finds the name there, appends one line per run, and the
// program reads the whole file once the script has ended. Standard library
// only: ndstool and the program both build on it.
//
// A line, UTF-8, ended by LF:
//   ndstool-result 1 STAGE STATE [DETAILS] #CRC
//   STAGE   unpack | rebuild
//   STATE   ok | failed | committing (rebuild only: written just before the
//           image is replaced, so that a run stopped at that moment is
//           known as one)
//   DETAILS failed: the reason, with "\\", "\t", "\n", "\r" and "\xHH"
//           escapes for a backslash, control characters and bytes that
//           are not UTF-8; rebuild ok: "arm7 OLD NEW moved BYTES layout
//           kept|compact" in decimal
//   CRC     CRC-32 of everything before " #", eight upper-case hex digits
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace result_file {

// The environment variable that names the result file.
inline constexpr char kVariable[] = "VODERER_RESULT_FILE";
// A report is a few short lines; anything larger is not one.
inline constexpr std::size_t kMaxFileSize = std::size_t{64} * 1024;

enum class Stage { unpack, rebuild };
enum class State { ok, failed, committing };

struct Line {
  Stage stage = Stage::unpack;
  State state = State::ok;
  std::string reason;  // failed: ndstool's one-line message, without "ndstool: "
  // rebuild ok: the ARM7 binary's size before and after, how far the items
  // after it moved, and whether the image's own layout was kept.
  std::uint32_t arm7_before = 0;
  std::uint32_t arm7_after = 0;
  std::uint32_t moved_by = 0;
  bool layout_kept = true;
};

// The line as written, with its LF.
std::string format_line(const Line& line);

// One line without its LF; nothing unless it is exactly as format_line
// writes it (syntax, numbers, escapes, UTF-8 and checksum).
std::optional<Line> parse_line(std::string_view text);

// What a whole file says about one run of the script.
enum class Outcome {
  patched,     // unpacked, then the image replaced
  failed,      // a stage failed before the image was replaced: `reason`
  no_report,   // no line at all: neither ndstool run got as far as writing
  no_rebuild,  // unpacked, then no word from the rebuild
  unreadable,  // damaged, or lines in an order no run writes
  unknown,     // the rebuild stopped while replacing the image
};

struct Report {
  Outcome outcome = Outcome::no_report;
  std::string reason;  // failed: the first failing stage's reason (UTF-8)
  Line rebuild;        // patched: the rebuild's details
};

// Reads the file's bytes strictly: a damaged or truncated file is never
// taken for a patch.
Report read_report(std::string_view file);

}  // namespace result_file
