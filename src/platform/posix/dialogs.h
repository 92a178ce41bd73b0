// The modal boxes of the front end: message box and Open dialog.
#pragma once

#include <string>

#include "platform.h"

namespace voderer::frontend {

void ShowMessageBox(const std::wstring& text, const std::wstring& title);
void ShowOpenDialog(CommonDialogState& dialog);

}  // namespace voderer::frontend
