#include "result_file.h"

#include <array>
#include <vector>

namespace result_file {

namespace {

constexpr std::string_view kMagic = "ndstool-result 4 ";
constexpr std::string_view kCrcMark = " #";
constexpr std::size_t kCrcDigits = 8;
constexpr char kHex[] = "0123456789ABCDEF";

std::uint32_t crc32(std::string_view text) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (char c : text) {
    crc ^= static_cast<unsigned char>(c);
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1u) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
  }
  return ~crc;
}

// Length of the UTF-8 sequence starting at text[i], or 0 when the bytes
// there are not one (overlong forms and surrogates included).
std::size_t utf8_length(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
  const unsigned lead = byte(0);
  std::size_t length = 0;
  std::uint32_t min = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, min = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, min = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, min = 0x10000;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  std::uint32_t code = lead & (0x7Fu >> length);
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(k) & 0xC0u) != 0x80u) return 0;
    code = (code << 6) | (byte(k) & 0x3Fu);
  }
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

void append_escaped(std::string& out, std::string_view reason) {
  for (std::size_t i = 0; i < reason.size();) {
    const auto c = static_cast<unsigned char>(reason[i]);
    if (c >= 0x80) {
      if (const std::size_t n = utf8_length(reason, i); n != 0) {
        out.append(reason.substr(i, n));
        i += n;
        continue;
      }
    }
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default:
        if (c < 0x20 || c >= 0x7F) {
          out += "\\x";
          out += kHex[c >> 4];
          out += kHex[c & 0xF];
        } else {
          out += static_cast<char>(c);
        }
    }
    ++i;
  }
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The escapes undone; nothing for a backslash that starts no escape. That
// the text was written canonically is checked by writing it again.
std::optional<std::string> unescape(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (++i == text.size()) return std::nullopt;
    switch (text[i]) {
      case '\\': out += '\\'; break;
      case 't': out += '\t'; break;
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 'x': {
        if (i + 2 >= text.size()) return std::nullopt;
        const int high = hex_digit(text[i + 1]);
        const int low = hex_digit(text[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
        break;
      }
      default: return std::nullopt;
    }
  }
  return out;
}

std::optional<std::uint32_t> parse_number(std::string_view text) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (value > 0xFFFFFFFFu) return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

// Eight upper-case hex digits, as hex8 writes them.
std::optional<std::uint32_t> parse_hex8(std::string_view text) {
  if (text.size() != 8) return std::nullopt;
  std::uint32_t value = 0;
  for (char c : text) {
    const int digit = hex_digit(c);
    if (digit < 0) return std::nullopt;
    value = (value << 4) | static_cast<std::uint32_t>(digit);
  }
  return value;
}

std::string hex8(std::uint32_t value) {
  std::string out;
  for (int shift = 28; shift >= 0; shift -= 4) out += kHex[(value >> shift) & 0xFu];
  return out;
}

// Splits off the next space-separated word.
std::string_view next_word(std::string_view& rest) {
  const std::size_t space = rest.find(' ');
  const std::string_view word = rest.substr(0, space);
  rest = space == std::string_view::npos ? std::string_view() : rest.substr(space + 1);
  return word;
}

// Each code's word, in the order of its enum.
constexpr std::string_view kFailureWords[] = {
    "other",     "no-rom",       "no-arm7",         "not-ds-image",  "in-use",         "disk-full",
    "read-only", "arm7-refused", "undo-unwritable", "undo-mismatch", "undo-bad-record"};
constexpr std::string_view kRefusalWords[] = {"empty",     "ds-image",      "own-arm9",
                                              "too-large", "overlaps-arm9", "bad-elf"};
constexpr std::string_view kRuntimeWords[] = {"unknown", "sdk",      "calico",
                                              "libnds",  "blocksds", "libnds-or-blocksds"};
constexpr std::string_view kUndoRecordWords[] = {"none", "kept", "too-large"};
constexpr std::string_view kStageWords[] = {"unpack", "rebuild", "undo"};
constexpr std::string_view kDsiWords[] = {"none", "arm7i-follows", "arm7i-replaced",
                                          "arm7i-left-out", "arm7i-kept"};

template <typename Code, std::size_t N>
std::optional<Code> code_named(const std::string_view (&words)[N], std::string_view word) {
  for (std::size_t i = 0; i < N; ++i)
    if (words[i] == word) return static_cast<Code>(i);
  return std::nullopt;
}

std::optional<RuntimeCode> parse_runtime(std::string_view word) {
  constexpr std::string_view kSdkVersion = "sdk-";
  if (word.substr(0, kSdkVersion.size()) == kSdkVersion) {
    const auto version = parse_hex8(word.substr(kSdkVersion.size()));
    if (!version || *version == 0) return std::nullopt;
    return RuntimeCode{Runtime::sdk, *version};
  }
  const auto runtime = code_named<Runtime>(kRuntimeWords, word);
  if (!runtime) return std::nullopt;
  return RuntimeCode{*runtime, 0};
}

std::string check_words(const Arm7Check& check) {
  std::string out = check.elf ? " from elf" : " from binary";
  out += " runtimes " + runtime_word(check.arm7) + " " + runtime_word(check.arm9);
  out += check.moved ? " address 0x" + hex8(check.from) + "-0x" + hex8(check.to) : " address same";
  out += " dsi ";
  out += dsi_word(check.dsi);
  return out;
}

// "from ... dsi NOTE", when the words start with it.
std::optional<Arm7Check> parse_check(std::string_view& rest) {
  Arm7Check check;
  if (next_word(rest) != "from") return std::nullopt;
  const std::string_view from = next_word(rest);
  if (from != "elf" && from != "binary") return std::nullopt;
  check.elf = from == "elf";
  if (next_word(rest) != "runtimes") return std::nullopt;
  const auto arm7 = parse_runtime(next_word(rest));
  const auto arm9 = parse_runtime(next_word(rest));
  if (!arm7 || !arm9 || next_word(rest) != "address") return std::nullopt;
  check.arm7 = *arm7;
  check.arm9 = *arm9;
  const std::string_view address = next_word(rest);
  if (address != "same") {
    const auto from_at =
        address.size() == 21 && address.substr(0, 2) == "0x" && address.substr(10, 3) == "-0x"
            ? parse_hex8(address.substr(2, 8))
            : std::nullopt;
    const auto to_at = from_at ? parse_hex8(address.substr(13)) : std::nullopt;
    if (!to_at) return std::nullopt;
    check.moved = true;
    check.from = *from_at;
    check.to = *to_at;
  }
  if (next_word(rest) != "dsi") return std::nullopt;
  const auto dsi = code_named<DsiNote>(kDsiWords, next_word(rest));
  if (!dsi) return std::nullopt;
  check.dsi = *dsi;
  return check;
}

// "arm7 OLD NEW moved BYTES layout kept|compact undo RECORD [CHECK]"
bool parse_rebuild_details(std::string_view rest, Line& line) {
  if (next_word(rest) != "arm7") return false;
  const auto before = parse_number(next_word(rest));
  const auto after = parse_number(next_word(rest));
  if (next_word(rest) != "moved") return false;
  const auto moved = parse_number(next_word(rest));
  if (next_word(rest) != "layout") return false;
  const std::string_view layout = next_word(rest);
  if (!before || !after || !moved) return false;
  if (layout != "kept" && layout != "compact") return false;
  if (next_word(rest) != "undo") return false;
  const auto undo = code_named<UndoRecord>(kUndoRecordWords, next_word(rest));
  if (!undo) return false;
  line.arm7_before = *before;
  line.arm7_after = *after;
  line.moved_by = *moved;
  line.layout_kept = layout == "kept";
  line.undo = *undo;
  if (rest.empty()) return true;
  line.check = parse_check(rest);
  return line.check && rest.empty();
}

// "FAILURE [refused REFUSAL] [CHECK] reason TEXT"
bool parse_failure_details(std::string_view rest, Line& line) {
  const auto failure = code_named<Failure>(kFailureWords, next_word(rest));
  if (!failure) return false;
  line.failure = *failure;
  if (line.failure == Failure::arm7_refused) {
    if (next_word(rest) != "refused") return false;
    line.refusal = code_named<Refusal>(kRefusalWords, next_word(rest));
    if (!line.refusal) return false;
  }
  if (rest.substr(0, 5) == "from ") {
    line.check = parse_check(rest);
    if (!line.check) return false;
  }
  if (next_word(rest) != "reason") return false;
  std::optional<std::string> reason = unescape(rest);
  if (!reason || reason->empty()) return false;
  line.reason = std::move(*reason);
  return true;
}

bool is(const Line& line, Stage stage, State state) {
  return line.stage == stage && line.state == state;
}

// The runs a script makes, as the lines they leave.
Report judge(const std::vector<Line>& lines) {
  const auto rest_is = [&](std::initializer_list<State> states) {
    if (lines.size() != states.size() + 1) return false;
    std::size_t i = 1;
    for (State state : states) {
      if (!is(lines[i++], Stage::rebuild, state)) return false;
    }
    return true;
  };
  if (lines.empty()) return {Outcome::no_report, {}};
  const Line& first = lines.front();
  if (is(first, Stage::unpack, State::failed) && (rest_is({}) || rest_is({State::failed}))) {
    return {Outcome::failed, first};
  }
  if (is(first, Stage::unpack, State::ok)) {
    if (rest_is({})) return {Outcome::no_rebuild, {}};
    if (rest_is({State::failed})) return {Outcome::failed, lines[1]};
    if (rest_is({State::committing})) return {Outcome::unknown, {}};
    if (rest_is({State::committing, State::failed})) return {Outcome::failed, lines[2]};
    if (rest_is({State::committing, State::ok})) return {Outcome::patched, lines[2]};
  }
  return {Outcome::unreadable, {}};
}

}  // namespace

