// The Open dialog's filter in Fl_Native_File_Chooser's form.
#include <gtest/gtest.h>

#include <string>

#include "frontend/fltk/dialogs_fltk.h"
#include "platform/runtime.h"
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

// The chosen path is taken as the disk keeps its bytes; bytes that are not
// UTF-8 (here EUC-KR) are refused with error 52, naming the path as best it
// can be shown.
TEST(ChosenPath, Utf8ArrivesAsItIsAndOtherBytesAreRefused) {
  EXPECT_EQ(ChosenPath("/roms/\xEA\xB2\x8C\xEC\x9E\x84.nds"), L"/roms/게임.nds");
  try {
    ChosenPath("/roms/\xB0\xD4\xC0\xD3.nds");
    ADD_FAILURE() << "a path that is not UTF-8 was taken";
  } catch (const RuntimeError& error) {
    EXPECT_EQ(error.Number(), err::kBadFileNameOrNumber);
    EXPECT_NE(error.Description().find(L"/roms/\uFFFD\uFFFD\uFFFD\uFFFD.nds"), std::wstring::npos);
  }
}

}  // namespace
}  // namespace voderer::frontend
