// The user's languages on a POSIX system, found as gettext finds them.
#pragma once

#include <string>
#include <vector>

namespace voderer::posix {

// The values of LANGUAGE, LC_ALL, LC_MESSAGES and LANG (null: not set).
struct LanguageVariables {
  const char* language = nullptr;
  const char* lc_all = nullptr;
  const char* lc_messages = nullptr;
  const char* lang = nullptr;
};

// gettext's order: the locale of messages is the first of LC_ALL,
// LC_MESSAGES and LANG that is set and not empty. When it is "C" or "POSIX"
// (or none is set) the answer is English, whatever LANGUAGE says: nothing.
// Otherwise LANGUAGE's colon-separated list when it has one, else that
// locale.
std::vector<std::string> GettextLanguages(const LanguageVariables& variables);

}  // namespace voderer::posix
