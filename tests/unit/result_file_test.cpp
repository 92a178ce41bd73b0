// The result file's lines: what ndstool writes reads back exactly, anything
// else is refused, and a whole file is judged as one run of the script,
// never taking a damaged one for a patch.
#include "result_file/result_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace result_file {
namespace {

using namespace std::string_literals;

Line failed(Stage stage, std::string reason) {
  Line line;
  line.stage = stage;
  line.state = State::failed;
  line.reason = std::move(reason);
  return line;
}

Line plain(Stage stage, State state) {
  Line line;
  line.stage = stage;
  line.state = state;
  return line;
}

Line rebuilt(std::uint32_t before, std::uint32_t after, std::uint32_t moved, bool kept = true) {
  Line line = plain(Stage::rebuild, State::ok);
  line.arm7_before = before;
  line.arm7_after = after;
  line.moved_by = moved;
  line.layout_kept = kept;
  return line;
}

Line recorded(UndoRecord undo) {
  Line line = rebuilt(10, 20, 0);
  line.undo = undo;
  return line;
}

Line undone(bool unchanged) {
  Line line = plain(Stage::undo, State::ok);
  line.undo_unchanged = unchanged;
  return line;
}

Line failed(Stage stage, std::string reason, Failure failure) {
  Line line = failed(stage, std::move(reason));
  line.failure = failure;
  return line;
}

Arm7Check checked(bool elf, DsiNote dsi, std::uint32_t from = 0, std::uint32_t to = 0) {
  Arm7Check check;
  check.elf = elf;
  check.arm7 = {Runtime::blocksds, 0};
  check.arm9 = {Runtime::sdk, 0x03027531};
  check.moved = from != to;
  check.from = from;
  check.to = to;
  check.dsi = dsi;
  return check;
}

Line refused(Refusal refusal, std::optional<Arm7Check> check) {
  Line line = failed(Stage::rebuild, "arm7.bin: no ARM7 for this image", Failure::arm7_refused);
  line.refusal = refusal;
  line.check = check;
  return line;
}

Line with(Line line, Arm7Check check) {
  line.check = check;
  return line;
}

std::string file_of(const std::vector<Line>& lines) {
  std::string text;
  for (const Line& line : lines) text += format_line(line);
  return text;
}

// The line without its LF, for parse_line.
std::string bare(const Line& line) {
  std::string text = format_line(line);
  text.pop_back();
  return text;
}

TEST(ResultLine, EveryKindReadsBackAsWritten) {
  const std::vector<Line> lines = {
      plain(Stage::unpack, State::ok),
      plain(Stage::rebuild, State::committing),
      rebuilt(0x1A34, 0xFFFFFFFF, 0x200),
      rebuilt(7, 0, 0, false),
      failed(Stage::unpack, "refused game.nds: header CRC 0x1234, expected 0x4321"),
      failed(Stage::rebuild, "cannot read arm7.bin: No such file", Failure::no_arm7),
      refused(Refusal::overlaps_arm9, checked(false, DsiNote::none)),
      refused(Refusal::bad_elf, std::nullopt),
      with(rebuilt(1, 2, 0), checked(true, DsiNote::arm7i_left_out)),
      with(rebuilt(1, 2, 0), checked(false, DsiNote::arm7i_kept, 0x037F8000, 0x02380000)),
      recorded(UndoRecord::kept),
      recorded(UndoRecord::too_large),
      undone(false),
      undone(true),
      failed(Stage::undo, "game.nds is neither the patched nor the original image",
             Failure::undo_mismatch),
      failed(Stage::rebuild, "cannot write deruzuz.undo: Disk full", Failure::undo_unwritable),
  };
  for (const Line& line : lines) {
    const std::string text = format_line(line);
    SCOPED_TRACE(text);
    ASSERT_EQ(text.back(), '\n');
    EXPECT_EQ(text.find('\n'), text.size() - 1) << "one line";
    const std::optional<Line> back = parse_line(bare(line));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->stage, line.stage);
    EXPECT_EQ(back->state, line.state);
    EXPECT_EQ(back->reason, line.reason);
    EXPECT_EQ(back->arm7_before, line.arm7_before);
    EXPECT_EQ(back->arm7_after, line.arm7_after);
    EXPECT_EQ(back->moved_by, line.moved_by);
    EXPECT_EQ(back->layout_kept, line.layout_kept);
    EXPECT_EQ(back->undo, line.undo);
    EXPECT_EQ(back->undo_unchanged, line.undo_unchanged);
    EXPECT_EQ(back->failure, line.failure);
    EXPECT_EQ(back->refusal, line.refusal);
    EXPECT_EQ(back->check, line.check);
  }
  const std::string text = format_line(rebuilt(6708, 7000, 512));
  EXPECT_EQ(text.substr(0, text.size() - 9),
            "ndstool-result 4 rebuild ok arm7 6708 7000 moved 512 layout kept undo none #");
  EXPECT_NE(format_line(recorded(UndoRecord::too_large)).find(" layout kept undo too-large #"),
            std::string::npos);
  EXPECT_EQ(format_line(undone(true)).substr(0, 34), "ndstool-result 4 undo ok unchanged");
  const std::string coded = format_line(
      with(rebuilt(1, 2, 0), checked(false, DsiNote::arm7i_kept, 0x037F8000, 0x02380000)));
  EXPECT_NE(coded.find(" from binary runtimes blocksds sdk-03027531 address "
                       "0x037F8000-0x02380000 dsi arm7i-kept #"),
            std::string::npos)
      << coded;
}

