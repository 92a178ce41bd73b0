#include "texts/language.h"

#include <algorithm>
#include <vector>

#include "texts/catalogue_table.h"

namespace voderer::texts {

namespace {

// "ko-KR", "ko_KR.UTF-8@euro" -> "ko_kr": the codeset and modifier say
// nothing about the language, and tags separate with '-'.
std::string Normalized(std::string_view name) {
  name = name.substr(0, name.find_first_of(".@"));
  std::string out;
  for (char c : name) {
    if (c == '-') c = '_';
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    out += c;
  }
  return out;
}

std::string_view Matching(std::string_view name, std::span<const std::string_view> codes) {
  const auto found = std::find_if(codes.begin(), codes.end(),
                                  [&](std::string_view code) { return Normalized(code) == name; });
  return found != codes.end() ? *found : std::string_view();
}

}  // namespace

std::string_view ChooseLanguage(std::span<const std::string> wanted,
                                std::span<const std::string_view> codes) {
  for (const std::string& language : wanted) {
    const std::string name = Normalized(language);
    if (name.empty()) continue;
    if (const std::string_view whole = Matching(name, codes); !whole.empty()) return whole;
    if (const std::string_view part = Matching(name.substr(0, name.find('_')), codes);
        !part.empty()) {
      return part;
    }
  }
  return "en";
}

std::string_view ChooseLanguage(std::span<const std::string> wanted) {
  std::vector<std::string_view> codes;
  for (const Catalogue& catalogue : Catalogues()) codes.push_back(catalogue.code);
  return ChooseLanguage(wanted, codes);
}

}  // namespace voderer::texts