std::string format_line(const Line& line) {
  std::string out(kMagic);
  out += kStageWords[static_cast<std::size_t>(line.stage)];
  switch (line.state) {
    case State::ok:
      out += " ok";
      if (line.stage == Stage::rebuild) {
        out += " arm7 " + std::to_string(line.arm7_before) + " " + std::to_string(line.arm7_after) +
               " moved " + std::to_string(line.moved_by) + " layout " +
               (line.layout_kept ? "kept" : "compact") + " undo ";
        out += undo_record_word(line.undo);
        if (line.check) out += check_words(*line.check);
      } else if (line.stage == Stage::undo) {
        out += line.undo_unchanged ? " unchanged" : " restored";
      }
      break;
    case State::committing: out += " committing"; break;
    case State::failed:
      out += " failed ";
      out += failure_word(line.failure);
      if (line.failure == Failure::arm7_refused) {
        out += " refused ";
        out += refusal_word(line.refusal.value_or(Refusal::empty));
      }
      if (line.check) out += check_words(*line.check);
      out += " reason ";
      append_escaped(out, line.reason);
      break;
  }
  const std::uint32_t crc = crc32(out);
  out += kCrcMark;
  out += hex8(crc);
  out += '\n';
  return out;
}

std::optional<Line> parse_line(std::string_view text) {
  if (text.size() < kCrcMark.size() + kCrcDigits) return std::nullopt;
  const std::string_view body = text.substr(0, text.size() - kCrcMark.size() - kCrcDigits);
  if (text.substr(body.size(), kCrcMark.size()) != kCrcMark) return std::nullopt;
  std::uint32_t crc = 0;
  for (char c : text.substr(text.size() - kCrcDigits)) {
    const int digit = hex_digit(c);
    if (digit < 0) return std::nullopt;
    crc = (crc << 4) | static_cast<std::uint32_t>(digit);
  }
  if (crc != crc32(body) || body.substr(0, kMagic.size()) != kMagic) return std::nullopt;

  std::string_view rest = body.substr(kMagic.size());
  Line line;
  const auto stage = code_named<Stage>(kStageWords, next_word(rest));
  const std::string_view state = next_word(rest);
  if (!stage) return std::nullopt;
  line.stage = *stage;
  if (state == "ok") {
    line.state = State::ok;
    if (line.stage == Stage::rebuild && !parse_rebuild_details(rest, line)) return std::nullopt;
    if (line.stage == Stage::undo) {
      const std::string_view how = next_word(rest);
      if (how != "restored" && how != "unchanged") return std::nullopt;
      line.undo_unchanged = how == "unchanged";
    }
  } else if (state == "failed") {
    line.state = State::failed;
    if (!parse_failure_details(rest, line)) return std::nullopt;
  } else if (state == "committing" && line.stage == Stage::rebuild) {
    line.state = State::committing;
  } else {
    return std::nullopt;
  }
  // Only the one way of writing each line counts: no stray spaces, leading
  // zeros, needless escapes or raw control characters.
  std::string again = format_line(line);
  again.pop_back();
  if (again != text) return std::nullopt;
  return line;
}

