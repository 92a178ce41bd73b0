#include "platform/win32/code_page.h"

#include <windows.h>

#include <climits>

namespace voderer::win32 {

namespace {

std::wstring FromCodePage(UINT code_page, const std::string& bytes) {
  const int length = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, bytes.data(),
                                         static_cast<int>(bytes.size()), nullptr, 0);
  if (length <= 0) return {};
  std::wstring text(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                      text.data(), length);
  return text;
}

}  // namespace

std::optional<std::string> ToAnsiCodePage(std::wstring_view text) {
  if (text.empty()) return std::string();
  if (text.size() > static_cast<std::size_t>(INT_MAX / 4)) return std::nullopt;
  const UINT code_page = GetACP();
  // UTF-8 (and the other code pages that take no flags) cannot report a
  // substitution; for them the round trip below is the only check.
  const bool utf8 = code_page == CP_UTF8;
  const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL used_default = FALSE;
  BOOL* used_default_out = utf8 ? nullptr : &used_default;
  const int wide_length = static_cast<int>(text.size());
  const int length = WideCharToMultiByte(code_page, flags, text.data(), wide_length, nullptr, 0,
                                         nullptr, used_default_out);
  if (length <= 0 || used_default) return std::nullopt;
  std::string bytes(static_cast<std::size_t>(length), '\0');
  if (WideCharToMultiByte(code_page, flags, text.data(), wide_length, bytes.data(), length, nullptr,
                          used_default_out) != length ||
      used_default) {
    return std::nullopt;
  }
  if (FromCodePage(code_page, bytes) != text) return std::nullopt;
  return bytes;
}

std::optional<std::wstring> ShortPathInCodePage(const std::wstring& path) {
  const DWORD needed = GetShortPathNameW(path.c_str(), nullptr, 0);
  if (needed == 0) return std::nullopt;
  std::wstring short_path(needed, L'\0');
  const DWORD length = GetShortPathNameW(path.c_str(), short_path.data(), needed);
  if (length == 0 || length >= needed) return std::nullopt;
  short_path.resize(length);
  if (!ToAnsiCodePage(short_path)) return std::nullopt;
  return short_path;
}

}  // namespace voderer::win32
