// The modal boxes of the front end: message box and Open dialog.
#pragma once

#include <string>
#include <vector>

#include "platform.h"

namespace voderer::frontend {

void ShowMessageBox(const std::wstring& text, const std::wstring& title);
void ShowOpenDialog(CommonDialogState& dialog);

// The filter in the Open dialog's own form: NUL-separated pairs, ended by
// an empty string.
std::vector<wchar_t> DialogFilter(const std::wstring& filter);

}  // namespace voderer::frontend
