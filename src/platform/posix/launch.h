// Starting the batch runner on the patch script: detached, in its own
// session, and always reaped.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>

#include "platform/script_launch.h"

namespace voderer::posix {

class RunbatLaunch final : public ScriptLaunch {
 public:
  // Runs `runbat SCRIPT`, the batch runner that sits in the program folder
  // beside the script it runs, with `working_folder` as its current folder
  // and stdin from /dev/null, and returns once the runner has been exec'd.
  // Throws RuntimeError when it could not be started (runner missing or not
  // executable, folder missing).
  void LaunchScript(const std::wstring& script_path, const std::wstring& working_folder) override;

  // True until the last launched runner has ended.
  bool ScriptRunning() override;

 private:
  void Launch(const std::string& runner, const std::string& script,
              const std::string& working_folder);

  // Shared with the reaping threads, which may outlive the launcher at exit.
  struct State {
    std::mutex mutex;
    pid_t running = 0;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace voderer::posix
