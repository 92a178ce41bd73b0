// The result file: how the program learns how the patch script ended. The
// program names the file in the environment of the script it starts;
// ndstool, when it finds the name there, appends one line per run, and the
// program reads the whole file once the script has ended. Standard library
// only: ndstool and the program both build on it.
//
// The line carries codes, never sentences: the window builds its text from
// them in the user's language, and ndstool's own English reason travels
// only to be quoted. Every code is defined here, once, for both sides.
//
// A line, UTF-8, ended by LF:
//   ndstool-result 4 STAGE STATE [DETAILS] #CRC
//   STAGE   unpack | rebuild | undo
//   STATE   ok | failed | committing (rebuild only: written just before the
//           image is replaced, so that a run stopped at that moment is
//           known as one)
//   DETAILS rebuild ok: "arm7 OLD NEW moved BYTES layout kept|compact
//           undo none|kept|too-large" in decimal, then CHECK when there
//           is one; undo ok: "restored|unchanged";
//           failed: "FAILURE [refused REFUSAL] [CHECK] reason TEXT", TEXT
//           with "\\", "\t", "\n", "\r" and "\xHH" escapes for a
//           backslash, control characters and bytes that are not UTF-8
//   CHECK   "from binary|elf runtimes ARM7 ARM9 address same|FROM-TO dsi
//           NOTE sdk PAIRING dsi-block BLOCK": what -c found out about the
//           new ARM7 binary and the image; runtimes as in runtime_word,
//           addresses 0x and eight upper-case hex digits, PAIRING and BLOCK
//           as in pairing_word and dsi_block_word
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
// The environment variable that names the file where -c keeps what it
// replaced, so that `ndstool --undo` can give the original image back.
inline constexpr char kUndoVariable[] = "VODERER_UNDO_FILE";
// A report is a few short lines; anything larger is not one.
inline constexpr std::size_t kMaxFileSize = std::size_t{64} * 1024;

enum class Stage { unpack, rebuild, undo };
enum class State { ok, failed, committing };

// What kind of failure it was, so that the window can say it in the
// user's language and tell what to do next.
enum class Failure {
  other,            // anything below does not fit
  no_rom,           // no ROM image was named (none chosen)
  no_arm7,          // Bin/arm7.bin is not there
  not_ds_image,     // the chosen file is no DS ROM image
  in_use,           // another program holds the ROM image (or a part) open
  disk_full,        // no room left on the disk
  read_only,        // the disk, folder or file cannot be written
  arm7_refused,     // arm7.bin cannot be this image's ARM7: see Refusal
  undo_unwritable,  // -c could not write its undo record; the image is unchanged
  undo_mismatch,    // the ROM is neither the patched nor the original image
  undo_bad_record,  // the undo record is damaged, foreign, or of another version
};

// Why an arm7.bin cannot be this image's ARM7 binary.
enum class Refusal {
  empty,             // an empty file
  ds_image,          // a whole DS ROM image
  own_arm9,          // the image's own ARM9 binary
  too_large,         // more than the memory at its load address holds
  overlaps_arm9,     // it would lie over the ARM9 binary in memory
  bad_elf,           // an ELF file that cannot be read as one
  text,              // a text file
  archive,           // an archive (ZIP, 7z, RAR, gzip)
  arm9,              // an ARM9 binary: its start code programs what only the ARM9 has
  entry_outside,     // the header's entry lies outside the binary
  no_code_at_entry,  // the word at the entry is no always-executed ARM instruction
};

// What built a binary, as far as its start code tells.
enum class Runtime { unknown, sdk, calico, libnds, blocksds, libnds_or_blocksds };

struct RuntimeCode {
  Runtime runtime = Runtime::unknown;
  std::uint32_t sdk_version = 0;  // sdk only; 0: not given
  bool operator==(const RuntimeCode&) const = default;
};

// Whether two halves were certainly built with different runtimes: both
// known, and not possibly the same (libnds_or_blocksds may be either of
// them). Versions of one SDK do not count as different.
bool runtimes_differ(const RuntimeCode& a, const RuntimeCode& b);

// What became of the image's ARM7i (its DSi-mode ARM7 binary).
enum class DsiNote {
  none,            // nothing to say: no ARM7i, or the ARM7 did not change
  arm7i_follows,   // it named the ARM7's own bytes and names the new ones
  arm7i_replaced,  // the ELF's DSi segments replaced it
  arm7i_left_out,  // the ELF had DSi segments, but the image has no ARM7i
  arm7i_kept,      // the image's own stayed beside a new ARM7: DSi mode may not start
};

