// The Win32 front end's modal boxes: MessageBoxW, a task dialog where Undo
// is offered, and GetOpenFileNameW, owned
// by the active window so that they are modal to it.
#pragma once

#include <string>
#include <vector>

#include "platform/dialogs.h"

namespace voderer::frontend {

class Win32Dialogs final : public Dialogs {
 public:
  void MsgBox(const std::wstring& text, const std::wstring& title, BoxIcon icon) override;
  bool OfferUndo(const std::wstring& text, const std::wstring& title, BoxIcon icon) override;
  void ShowOpen(CommonDialogState& dialog) override;
};

// The filter in the Open dialog's own form: NUL-separated pairs, ended by
// an empty string.
std::vector<wchar_t> DialogFilter(const std::wstring& filter);

}  // namespace voderer::frontend
