// Starting the patch script (through the command interpreter, minimized and
// activated) or a console program (without a console), each with an
// environment block of its own, and waiting for its process on a thread of
// the system's pool.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/script_launch.h"

namespace voderer::win32 {

// The program's own environment with `changes` applied, as CreateProcessW
// takes it: "NAME=value\0" entries sorted by name, ended by an empty one.
std::vector<wchar_t> EnvironmentBlock(const EnvironmentChanges& changes);

// The command line that has cmd run the script `script_path`, which lies in
// the working folder, by its name alone: cmd expands %NAME% in its command
// line, so the folder's own name must never reach it. RuntimeError for a
// name cmd would not take as it stands.
std::wstring ScriptCommandLine(const std::wstring& script_path);

// `arguments` as one command line that the C runtime splits back into them.
std::wstring CommandLine(const std::vector<std::wstring>& arguments);

class ProcessLaunch final : public ScriptLaunch {
 public:
  ProcessLaunch() = default;
  ProcessLaunch(const ProcessLaunch&) = delete;
  ProcessLaunch& operator=(const ProcessLaunch&) = delete;
  ~ProcessLaunch() override;

  // Starts `cmd.exe /d /v:off /c .\NAME` (ScriptCommandLine) in a console of its
  // own, minimized, in `working_folder`, which holds the script, and returns
  // at once; RuntimeError when the system could not start it.
  void LaunchScript(const std::wstring& script_path, const std::wstring& working_folder,
                    const EnvironmentChanges& environment) override;

  // Starts `program` with no console window.
  void LaunchProgram(const std::wstring& program, const std::vector<std::wstring>& arguments,
                     const std::wstring& working_folder,
                     const EnvironmentChanges& environment) override;

  // True until the process of the last launch has ended.
  bool ScriptRunning() override;

  // Run by the pool's thread that saw the process end.
  void SetEndNotice(std::function<void()> notice) override;

 private:
  void Start(const std::wstring& application, std::wstring command_line,
             const std::wstring& working_folder, const EnvironmentChanges& environment, DWORD flags,
             const STARTUPINFOW& startup);
  static void CALLBACK ProcessEnded(void* context, BOOLEAN timed_out);
  void StopWaiting();

  HANDLE process_ = nullptr;
  HANDLE wait_ = nullptr;
  std::mutex mutex_;
  std::function<void()> notice_;
};

}  // namespace voderer::win32
