// UTF-8, the text of FLTK and of ndstool's result file, and the bytes of
// every file name on Linux, to and from the program's wide text (UTF-32 on
// Linux, UTF-16 on Windows).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace voderer {

// Unpaired surrogates become U+FFFD.
std::string ToUtf8(std::wstring_view text);
// Bytes that are not UTF-8 become U+FFFD.
std::wstring FromUtf8(std::string_view text);

// Exactly or not at all, for a file name that must name the very file: nothing
// where ToUtf8 or FromUtf8 would put U+FFFD.
std::optional<std::string> ToUtf8Exact(std::wstring_view text);
std::optional<std::wstring> FromUtf8Exact(std::string_view text);

}  // namespace voderer
