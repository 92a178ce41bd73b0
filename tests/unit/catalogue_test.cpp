// The catalogue of texts: every text translated with the same placeholders,
// placeholders filled as gettext's c-format has them, the language in use.
#include "texts/catalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "texts/catalogue_table.h"
#include "texts/format.h"

namespace voderer::texts {
namespace {

std::vector<std::size_t> SortedArguments(std::wstring_view text) {
  std::vector<std::size_t> arguments = PlaceholderArguments(text);
  std::sort(arguments.begin(), arguments.end());
  return arguments;
}

// What scripts/dev lint checks on the .po files, on the table the program
// was built with.
TEST(Catalogue, EveryTextHasEveryLanguagesFormsWithTheSamePlaceholders) {
  const Catalogue& english = Catalogues().front();
  ASSERT_EQ(english.code, "en");
  ASSERT_GE(Catalogues().size(), 2u);
  for (const Catalogue& language : Catalogues()) {
    for (std::size_t i = 0; i < kMessageCount; ++i) {
      const MessageInfo& info = Messages()[i];
      SCOPED_TRACE(std::string(language.code) + " " + std::string(info.name));
      const std::vector<std::size_t> wanted = SortedArguments(english.texts[i][0]);
      const std::size_t forms = info.plural ? language.form_count : 1;
      for (std::size_t form = 0; form < forms; ++form) {
        const std::wstring_view text = language.texts[i][form];
        EXPECT_FALSE(text.empty()) << "form " << form << " is not translated";
        EXPECT_EQ(SortedArguments(text), wanted) << "form " << form;
      }
      EXPECT_EQ(info.formatted, !wanted.empty());
    }
  }
}

TEST(Catalogue, PlaceholdersAreFilledInTurnOrByNumber) {
  const std::array<std::wstring_view, 2> two = {L"A", L"B%s"};
  EXPECT_EQ(FillPlaceholders(L"%s then %s, 100%%", two), L"A then B%s, 100%");
  EXPECT_EQ(FillPlaceholders(L"%2$s before %1$s", two), L"B%s before A");
  // Anything else stays as written: no other directive, no third argument.
  EXPECT_EQ(FillPlaceholders(L"%d %3$s %s %s %s", two), L"%d %3$s A B%s %s");
  EXPECT_EQ(PlaceholderArguments(L"%2$s, %1$s %% %s"), (std::vector<std::size_t>{2, 1, 1}));
}

TEST(Catalogue, TheLanguageInUseSpeaksEveryTextAndFallsBackToEnglish) {
  EXPECT_EQ(LanguageInUse(), "en");
  EXPECT_EQ(Text(Msg::button_ok), L"OK");
  EXPECT_EQ(Text(Msg::bytes, 1, {L"1"}), L"1 byte");
  EXPECT_EQ(Text(Msg::bytes, 0, {L"0"}), L"0 bytes");

  UseLanguage("ko");
  EXPECT_EQ(LanguageInUse(), "ko");
  EXPECT_EQ(Text(Msg::button_ok), L"확인");
  EXPECT_EQ(Text(Msg::bytes, 1, {L"1"}), L"1바이트");
  EXPECT_EQ(Text(Msg::bytes, 2, {L"2"}), L"2바이트");
  EXPECT_EQ(Text(Msg::old_report_stuck, {L"F", L"R"})
                .rfind(L"이전 패치가 남긴 F 파일을 지울 수 "
                       L"없어서(R)",
                       0),
            0u);

  UseLanguage("xx");
  EXPECT_EQ(LanguageInUse(), "en");
  EXPECT_EQ(Text(Msg::patched, {L"game.nds"}), L"game.nds was patched.");
}

}  // namespace
}  // namespace voderer::texts