TEST(ResultLine, ReasonsWithAnyCharactersSurviveOnOneLine) {
  const std::string reasons[] = {
      "cannot read /롬/게임 100%.nds: No such file",  // Korean, UTF-8
      "tab\there, CR\r LF\n and a backslash \\ and \\x41",
      "control \x01\x1F\x7F and a NUL \0 inside"s,
      "not UTF-8: \xC7\xD1\xB1\xB9 (CP949) and a lone \x80 and \xED\xA0\x80 (a surrogate)",
      "\xF0\x9F\x8E\xAE astral, # not the checksum #0000000",
  };
  for (const std::string& reason : reasons) {
    const Line line = failed(Stage::rebuild, reason);
    const std::string text = format_line(line);
    SCOPED_TRACE(text);
    EXPECT_EQ(text.find('\n'), text.size() - 1);
    EXPECT_EQ(text.find('\r'), std::string::npos);
    EXPECT_EQ(text.find('\t'), std::string::npos);
    const std::optional<Line> back = parse_line(bare(line));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->reason, reason);
  }
  // UTF-8 stays readable as it is; other bytes are escaped.
  EXPECT_NE(format_line(failed(Stage::unpack, "게임")).find("게임"), std::string::npos);
  EXPECT_NE(format_line(failed(Stage::unpack, "\xC7\xD1")).find("\\xC7\\xD1"), std::string::npos);
}

// `body` sealed with its checksum, worked out here on its own: CRC-32
// (reflected 0xEDB88320) in eight upper-case hex digits.
std::string sealed(const std::string& body) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (char c : body) {
    crc ^= static_cast<unsigned char>(c);
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1u) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
  }
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(~crc));
  return body + " #" + hex;
}

TEST(ResultLine, OnlyTheWayItIsWrittenIsRead) {
  const std::string good = bare(rebuilt(100, 200, 0));
  ASSERT_TRUE(parse_line(good));
  EXPECT_EQ(sealed("ndstool-result 4 unpack ok"), bare(plain(Stage::unpack, State::ok)));
  const std::string refused[] = {
      "",
      "ndstool-result 4 unpack ok",          // no checksum
      good.substr(0, good.size() - 1),       // checksum cut short
      good + "0",                            // a digit too many
      good + " ",                            // trailing space
      " " + good,                            // leading space
      "ndstool-result 2" + good.substr(16),  // another version
  };
  for (const std::string& text : refused) EXPECT_FALSE(parse_line(text)) << text;

  // Any single bit changed is seen, in the words and in the checksum.
  for (std::size_t i = 0; i < good.size(); ++i) {
    std::string damaged = good;
    damaged[i] = static_cast<char>(damaged[i] ^ 0x01);
    EXPECT_FALSE(parse_line(damaged)) << damaged;
  }
  // Lower-case hex digits are not how it is written.
  std::string lower = sealed("ndstool-result 4 rebuild committing");
  ASSERT_TRUE(parse_line(lower));
  for (std::size_t i = lower.size() - 8; i < lower.size(); ++i) {
    if (lower[i] >= 'A' && lower[i] <= 'F') lower[i] = static_cast<char>(lower[i] - 'A' + 'a');
  }
  if (lower != sealed("ndstool-result 4 rebuild committing")) {
    EXPECT_FALSE(parse_line(lower));
  }
}

