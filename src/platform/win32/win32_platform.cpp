#include "win32_platform.h"

#include <windows.h>

#include <cstdio>

#include "code_page.h"
#include "dialogs.h"

namespace voderer {

namespace win32 {

std::wstring Win32Platform::ProgramFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) {
      throw FileError(std::error_code(static_cast<int>(GetLastError()), std::system_category()));
    }
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  return path.substr(0, path.find_last_of(L"\\/"));
}

std::optional<std::string> Win32Platform::ToCodePage(std::wstring_view text) {
  return ToAnsiCodePage(text);
}

std::optional<std::wstring> Win32Platform::CodePageSafePath(const std::wstring& path) {
  return ShortPathInCodePage(path);
}

std::FILE* Win32Platform::OpenStream(const std::filesystem::path& path, FileMode mode) {
  return _wfopen(path.c_str(), mode == FileMode::kOutput ? L"wb" : L"ab");
}

void Win32Platform::LaunchScript(const std::wstring& script_path,
                                 const std::wstring& working_folder) {
  launcher_.Launch(script_path, working_folder);
}

bool Win32Platform::ScriptRunning() {
  return launcher_.Running();
}

void Win32Platform::MsgBox(const std::wstring& text, const std::wstring& title) {
  frontend::ShowMessageBox(text, title);
}

void Win32Platform::ShowOpen(CommonDialogState& dialog) {
  frontend::ShowOpenDialog(dialog);
}

}  // namespace win32

Platform& SystemPlatform() {
  static win32::Win32Platform platform;
  return platform;
}

}  // namespace voderer
