#include "batch_line.h"

#include <algorithm>
#include <cctype>

namespace runbat {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string Upper(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), [](char c) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  });
  return out;
}

// `%%` -> `%`; `%1`, `%*` and `%NAME%` -> nothing; a lone `%` -> nothing.
std::string ExpandPercents(std::string_view line) {
  std::string out;
  out.reserve(line.size());
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] != '%') {
      out += line[i];
      continue;
    }
    if (i + 1 >= line.size()) break;
    const char next = line[i + 1];
    if (next == '%') {
      out += '%';
      ++i;
    } else if (next == '*' || std::isdigit(static_cast<unsigned char>(next))) {
      ++i;
    } else {
      const std::size_t close = line.find('%', i + 1);
      if (close != std::string_view::npos) i = close;
    }
  }
  return out;
}

struct Word {
  std::string text;            // quotes removed, '\' turned into '/' outside them
  bool quoted = false;         // any part stood between quotes
  bool leading_slash = false;  // began with an unquoted '/': a switch
};

std::vector<Word> SplitWords(std::string_view rest) {
  std::vector<Word> words;
  std::size_t i = 0;
  while (i < rest.size()) {
    while (i < rest.size() && IsBlank(rest[i])) ++i;
    if (i >= rest.size()) break;
    Word word;
    word.leading_slash = rest[i] == '/';
    bool in_quotes = false;
    for (; i < rest.size() && (in_quotes || !IsBlank(rest[i])); ++i) {
      const char c = rest[i];
      if (c == '"') {
        in_quotes = !in_quotes;
        word.quoted = true;
      } else if (c == '\\' && !in_quotes) {
        word.text += '/';
      } else {
        word.text += c;
      }
    }
    words.push_back(std::move(word));
  }
  return words;
}

Verb BuiltIn(const std::string& name) {
  if (name == "ECHO") return Verb::kEcho;
  if (name == "RD" || name == "RMDIR") return Verb::kRd;
  if (name == "MD" || name == "MKDIR") return Verb::kMkDir;
  if (name == "CD" || name == "CHDIR") return Verb::kCd;
  if (name == "DEL" || name == "ERASE") return Verb::kDel;
  return Verb::kExternal;
}

}  // namespace

BatchLine ParseBatchLine(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);

  BatchLine parsed;
  parsed.text = ExpandPercents(line);
  std::string_view rest = parsed.text;
  while (!rest.empty() && (IsBlank(rest.front()) || rest.front() == '@')) {
    if (rest.front() == '@') parsed.quiet = true;
    rest.remove_prefix(1);
  }
  if (rest.empty() || rest.front() == ':') return parsed;

  // The command word ends at a blank; the words after it are its arguments.
  std::size_t name_end = 0;
  while (name_end < rest.size() && !IsBlank(rest[name_end]) && rest[name_end] != '"') ++name_end;
  const std::string name = Upper(rest.substr(0, name_end));
  if (name == "REM") return parsed;

  parsed.verb = BuiltIn(name);
  if (parsed.verb == Verb::kEcho) {
    std::string_view text = rest.substr(name_end);
    if (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    parsed.echo_text = std::string(text);
    return parsed;
  }

  std::vector<Word> words = SplitWords(rest);
  if (parsed.verb == Verb::kExternal) {
    parsed.program = std::move(words.front().text);
    for (std::size_t i = 1; i < words.size(); ++i) parsed.args.push_back(std::move(words[i].text));
    return parsed;
  }
  for (std::size_t i = 1; i < words.size(); ++i) {
    Word& word = words[i];
    if (word.leading_slash && !word.quoted && word.text.size() > 1) {
      parsed.switches.push_back(Upper(std::string_view(word.text).substr(1)));
    } else {
      parsed.args.push_back(std::move(word.text));
    }
  }
  return parsed;
}

}  // namespace runbat
