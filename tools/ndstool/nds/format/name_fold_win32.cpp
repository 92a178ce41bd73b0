// How Windows file systems compare names (and Wine, which imitates them on
// Linux file systems): letter case is ignored, beyond ASCII too.
#include <windows.h>

#include "nds/format/disk_names.h"

namespace nds {

std::string merge_key(std::string_view disk) {
  if (disk.empty()) return {};
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, disk.data(), static_cast<int>(disk.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, disk.data(), static_cast<int>(disk.size()), wide.data(), n);
  std::wstring upper(wide.size(), L'\0');
  const int mapped = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, wide.data(), n,
                                   upper.data(), n, nullptr, nullptr, 0);
  if (mapped <= 0) upper = wide;  // cannot happen for valid text; ASCII folding below still applies
  std::string key;
  for (wchar_t c : upper) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 32);
    key += static_cast<char>(c & 0xFF);
    key += static_cast<char>((c >> 8) & 0xFF);
  }
  return key;
}

}  // namespace nds
