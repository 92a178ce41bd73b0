// Starting the batch runner on the patch script, or a program directly:
// detached, in its own session, and always reaped.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>
#include <sys/types.h>

#include "platform/script_launch.h"

namespace voderer::posix {

class RunbatLaunch final : public ScriptLaunch {
 public:
  // Runs `runbat SCRIPT`, the batch runner that sits in the program folder
  // beside the script it runs, with `working_folder` as its current folder,
  // stdin from /dev/null and `environment` applied, and returns once the
  // runner has been exec'd. Throws RuntimeError when it could not be
  // started (runner missing or not executable, folder missing).
  void LaunchScript(const std::wstring& script_path, const std::wstring& working_folder,
                    const EnvironmentChanges& environment) override;

  // The same for `program` itself, which writes to the program's own output.
  void LaunchProgram(const std::wstring& program, const std::vector<std::wstring>& arguments,
                     const std::wstring& working_folder,
                     const EnvironmentChanges& environment) override;

  // True until the last launched process has ended.
  bool ScriptRunning() override;

  // Run by the reaping thread once it has reaped the runner.
  void SetEndNotice(std::function<void()> notice) override;

 private:
  void Launch(std::vector<std::string> argv, const std::string& working_folder,
              const EnvironmentChanges& environment);

  // Shared with the reaping threads, which may outlive the launcher at exit.
  struct State {
    std::mutex mutex;
    pid_t running = 0;
    // A lock of its own: a notice may ask ScriptRunning.
    std::mutex notice_mutex;
    std::function<void()> notice;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace voderer::posix
