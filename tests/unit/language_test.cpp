// The choice of language among the catalogues.
#include "texts/language.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace voderer::texts {
namespace {

using Wanted = std::vector<std::string>;

TEST(ChooseLanguage, TheFirstWantedLanguageWithACatalogueWins) {
  EXPECT_EQ(ChooseLanguage(Wanted{"ko_KR.UTF-8"}), "ko");
  EXPECT_EQ(ChooseLanguage(Wanted{"ko-KR"}), "ko");  // as Windows names it
  EXPECT_EQ(ChooseLanguage(Wanted{"de_DE.UTF-8", "ko"}), "ko");
  EXPECT_EQ(ChooseLanguage(Wanted{"en_US", "ko"}), "en");
  EXPECT_EQ(ChooseLanguage(Wanted{"C.UTF-8"}), "en");
  EXPECT_EQ(ChooseLanguage(Wanted{"fr_FR"}), "en");
  EXPECT_EQ(ChooseLanguage(Wanted{}), "en");

  // Other catalogues: the whole name before the language alone.
  const std::array<std::string_view, 4> codes = {"en", "ko", "pt", "pt_BR"};
  EXPECT_EQ(ChooseLanguage(Wanted{"pt_BR.UTF-8@x"}, codes), "pt_BR");
  EXPECT_EQ(ChooseLanguage(Wanted{"PT-br"}, codes), "pt_BR");
  EXPECT_EQ(ChooseLanguage(Wanted{"pt_PT"}, codes), "pt");
  EXPECT_EQ(ChooseLanguage(Wanted{"zh-Hant-TW", "", "ko_KR"}, codes), "ko");
}

}  // namespace
}  // namespace voderer::texts
