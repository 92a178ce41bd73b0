// FLTK takes and gives UTF-8; the program holds wide text.
#pragma once

#include <string>
#include <string_view>

namespace voderer::frontend {

std::string ToUtf8(std::wstring_view text);
// Invalid bytes become U+FFFD.
std::wstring FromUtf8(std::string_view text);

}  // namespace voderer::frontend
