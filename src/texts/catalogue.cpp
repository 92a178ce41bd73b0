#include "texts/catalogue.h"

#include <algorithm>
#include <span>

#include "texts/catalogue_table.h"
#include "texts/format.h"

namespace voderer::texts {

namespace {

const Catalogue& English() {
  return Catalogues().front();
}

// Set once at the start; read by the UI thread only.
const Catalogue* in_use = nullptr;

const Catalogue& InUse() {
  return in_use != nullptr ? *in_use : English();
}

std::wstring_view Form(const Catalogue& catalogue, Msg id, unsigned long count) {
  const std::size_t index = static_cast<std::size_t>(id);
  std::size_t form = 0;
  if (Messages()[index].plural) {
    form = std::min(catalogue.plural_form(count), catalogue.form_count - 1);
  }
  return catalogue.texts[index][form];
}

std::wstring Filled(Msg id, unsigned long count, std::initializer_list<std::wstring_view> args) {
  std::wstring_view pattern = Form(InUse(), id, count);
  if (pattern.empty()) pattern = Form(English(), id, count);
  // A text without the c-format flag is shown as written, a % included.
  if (!Messages()[static_cast<std::size_t>(id)].formatted) return std::wstring(pattern);
  return FillPlaceholders(pattern, std::span(args.begin(), args.size()));
}

}  // namespace

void UseLanguage(std::string_view code) {
  const std::span<const Catalogue> all = Catalogues();
  const auto found =
      std::find_if(all.begin(), all.end(), [&](const Catalogue& c) { return c.code == code; });
  in_use = found != all.end() ? &*found : &English();
}

std::string_view LanguageInUse() {
  return InUse().code;
}

std::wstring Text(Msg id, std::initializer_list<std::wstring_view> args) {
  return Filled(id, 1, args);
}

std::wstring Text(Msg id, unsigned long count, std::initializer_list<std::wstring_view> args) {
  return Filled(id, count, args);
}

}  // namespace voderer::texts
