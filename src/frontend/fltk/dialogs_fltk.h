// The FLTK front end's modal boxes: its own message box (OK, or OK and
// Undo) and
// Fl_Native_File_Chooser as the Open dialog.
#pragma once

#include <string>

#include "platform/dialogs.h"

namespace voderer::frontend {

class FltkDialogs final : public Dialogs {
 public:
  void MsgBox(const std::wstring& text, const std::wstring& title, BoxIcon icon) override;
  bool OfferUndo(const std::wstring& text, const std::wstring& title, BoxIcon icon) override;
  void ShowOpen(CommonDialogState& dialog) override;
};

// The filter in the chooser's own form: "description\tpattern" lines.
std::string ChooserFilter(const std::wstring& filter);

// The chosen file's path as the chooser hands it over: its bytes as the
// disk keeps them, UTF-8. A path that is not UTF-8 is refused (error 52):
// with U+FFFD in it, it would name no file, or another one.
std::wstring ChosenPath(const char* bytes);

}  // namespace voderer::frontend
