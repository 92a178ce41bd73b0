// Narrow text in the system's ANSI code page.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace voderer::win32 {

// `text` in the ANSI code page, or nothing when a character has no exact
// form there (never a best-fit look-alike, never the default character).
std::optional<std::string> ToAnsiCodePage(std::wstring_view text);

// The short (8.3) name of an existing file when the code page can carry
// it, or nothing.
std::optional<std::wstring> ShortPathInCodePage(const std::wstring& path);

}  // namespace voderer::win32