TEST(ResultLine, MalformedWordsAreRefusedEvenWithAValidChecksum) {
  const std::string kOk = "ndstool-result 4 rebuild ok arm7 1 2 moved 0 layout kept undo none ";
  const std::string bodies[] = {
      "ndstool-result 4 unpack committing",
      "ndstool-result 4 unpack ok arm7 1 2 moved 0 layout kept",
      "ndstool-result 4 unpack ok ",
      "ndstool-result 4 rebuild ok",
      "ndstool-result 4 rebuild ok arm7 01 2 moved 0 layout kept undo none",
      "ndstool-result 4 rebuild ok arm7 1 2 moved 0 layout kept undo none extra",
      "ndstool-result 4 rebuild ok arm7 1 2 moved 0 layout kept",
      "ndstool-result 4 rebuild ok arm7 1 2 moved 0 layout kept undo maybe",
      "ndstool-result 4 rebuild ok arm7 1 4294967296 moved 0 layout kept undo none",
      "ndstool-result 4 rebuild ok arm7 1 -2 moved 0 layout kept undo none",
      "ndstool-result 4 rebuild ok arm7 1 2 moved 0 layout lost undo none",
      "ndstool-result 4 rebuild ok  arm7 1 2 moved 0 layout kept undo none",
      "ndstool-result 4 rebuild failed ",
      "ndstool-result 4 rebuild failed",
      "ndstool-result 4 rebuild failed other reason bad \\q escape",
      "ndstool-result 4 rebuild failed other reason unknown \\z escape",
      "ndstool-result 4 rebuild failed other reason cut \\x4",
      "ndstool-result 4 rebuild failed other reason ends in \\",
      "ndstool-result 4 rebuild failed other reason lower-case \\x1f",
      "ndstool-result 4 rebuild failed other reason needless \\x41 escape",
      "ndstool-result 4 rebuild failed other reason UTF-8 escaped \\xEA\\xB2\\x8C",
      "ndstool-result 4 rebuild failed other reason raw\ttab",
      "ndstool-result 4 rebuild failed other reason raw \xC7 byte",
      "ndstool-result 4 rebuild failed other",
      "ndstool-result 4 rebuild failed other reason ",
      "ndstool-result 4 rebuild failed why reason lost",
      "ndstool-result 4 rebuild failed other refused empty reason x",
      "ndstool-result 4 rebuild failed arm7-refused reason x",
      "ndstool-result 4 rebuild failed arm7-refused refused huge reason x",
      kOk + "from elf",
      kOk + "from elf runtimes sdk-00000000 unknown address same dsi none",
      kOk + "from elf runtimes sdk-0302abcd unknown address same dsi none",
      kOk + "from binary runtimes libnds libnds address 0x037F8000-0x2380000 dsi none",
      kOk + "from binary runtimes libnds libnds address same dsi maybe",
      "ndstool-result 4 patch ok",
      "ndstool-result 4 undo ok",
      "ndstool-result 4 undo ok restored extra",
      "ndstool-result 4 undo ok kept",
      "ndstool-result 4 undo committing",
      "ndstool-result 4 unpack ok restored",
      "ndstool-result 4 unpack OK",
  };
  for (const std::string& body : bodies) EXPECT_FALSE(parse_line(sealed(body))) << body;
  EXPECT_TRUE(parse_line(sealed("ndstool-result 4 rebuild failed other reason ok \\x1F and \\\\")));
}

TEST(ResultReport, EachWayARunEndsIsToldApart) {
  const Line unpacked = plain(Stage::unpack, State::ok);
  const Line committing = plain(Stage::rebuild, State::committing);
  const Line done = rebuilt(6708, 9000, 0x400);
  const Line unpack_failed = failed(Stage::unpack, "refused game.nds: not a DS image");
  const Line rebuild_failed = failed(Stage::rebuild, "cannot read arm7.bin: No such file");
  const Line rename_failed = failed(Stage::rebuild, "cannot replace game.nds: File is in use");

  Report r = read_report(file_of({unpacked, committing, done}));
  EXPECT_EQ(r.outcome, Outcome::patched);
  EXPECT_EQ(r.line.arm7_before, 6708u);
  EXPECT_EQ(r.line.arm7_after, 9000u);
  EXPECT_EQ(r.line.moved_by, 0x400u);

  // The first failing stage gives the reason: after a failed unpack, the
  // rebuild's "nothing to rebuild" says nothing new.
  r = read_report(file_of({unpack_failed, rebuild_failed}));
  EXPECT_EQ(r.outcome, Outcome::failed);
  EXPECT_EQ(r.line.reason, unpack_failed.reason);
  EXPECT_EQ(read_report(file_of({unpack_failed})).line.reason, unpack_failed.reason);
  EXPECT_EQ(read_report(file_of({unpacked, rebuild_failed})).line.reason, rebuild_failed.reason);
  r = read_report(file_of({unpacked, committing, rename_failed}));
  EXPECT_EQ(r.outcome, Outcome::failed);
  EXPECT_EQ(r.line.reason, rename_failed.reason);

  EXPECT_EQ(read_report("").outcome, Outcome::no_report);
  EXPECT_EQ(read_report(file_of({unpacked})).outcome, Outcome::no_rebuild);
  // Stopped between "committing" and its outcome: it cannot be told.
  EXPECT_EQ(read_report(file_of({unpacked, committing})).outcome, Outcome::unknown);
}

