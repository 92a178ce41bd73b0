#include "platform/win32/launch.h"

#include <shellapi.h>

#include "platform/runtime.h"

namespace voderer::win32 {

ShellLaunch::~ShellLaunch() {
  if (process_ != nullptr) CloseHandle(process_);
}

void ShellLaunch::LaunchScript(const std::wstring& script_path,
                               const std::wstring& working_folder) {
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  // The process handle tells whether the script still runs; errors are
  // ours to report, not the shell's.
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpFile = script_path.c_str();
  info.lpDirectory = working_folder.c_str();
  info.nShow = SW_SHOWMINIMIZED;
  if (!ShellExecuteExW(&info)) {
    const DWORD error = GetLastError();
    const int number = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                           ? err::kFileNotFound
                           : err::kInvalidProcedureCall;
    throw StandardError(number);
  }
  if (process_ != nullptr) CloseHandle(process_);
  process_ = info.hProcess;
}

bool ShellLaunch::ScriptRunning() {
  return process_ != nullptr && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

}  // namespace voderer::win32
