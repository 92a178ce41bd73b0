#include "platform/posix/user_languages.h"

#include <string_view>

namespace voderer::posix {

namespace {

bool IsSet(const char* value) {
  return value != nullptr && *value != '\0';
}

}  // namespace

std::vector<std::string> GettextLanguages(const LanguageVariables& variables) {
  const char* locale = nullptr;
  for (const char* value : {variables.lc_all, variables.lc_messages, variables.lang}) {
    if (IsSet(value)) {
      locale = value;
      break;
    }
  }
  if (locale == nullptr) return {};
  const std::string_view messages = locale;
  if (messages == "C" || messages == "POSIX") return {};
  if (!IsSet(variables.language)) return {std::string(messages)};
  std::vector<std::string> languages;
  std::string_view list = variables.language;
  while (!list.empty()) {
    const std::size_t colon = list.find(':');
    if (const std::string_view entry = list.substr(0, colon); !entry.empty()) {
      languages.emplace_back(entry);
    }
    list = colon == std::string_view::npos ? std::string_view() : list.substr(colon + 1);
  }
  return languages;
}

}  // namespace voderer::posix
