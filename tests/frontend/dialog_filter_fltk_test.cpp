// The Open dialog's filter in Fl_Native_File_Chooser's form, and the UTF-8
// that FLTK speaks.
#include <gtest/gtest.h>

#include <string>

#include "frontend/fltk/dialogs_fltk.h"
#include "frontend/fltk/utf8_text.h"
#include "ui/main_window.h"

namespace voderer::frontend {
namespace {

// The chooser shows "description(pattern)", so the descriptions lose their
// own "(pattern)" and read exactly as written once shown.
TEST(ChooserFilter, PairsBecomeTabbedLinesShownAsWritten) {
  EXPECT_EQ(ChooserFilter(std::wstring(ui::kFilterNds) + ui::kFilterAll),
            "NDS 바이너리 파일 \t*.nds\n모든 파일 \t*.*");
  EXPECT_EQ(ChooserFilter(L"A|*.a"), "A\t*.a");
  EXPECT_EQ(ChooserFilter(L"Only (*.b)|*.a|"), "Only (*.b)\t*.a");
}

TEST(FltkText, KoreanAndAstralTextRoundTripAndBadBytesAreReplaced) {
  const std::wstring text = L"/롬/게임 \U0001F3AE.nds";
  EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
  EXPECT_EQ(ToUtf8(L"바"), "\xEB\xB0\x94");
  // A stray continuation byte, a truncated sequence and an overlong '/'.
  EXPECT_EQ(FromUtf8("a\x80"
                     "b\xEB\xB0"
                     "\xC0\xAF"),
            L"a\uFFFDb\uFFFD\uFFFD\uFFFD\uFFFD");
}

}  // namespace
}  // namespace voderer::frontend
