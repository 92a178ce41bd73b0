#include "texts/format.h"

#include <optional>

namespace voderer::texts {

namespace {

struct Placeholder {
  std::size_t length = 0;    // of the directive, from its '%'
  std::size_t argument = 0;  // 1-based; 0 for "%%"
  bool in_turn = false;      // a plain "%s"
};

// The directive at pattern[at] (a '%'), counting `next` for a plain "%s".
std::optional<Placeholder> DirectiveAt(std::wstring_view pattern, std::size_t at,
                                       std::size_t next) {
  const std::wstring_view rest = pattern.substr(at + 1);
  if (rest.starts_with(L'%')) return Placeholder{2, 0, false};
  if (rest.starts_with(L's')) return Placeholder{2, next, true};
  std::size_t digits = 0;
  std::size_t number = 0;
  while (digits < rest.size() && digits < 3 && rest[digits] >= L'0' && rest[digits] <= L'9') {
    number = number * 10 + static_cast<std::size_t>(rest[digits] - L'0');
    ++digits;
  }
  if (digits == 0 || number == 0 || rest.substr(digits, 2) != L"$s") return std::nullopt;
  return Placeholder{digits + 3, number, false};
}

}  // namespace

std::wstring FillPlaceholders(std::wstring_view pattern, std::span<const std::wstring_view> args) {
  std::wstring out;
  std::size_t next = 1;
  for (std::size_t at = 0; at < pattern.size();) {
    const std::optional<Placeholder> directive =
        pattern[at] == L'%' ? DirectiveAt(pattern, at, next) : std::nullopt;
    if (!directive || directive->argument > args.size()) {
      out += pattern[at++];
      continue;
    }
    if (directive->argument == 0) {
      out += L'%';
    } else {
      out += args[directive->argument - 1];
      if (directive->in_turn) ++next;
    }
    at += directive->length;
  }
  return out;
}

std::vector<std::size_t> PlaceholderArguments(std::wstring_view pattern) {
  std::vector<std::size_t> arguments;
  std::size_t next = 1;
  for (std::size_t at = 0; at < pattern.size(); ++at) {
    if (pattern[at] != L'%') continue;
    const std::optional<Placeholder> directive = DirectiveAt(pattern, at, next);
    if (!directive) continue;
    if (directive->argument != 0) arguments.push_back(directive->argument);
    if (directive->in_turn) ++next;
    at += directive->length - 1;
  }
  return arguments;
}

}  // namespace voderer::texts