Report read_report(std::string_view file) {
  std::vector<Line> lines;
  bool damaged = file.size() > kMaxFileSize;
  while (!damaged && !file.empty()) {
    const std::size_t end = file.find('\n');
    std::optional<Line> line =
        end == std::string_view::npos ? std::nullopt : parse_line(file.substr(0, end));
    if (!line) {
      damaged = true;
      break;
    }
    lines.push_back(std::move(*line));
    file.remove_prefix(end + 1);
  }
  bool committing = false;
  for (const Line& line : lines) committing = committing || line.state == State::committing;
  if (damaged) return {committing ? Outcome::unknown : Outcome::unreadable, {}};
  Report report = judge(lines);
  // Lines in no order a run writes: once the rebuild had begun to replace
  // the image, whether it did cannot be told.
  if (report.outcome == Outcome::unreadable && committing) report.outcome = Outcome::unknown;
  return report;
}

UndoReport read_undo_report(std::string_view file) {
  if (file.empty()) return {UndoOutcome::no_report, {}};
  // One run of --undo writes exactly one line.
  const std::size_t end = file.find('\n');
  if (file.size() > kMaxFileSize || end != file.size() - 1) return {UndoOutcome::unreadable, {}};
  std::optional<Line> line = parse_line(file.substr(0, end));
  if (!line || line->stage != Stage::undo) return {UndoOutcome::unreadable, {}};
  if (line->state == State::failed) return {UndoOutcome::failed, std::move(*line)};
  const UndoOutcome outcome = line->undo_unchanged ? UndoOutcome::unchanged : UndoOutcome::restored;
  return {outcome, std::move(*line)};
}

