// UTF-8, the text of FLTK and of ndstool's result file, to and from the
// program's wide text (UTF-32 on Linux, UTF-16 on Windows).
#pragma once

#include <string>
#include <string_view>

namespace voderer {

// Unpaired surrogates become U+FFFD.
std::string ToUtf8(std::wstring_view text);
// Bytes that are not UTF-8 become U+FFFD.
std::wstring FromUtf8(std::string_view text);

}  // namespace voderer
