// Starting the patch script: the one process the program starts. It runs on
// while the window goes on; the backend watches it (a reaping thread on
// POSIX, a wait on the process handle on Windows), so the launch service is
// the one place that knows when it has ended.
#pragma once

#include <functional>
#include <string>

namespace voderer {

// One variable put into the environment of the started script.
struct EnvironmentVariable {
  std::wstring name;
  std::wstring value;
};

class ScriptLaunch {
 public:
  virtual ~ScriptLaunch() = default;

  // Starts the batch script minimized and activated, with `working_folder`
  // as its current folder and `variable` added to the environment it
  // inherits, and returns without waiting. Throws RuntimeError when the
  // system could not start it.
  virtual void LaunchScript(const std::wstring& script_path, const std::wstring& working_folder,
                            const EnvironmentVariable& variable) = 0;

  // True while the script from the last LaunchScript of this run is still
  // running.
  virtual bool ScriptRunning() = 0;

  // `notice` runs once each time a launched script has ended, after
  // ScriptRunning has turned false, on a thread of the launcher (never the
  // user-interface thread): it only hands the news over. It replaces any
  // earlier notice; an empty one stops them, and once this returns the old
  // one is not running and will not run again.
  virtual void SetEndNotice(std::function<void()> notice) = 0;
};

}  // namespace voderer