std::string_view failure_word(Failure failure) {
  return kFailureWords[static_cast<std::size_t>(failure)];
}

std::string_view refusal_word(Refusal refusal) {
  return kRefusalWords[static_cast<std::size_t>(refusal)];
}

std::string_view dsi_word(DsiNote note) {
  return kDsiWords[static_cast<std::size_t>(note)];
}

std::string_view undo_record_word(UndoRecord record) {
  return kUndoRecordWords[static_cast<std::size_t>(record)];
}

std::string runtime_word(const RuntimeCode& runtime) {
  if (runtime.runtime == Runtime::sdk && runtime.sdk_version != 0)
    return "sdk-" + hex8(runtime.sdk_version);
  return std::string(kRuntimeWords[static_cast<std::size_t>(runtime.runtime)]);
}

bool runtimes_differ(const RuntimeCode& a, const RuntimeCode& b) {
  if (a.runtime == Runtime::unknown || b.runtime == Runtime::unknown) return false;
  if (a.runtime == b.runtime) return false;
  const auto may_be = [](Runtime vague, Runtime other) {
    return vague == Runtime::libnds_or_blocksds &&
           (other == Runtime::libnds || other == Runtime::blocksds);
  };
  return !may_be(a.runtime, b.runtime) && !may_be(b.runtime, a.runtime);
}

}  // namespace result_file
