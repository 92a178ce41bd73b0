#include "frontend/win32/dialogs_win32.h"

#include <windows.h>

#include <cderr.h>
#include <commctrl.h>
#include <commdlg.h>

#include <memory>
#include <vector>

#include "frontend/window.h"
#include "platform/runtime.h"
#include "texts/catalogue.h"

namespace voderer::frontend {

using texts::Msg;
using texts::Text;

namespace {

// The system's own icons, each with its sound.
UINT IconFlag(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::none: return 0;
    case BoxIcon::information: return MB_ICONINFORMATION;
    case BoxIcon::warning: return MB_ICONWARNING;
    case BoxIcon::error: break;
  }
  return MB_ICONERROR;
}

}  // namespace

void Win32Dialogs::MsgBox(const std::wstring& text, const std::wstring& title, BoxIcon icon) {
  // One OK button, the default, which Return presses; its label is the
  // system's, in the system's language.
  if (MessageBoxW(GetActiveWindow(), text.c_str(), title.c_str(), MB_OK | IconFlag(icon)) == 0) {
    throw RuntimeError(err::kInvalidProcedureCall, Text(Msg::error_box_not_shown));
  }
}

namespace {

constexpr int kUndoButton = 100;

PCWSTR TaskIcon(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::none: return nullptr;
    case BoxIcon::information: return TD_INFORMATION_ICON;
    case BoxIcon::warning: return TD_WARNING_ICON;
    case BoxIcon::error: break;
  }
  return TD_ERROR_ICON;
}

// Escape comes to the box as IDCANCEL. Without a Cancel button some task
// dialogs (Wine's) ignore it, though the flag allows it: it ends the box
// here as IDCANCEL, the same answer as the close button's.
LRESULT CALLBACK EscapeEndsBox(HWND box, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                               DWORD_PTR) {
  if (message == WM_COMMAND && LOWORD(wparam) == IDCANCEL) {
    EndDialog(box, IDCANCEL);
    return 0;
  }
  if (message == WM_NCDESTROY) RemoveWindowSubclass(box, &EscapeEndsBox, 0);
  return DefSubclassProc(box, message, wparam, lparam);
}

// In the middle of the screen, where the message boxes are (some task
// dialogs open at its corner, over the window).
void CenterOnScreen(HWND box) {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  RECT rect{};
  if (!GetMonitorInfoW(MonitorFromWindow(box, MONITOR_DEFAULTTOPRIMARY), &monitor) ||
      !GetWindowRect(box, &rect)) {
    return;
  }
  const RECT& area = monitor.rcWork;
  const int x = area.left + ((area.right - area.left) - (rect.right - rect.left)) / 2;
  const int y = area.top + ((area.bottom - area.top) - (rect.bottom - rect.top)) / 2;
  SetWindowPos(box, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HRESULT CALLBACK OnTaskDialog(HWND box, UINT notification, WPARAM, LPARAM, LONG_PTR) {
  if (notification == TDN_CREATED) {
    SetWindowSubclass(box, &EscapeEndsBox, 0, 0);
    CenterOnScreen(box);
  }
  return S_OK;
}

}  // namespace

bool Win32Dialogs::OfferUndo(const std::wstring& text, const std::wstring& title, BoxIcon icon) {
  // A task dialog: OK (the system's label, the default) and Undo. Escape,
  // Alt+F4 and the close button give IDCANCEL, taken as OK.
  const std::wstring undo = Text(Msg::button_undo);
  const TASKDIALOG_BUTTON buttons[] = {{kUndoButton, undo.c_str()}};
  TASKDIALOGCONFIG config{};
  config.cbSize = sizeof config;
  config.hwndParent = GetActiveWindow();
  config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION | TDF_SIZE_TO_CONTENT;
  config.dwCommonButtons = TDCBF_OK_BUTTON;
  config.pszWindowTitle = title.c_str();
  config.pszMainIcon = TaskIcon(icon);
  config.pszContent = text.c_str();
  config.cButtons = 1;
  config.pButtons = buttons;
  config.nDefaultButton = IDOK;
  config.pfCallback = &OnTaskDialog;
  int pressed = IDOK;
  if (FAILED(TaskDialogIndirect(&config, &pressed, nullptr, nullptr))) {
    throw RuntimeError(err::kInvalidProcedureCall, Text(Msg::error_box_not_shown));
  }
  return pressed == kUndoButton;
}

std::vector<wchar_t> DialogFilter(const std::wstring& filter) {
  // "desc|pattern|desc|pattern|" becomes "desc\0pattern\0desc\0pattern\0\0".
  std::vector<wchar_t> out(filter.begin(), filter.end());
  for (wchar_t& c : out) {
    if (c == L'|') c = L'\0';
  }
  if (out.empty() || out.back() != L'\0') out.push_back(L'\0');
  out.push_back(L'\0');
  return out;
}

namespace {

// The common dialog control's own error numbers.
RuntimeError DialogError(DWORD code) {
  switch (code) {
    case FNERR_BUFFERTOOSMALL: return RuntimeError(20476, Text(Msg::error_buffer_too_small));
    case FNERR_INVALIDFILENAME: return RuntimeError(20477, Text(Msg::error_invalid_file_name));
    default: return RuntimeError(err::kDialogFailure, Text(Msg::error_open_dialog));
  }
}

}  // namespace

void Win32Dialogs::ShowOpen(CommonDialogState& dialog) {
  std::vector<wchar_t> filter = DialogFilter(dialog.Filter);
  // Room for long paths; the file-name box starts empty so that the dialog
  // opens in InitDir.
  std::vector<wchar_t> file(32768, L'\0');
  std::vector<wchar_t> title(MAX_PATH + 1, L'\0');

  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = GetActiveWindow();
  ofn.lpstrFilter = filter.data();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = static_cast<DWORD>(file.size());
  ofn.lpstrFileTitle = title.data();
  ofn.nMaxFileTitle = static_cast<DWORD>(title.size());
  ofn.lpstrInitialDir = dialog.InitDir.empty() ? nullptr : dialog.InitDir.c_str();
  // Long names only (OFN_EXPLORER never returns the 8.3 form); the process's
  // working folder is left alone.
  ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST |
              OFN_NOCHANGEDIR | OFN_LONGNAMES;

  if (GetOpenFileNameW(&ofn)) {
    dialog.FileName = file.data();
    dialog.FileTitle = title.data();
    return;
  }
  // A cancel leaves the earlier selection.
  if (DWORD code = CommDlgExtendedError(); code != 0) throw DialogError(code);
}

std::unique_ptr<Dialogs> CreateDialogs() {
  return std::make_unique<Win32Dialogs>();
}

}  // namespace voderer::frontend
