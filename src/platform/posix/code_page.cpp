#include "platform/posix/code_page.h"

#include <climits>
#include <clocale>
#include <cwchar>
#include <locale.h>

namespace voderer::posix {

namespace {

// The user's LC_CTYPE, made once. It is applied per call with uselocale so
// that the rest of the process (the window toolkit, printf) keeps its own.
locale_t UserLocale() {
  static const locale_t locale = [] {
    locale_t made = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
    // An environment naming a locale that is not installed: plain "C".
    if (made == static_cast<locale_t>(nullptr)) {
      made = newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(nullptr));
    }
    return made;
  }();
  return locale;
}

class ScopedLocale {
 public:
  explicit ScopedLocale(locale_t locale) : previous_(uselocale(locale)) {}
  ~ScopedLocale() { uselocale(previous_); }
  ScopedLocale(const ScopedLocale&) = delete;
  ScopedLocale& operator=(const ScopedLocale&) = delete;

 private:
  locale_t previous_;
};

}  // namespace

std::optional<std::string> ToLocaleEncoding(std::wstring_view text) {
  ScopedLocale scoped(UserLocale());
  std::string out;
  out.reserve(text.size());
  std::mbstate_t state{};
  char buffer[MB_LEN_MAX];
  for (wchar_t c : text) {
    const std::size_t n = std::wcrtomb(buffer, c, &state);
    if (n == static_cast<std::size_t>(-1)) return std::nullopt;
    out.append(buffer, n);
  }
  // Stateful encodings end in their initial shift state.
  const std::size_t n = std::wcrtomb(buffer, L'\0', &state);
  if (n == static_cast<std::size_t>(-1)) return std::nullopt;
  out.append(buffer, n - 1);
  return out;
}

std::optional<std::wstring> FromLocaleEncoding(std::string_view bytes) {
  ScopedLocale scoped(UserLocale());
  std::wstring out;
  out.reserve(bytes.size());
  std::mbstate_t state{};
  while (!bytes.empty()) {
    wchar_t c = 0;
    const std::size_t n = std::mbrtowc(&c, bytes.data(), bytes.size(), &state);
    if (n == static_cast<std::size_t>(-1) || n == static_cast<std::size_t>(-2)) return std::nullopt;
    out += c;
    bytes.remove_prefix(n == 0 ? 1 : n);
  }
  return out;
}

}  // namespace voderer::posix
