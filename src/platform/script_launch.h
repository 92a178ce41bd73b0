// Starting the patch script: the one process the program starts. It runs on
// while the window goes on; the backend watches it (a reaping thread on
// POSIX, the process handle on Windows), so the launch service is the one
// place that knows when it has ended.
#pragma once

#include <string>

namespace voderer {

class ScriptLaunch {
 public:
  virtual ~ScriptLaunch() = default;

  // Starts the batch script minimized and activated, with `working_folder`
  // as its current folder, and returns without waiting. Throws RuntimeError
  // when the system could not start it.
  virtual void LaunchScript(const std::wstring& script_path,
                            const std::wstring& working_folder) = 0;

  // True while the script from the last LaunchScript of this run is still
  // running.
  virtual bool ScriptRunning() = 0;
};

}  // namespace voderer
