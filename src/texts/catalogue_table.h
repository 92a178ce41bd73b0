// The table of texts that the build generates from po/ (catalogue_table.cpp,
// made by cmake/po_catalogue.cmake): every text in English and in each
// language that has a .po file. Read through catalogue.h.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

#include "texts/messages.h"

namespace voderer::texts {

// A text's forms: its one form, or one per plural form of its language
// (gettext allows six). An empty form is one not translated.
inline constexpr std::size_t kMaxForms = 6;
using Forms = std::array<std::wstring_view, kMaxForms>;

struct MessageInfo {
  std::string_view name;  // its msgctxt
  bool formatted;         // c-format: it has placeholders to fill
  bool plural;            // it has plural forms
};

struct Catalogue {
  std::string_view code;                        // "en", "ko", "pt_BR": the .po file's name
  std::size_t form_count;                       // nplurals
  std::size_t (*plural_form)(unsigned long n);  // its Plural-Forms expression
  std::span<const Forms, kMessageCount> texts;  // in the order of Msg
};

// What each Msg is.
std::span<const MessageInfo, kMessageCount> Messages();

// English first, then one per .po file.
std::span<const Catalogue> Catalogues();

}  // namespace voderer::texts