// Two halves both built with Nintendo's SDK: what their versions say.
enum class SdkPairing {
  none,                // not both SDK halves
  generations_differ,  // SDK 5 with an SDK before 5: they certainly differ
  same_version,        // both versions known, with the same major and minor
  versions_differ,     // both known, of one generation, other major or minor
  version_unknown,     // one of them records no version, or has none found
};

// A DSi-capable image (unit code 2 or 3) given an SDK ARM7: whether that
// ARM7 has the block its DSi mode needs.
enum class DsiBlock {
  not_asked,  // a DS-only image, an ARM7 not the SDK's, or one whose parameters were not found
  present,
  missing,  // the halves certainly differ
};

// What -c found out about the new ARM7 binary and the image.
struct Arm7Check {
  bool elf = false;    // arm7.bin was an ELF file
  RuntimeCode arm7;    // what built the new ARM7 binary
  RuntimeCode arm9;    // what built the image's ARM9 binary
  bool moved = false;  // the header's ARM7 RAM address changed
  std::uint32_t from = 0, to = 0;
  DsiNote dsi = DsiNote::none;
  SdkPairing sdk = SdkPairing::none;
  DsiBlock dsi_block = DsiBlock::not_asked;
  bool operator==(const Arm7Check&) const = default;
};

// What -c did about the undo record.
enum class UndoRecord {
  none,       // no record was asked for
  kept,       // written: the patch can be taken back
  too_large,  // it would have been too large to keep, so there is none
};

struct Line {
  Stage stage = Stage::unpack;
  State state = State::ok;
  // failed: its kind, why arm7.bin was refused (arm7_refused only), and
  // ndstool's one-line message without "ndstool: ".
  Failure failure = Failure::other;
  std::optional<Refusal> refusal;
  std::string reason;
  // rebuild ok: the ARM7 binary's size before and after, how far the items
  // after it moved, and whether the image's own layout was kept.
  std::uint32_t arm7_before = 0;
  std::uint32_t arm7_after = 0;
  std::uint32_t moved_by = 0;
  bool layout_kept = true;
  UndoRecord undo = UndoRecord::none;
  // undo ok: the ROM already was the original image.
  bool undo_unchanged = false;
  // rebuild ok or failed, when -c got as far as looking at arm7.bin.
  std::optional<Arm7Check> check;
};

// The line as written, with its LF.
std::string format_line(const Line& line);

// One line without its LF; nothing unless it is exactly as format_line
// writes it (syntax, numbers, escapes, UTF-8 and checksum).
std::optional<Line> parse_line(std::string_view text);

// What a whole file says about one run of the script.
enum class Outcome {
  patched,     // unpacked, then the image replaced: `line` is the rebuild's
  failed,      // a stage failed before the image was replaced: `line` is its
  no_report,   // no line at all: neither ndstool run got as far as writing
  no_rebuild,  // unpacked, then no word from the rebuild
  unreadable,  // damaged, or lines in an order no run writes
  unknown,     // the rebuild stopped while replacing the image
};

struct Report {
  Outcome outcome = Outcome::no_report;
  Line line;  // patched: the rebuild's line; failed: the first failing stage's
};

// Reads the file's bytes strictly: a damaged or truncated file is never
// taken for a patch.
Report read_report(std::string_view file);

// What the undo's own result file says.
enum class UndoOutcome {
  restored,    // the original image is back
  unchanged,   // the ROM already was the original image: nothing to undo
  failed,      // `line` says why; the ROM is as it was
  no_report,   // no line at all
  unreadable,  // damaged, or not one undo line
};

struct UndoReport {
  UndoOutcome outcome = UndoOutcome::no_report;
  Line line;  // the undo's line, when there is one
};

// Reads the undo's result file as strictly as read_report.
UndoReport read_undo_report(std::string_view file);

// The words of the codes, as the line spells them (also for -v and tests).
std::string_view failure_word(Failure failure);
std::string_view refusal_word(Refusal refusal);
std::string_view dsi_word(DsiNote note);
std::string_view pairing_word(SdkPairing pairing);
std::string_view dsi_block_word(DsiBlock block);
std::string_view undo_record_word(UndoRecord record);
// "blocksds", "sdk", "sdk-03027531" (the version in hex), ...
std::string runtime_word(const RuntimeCode& runtime);

}  // namespace result_file
