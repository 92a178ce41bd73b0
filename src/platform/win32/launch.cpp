#include "launch.h"

#include <shellapi.h>

#include "file_table.h"
#include "platform.h"

namespace voderer::win32 {

ScriptLauncher::~ScriptLauncher() {
  if (process_ != nullptr) CloseHandle(process_);
}

void ScriptLauncher::Launch(const std::wstring& script, const std::wstring& working_folder) {
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  // The process handle tells whether the script still runs; errors are
  // ours to report, not the shell's.
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpFile = script.c_str();
  info.lpDirectory = working_folder.c_str();
  info.nShow = SW_SHOWMINIMIZED;
  if (!ShellExecuteExW(&info)) {
    const DWORD error = GetLastError();
    const int number = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                           ? err::kFileNotFound
                           : err::kInvalidProcedureCall;
    throw RuntimeError(number, StandardDescription(number));
  }
  if (process_ != nullptr) CloseHandle(process_);
  process_ = info.hProcess;
}

bool ScriptLauncher::Running() {
  return process_ != nullptr && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

}  // namespace voderer::win32
