#include "platform/win32/launch.h"

#include <shellapi.h>

#include "platform/runtime.h"

namespace voderer::win32 {

ShellLaunch::~ShellLaunch() {
  StopWaiting();
  if (process_ != nullptr) CloseHandle(process_);
}

void ShellLaunch::LaunchScript(const std::wstring& script_path, const std::wstring& working_folder,
                               const EnvironmentVariable& variable) {
  if (!SetEnvironmentVariableW(variable.name.c_str(), variable.value.c_str())) {
    throw StandardError(err::kInvalidProcedureCall);
  }
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
  StopWaiting();
  if (process_ != nullptr) CloseHandle(process_);
  process_ = info.hProcess;
  // No handle (the shell started nothing of its own): nothing to wait for.
  if (process_ != nullptr &&
      !RegisterWaitForSingleObject(&wait_, process_, &ShellLaunch::ProcessEnded, this, INFINITE,
                                   WT_EXECUTEONLYONCE)) {
    wait_ = nullptr;
  }
}

bool ShellLaunch::ScriptRunning() {
  return process_ != nullptr && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

void ShellLaunch::SetEndNotice(std::function<void()> notice) {
  std::lock_guard lock(mutex_);
  notice_ = std::move(notice);
}

void CALLBACK ShellLaunch::ProcessEnded(void* context, BOOLEAN) {
  auto* self = static_cast<ShellLaunch*>(context);
  // Under the lock, so that a notice taken back is never run afterwards.
  std::lock_guard lock(self->mutex_);
  if (self->notice_) self->notice_();
}

void ShellLaunch::StopWaiting() {
  // INVALID_HANDLE_VALUE: returns only once a running callback has finished,
  // so that none outlives this object.
  if (wait_ != nullptr) UnregisterWaitEx(wait_, INVALID_HANDLE_VALUE);
  wait_ = nullptr;
}

}  // namespace voderer::win32
