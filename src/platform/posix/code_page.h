// Narrow text in the locale's encoding, the code page of a POSIX system.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace voderer::posix {

// `text` in the encoding of the user's locale (LC_CTYPE from the
// environment), or nothing when any character has no exact form there.
std::optional<std::string> ToLocaleEncoding(std::wstring_view text);

// The other way: bytes in the locale's encoding (a file name) as wide text,
// or nothing when they are not valid there.
std::optional<std::wstring> FromLocaleEncoding(std::string_view bytes);

}  // namespace voderer::posix
