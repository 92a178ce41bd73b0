// Starting the patch script through the shell, minimized and activated, and
// waiting for its process on a thread of the system's pool.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/script_launch.h"

namespace voderer::win32 {

class ShellLaunch final : public ScriptLaunch {
 public:
  ShellLaunch() = default;
  ShellLaunch(const ShellLaunch&) = delete;
  ShellLaunch& operator=(const ShellLaunch&) = delete;
  ~ShellLaunch() override;

  // Starts `script_path` in `working_folder` and returns at once;
  // RuntimeError when the system could not start it. The shell passes the
  // program's own environment on, so `variable` is set there first.
  void LaunchScript(const std::wstring& script_path, const std::wstring& working_folder,
                    const EnvironmentVariable& variable) override;

  // True until the process of the last launch has ended.
  bool ScriptRunning() override;

  // Run by the pool's thread that saw the process end.
  void SetEndNotice(std::function<void()> notice) override;

 private:
  static void CALLBACK ProcessEnded(void* context, BOOLEAN timed_out);
  void StopWaiting();

  HANDLE process_ = nullptr;
  HANDLE wait_ = nullptr;
  std::mutex mutex_;
  std::function<void()> notice_;
};

}  // namespace voderer::win32