TEST(ResultReport, DamagedOrStrangeFilesAreNeverAPatch) {
  const std::string whole = file_of({plain(Stage::unpack, State::ok),
                                     plain(Stage::rebuild, State::committing), rebuilt(1, 2, 0)});
  // Cut anywhere: before "committing" unreadable, after it unknown.
  const std::size_t committing_end = whole.find('\n', whole.find('\n') + 1) + 1;
  for (std::size_t cut = 1; cut < whole.size(); ++cut) {
    const Outcome outcome = read_report(whole.substr(0, cut)).outcome;
    SCOPED_TRACE(cut);
    EXPECT_NE(outcome, Outcome::patched);
    if (cut >= committing_end) {
      EXPECT_EQ(outcome, Outcome::unknown);
    }
  }
  // Without its last LF the last line is not whole.
  EXPECT_EQ(read_report(whole.substr(0, whole.size() - 1)).outcome, Outcome::unknown);
  // Garbage, CR LF line ends, a second run's lines, lines out of order.
  const Line unpacked = plain(Stage::unpack, State::ok);
  EXPECT_EQ(read_report("garbage\n").outcome, Outcome::unreadable);
  EXPECT_EQ(read_report(std::string(1000, '\0')).outcome, Outcome::unreadable);
  std::string crlf = format_line(unpacked);
  crlf.back() = '\r';  // LF -> CR LF (insert() trips a false -Wrestrict of g++ 12 at -O3)
  crlf += '\n';
  EXPECT_EQ(read_report(crlf).outcome, Outcome::unreadable);
  EXPECT_EQ(read_report(file_of({unpacked, unpacked})).outcome, Outcome::unreadable);
  EXPECT_EQ(read_report(file_of({rebuilt(1, 2, 0)})).outcome, Outcome::unreadable);
  EXPECT_EQ(read_report(whole + whole).outcome, Outcome::unknown);
  EXPECT_EQ(
      read_report(file_of({plain(Stage::rebuild, State::committing), rebuilt(1, 2, 0)})).outcome,
      Outcome::unknown);
  // Larger than any report.
  std::string huge;
  while (huge.size() <= kMaxFileSize) huge += format_line(unpacked);
  EXPECT_EQ(read_report(huge).outcome, Outcome::unreadable);
}

TEST(UndoReport, OneUndoLineIsReadAndAnythingElseIsNot) {
  UndoReport r = read_undo_report(format_line(undone(false)));
  EXPECT_EQ(r.outcome, UndoOutcome::restored);
  EXPECT_EQ(read_undo_report(format_line(undone(true))).outcome, UndoOutcome::unchanged);
  const Line mismatch = failed(Stage::undo, "neither image", Failure::undo_mismatch);
  r = read_undo_report(format_line(mismatch));
  EXPECT_EQ(r.outcome, UndoOutcome::failed);
  EXPECT_EQ(r.line.failure, Failure::undo_mismatch);
  EXPECT_EQ(r.line.reason, "neither image");

  EXPECT_EQ(read_undo_report("").outcome, UndoOutcome::no_report);
  const std::string whole = format_line(undone(false));
  for (std::size_t cut = 1; cut < whole.size(); ++cut) {
    EXPECT_EQ(read_undo_report(whole.substr(0, cut)).outcome, UndoOutcome::unreadable) << cut;
  }
  const std::string strange[] = {
      whole + whole,
      format_line(plain(Stage::unpack, State::ok)),
      format_line(recorded(UndoRecord::kept)),
      "garbage\n",
  };
  for (const std::string& file : strange) {
    EXPECT_EQ(read_undo_report(file).outcome, UndoOutcome::unreadable) << file;
  }
  // An undo line is no part of a patch's report.
  EXPECT_EQ(read_report(file_of({plain(Stage::unpack, State::ok), undone(false)})).outcome,
            Outcome::unreadable);
}

}  // namespace
}  // namespace result_file
