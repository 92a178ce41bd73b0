// The Open dialog's filter in Fl_Native_File_Chooser's form.
#include <gtest/gtest.h>

#include <string>

#include "frontend/fltk/dialogs_fltk.h"
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

}  // namespace
}  // namespace voderer::frontend
