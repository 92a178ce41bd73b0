// The Open dialog's filter in GetOpenFileNameW's form.
#include <gtest/gtest.h>

#include <iterator>
#include <string>

#include "frontend/win32/dialogs_win32.h"
#include "ui/main_window.h"

namespace voderer::frontend {
namespace {

TEST(DialogFilter, PairsBecomeNulSeparatedAndEndWithAnEmptyString) {
  const std::vector<wchar_t> filter = DialogFilter(std::wstring(ui::kFilterNds) + ui::kFilterAll);
  static constexpr wchar_t kExpected[] =
      L"NDS 바이너리 파일 (*.nds)\0*.nds\0모든 파일 (*.*)\0*.*\0";
  // The literal's own terminator is the list's closing empty string.
  EXPECT_EQ(std::wstring(filter.begin(), filter.end()),
            std::wstring(kExpected, std::size(kExpected)));

  // Without the closing "|" the list is still ended properly.
  const std::vector<wchar_t> open_end = DialogFilter(L"A|*.a");
  EXPECT_EQ(std::wstring(open_end.begin(), open_end.end()), std::wstring(L"A\0*.a\0\0", 7));
}

}  // namespace
}  // namespace voderer::frontend
