// Placeholder until the window front end lands.
#include "dialogs.h"

namespace voderer::frontend {

void ShowMessageBox(const std::wstring&, const std::wstring&) {
  throw RuntimeError(err::kInvalidProcedureCall, L"No message box in this build");
}

void ShowOpenDialog(CommonDialogState&) {
  throw RuntimeError(err::kInvalidProcedureCall, L"No Open dialog in this build");
}

}  // namespace voderer::frontend
