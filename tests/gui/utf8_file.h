// For the Wine helpers of the window's tests: what they read off the screen
// goes to a file as UTF-8, which the test scripts grep.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

// Writes `text` as UTF-8 to `path`; false when it could not.
inline bool WriteUtf8File(const wchar_t* path, const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size,
                      nullptr, nullptr);
  FILE* out = _wfopen(path, L"wb");
  if (out == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  return std::fclose(out) == 0 && written;
}
