// Starting the patch script through the shell, minimized and activated.
#pragma once

#include <windows.h>

#include <string>

namespace voderer::win32 {

class ScriptLauncher {
 public:
  ScriptLauncher() = default;
  ScriptLauncher(const ScriptLauncher&) = delete;
  ScriptLauncher& operator=(const ScriptLauncher&) = delete;
  ~ScriptLauncher();

  // Starts `script` in `working_folder` and returns at once; RuntimeError
  // when the system could not start it.
  void Launch(const std::wstring& script, const std::wstring& working_folder);

  // True until the process of the last launch has ended.
  bool Running();

 private:
  HANDLE process_ = nullptr;
};

}  // namespace voderer::win32
