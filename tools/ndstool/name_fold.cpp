// How the file systems of this OS compare names. Windows (and Wine, which
// imitates it on Linux file systems) ignores letter case, beyond ASCII too;
// Linux file systems compare bytes.
#include "disk_names.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace nds {

#ifdef _WIN32
std::string merge_key(std::string_view disk) {
  if (disk.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, disk.data(), static_cast<int>(disk.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, disk.data(), static_cast<int>(disk.size()), wide.data(), n);
  std::wstring upper(wide.size(), L'\0');
  int m = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, wide.data(), n, upper.data(), n,
                        nullptr, nullptr, 0);
  if (m <= 0) upper = wide;  // cannot happen for valid text; ASCII folding below still applies
  std::string key;
  for (wchar_t c : upper) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 32);
    key += static_cast<char>(c & 0xFF);
    key += static_cast<char>((c >> 8) & 0xFF);
  }
  return key;
}
#else
std::string merge_key(std::string_view disk) {
  return std::string(disk);
}
#endif

}  // namespace nds
