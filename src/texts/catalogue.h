// The program's own texts in the user's language. Every text of a box comes
// from here, apart from those the program's design fixes (the window title,
// the captions, the Open dialog's filter, the script lines, the About text,
// the run-time error box's head).
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "texts/messages.h"

namespace voderer::texts {

// Every later text in the language whose catalogue has `code`, English for a
// code that none has. Called at the start, before any other thread runs.
void UseLanguage(std::string_view code);

// The code of the catalogue in use: "en" until UseLanguage chose another.
std::string_view LanguageInUse();

// Text `id`, its placeholders filled from `args` (format.h). A text the
// language does not translate is shown in English.
std::wstring Text(Msg id, std::initializer_list<std::wstring_view> args = {});

// The form of a text with plural forms that goes with `count`.
std::wstring Text(Msg id, unsigned long count, std::initializer_list<std::wstring_view> args);

}  // namespace voderer::texts
