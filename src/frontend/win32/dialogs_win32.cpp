#include "frontend/win32/dialogs_win32.h"

#include <windows.h>

#include <cderr.h>
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
