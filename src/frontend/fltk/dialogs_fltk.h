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

}  // namespace voderer::frontend
