// Starting the processes the program runs on its own: the patch script, and
// ndstool for an undo. Each runs on while the window goes on; the backend
// watches it (a reaping thread on POSIX, a wait on the process handle on
// Windows), so the launch service is the one place that knows when it has
// ended. One runs at a time.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace voderer {

// One variable of the started process's environment: set to `value`, or
// taken out when there is none.
struct EnvironmentVariable {
  std::wstring name;
  std::optional<std::wstring> value;
};

// The program's own environment with these changes, for one process; the
// program's own is never changed.
using EnvironmentChanges = std::vector<EnvironmentVariable>;

class ScriptLaunch {
 public:
  virtual ~ScriptLaunch() = default;

  // Starts the batch script minimized and activated, with `working_folder`
  // (the folder that holds it: Windows names it only from there) as its
  // current folder and `environment` applied to the environment it
  // inherits, and returns without waiting. Throws RuntimeError when the
  // system could not start it.
  virtual void LaunchScript(const std::wstring& script_path, const std::wstring& working_folder,
                            const EnvironmentChanges& environment) = 0;

  // Starts the console program `program` (on Windows ".exe" may be left
  // off) with `arguments` directly, with no window or console of its own,
  // as LaunchScript does otherwise.
  virtual void LaunchProgram(const std::wstring& program,
                             const std::vector<std::wstring>& arguments,
                             const std::wstring& working_folder,
                             const EnvironmentChanges& environment) = 0;

  // True while the process from the last launch of this run is still
  // running.
  virtual bool ScriptRunning() = 0;

  // `notice` runs once each time a launched process has ended, after
  // ScriptRunning has turned false, on a thread of the launcher (never the
  // user-interface thread): it only hands the news over. It replaces any
  // earlier notice; an empty one stops them, and once this returns the old
  // one is not running and will not run again.
  virtual void SetEndNotice(std::function<void()> notice) = 0;
};

}  // namespace voderer
