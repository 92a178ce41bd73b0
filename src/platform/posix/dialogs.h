// The modal boxes of the front end: message box and Open dialog.
#pragma once

#include <string>

#include "platform.h"

namespace voderer::frontend {

void ShowMessageBox(const std::wstring& text, const std::wstring& title);
void ShowOpenDialog(CommonDialogState& dialog);

// The filter in the chooser's own form: "description\tpattern" lines.
std::string ChooserFilter(const std::wstring& filter);

}  // namespace voderer::frontend
