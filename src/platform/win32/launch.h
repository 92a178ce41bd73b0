// Starting the patch script through the shell, minimized and activated.
#pragma once

#include <windows.h>

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
  // RuntimeError when the system could not start it.
  void LaunchScript(const std::wstring& script_path, const std::wstring& working_folder) override;

  // True until the process of the last launch has ended.
  bool ScriptRunning() override;

 private:
  HANDLE process_ = nullptr;
};

}  // namespace voderer::win32
