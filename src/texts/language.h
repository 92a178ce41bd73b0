// Which catalogue speaks the user's language. The backends ask the system
// for the user's languages (backend.h); the choice among the catalogues is
// made here, the same on every system.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace voderer::texts {

// The code of the catalogue for the first of `wanted` (the user's languages,
// most wanted first, as locale names such as "ko_KR.UTF-8" or tags such as
// "ko-KR") that one of `codes` matches: the whole name ("pt_BR") before its
// language alone ("pt"), letter case aside. "en" when none matches.
std::string_view ChooseLanguage(std::span<const std::string> wanted,
                                std::span<const std::string_view> codes);

// The same over the catalogues the program has.
std::string_view ChooseLanguage(std::span<const std::string> wanted);

}  // namespace voderer::texts
