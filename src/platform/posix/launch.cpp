#include "platform/posix/launch.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/backend.h"
#include "platform/file_table.h"
#include "platform/utf8_text.h"

namespace voderer::posix {

namespace {

// The program's environment with `variable` ("NAME=value") in place of any
// earlier value of it. Made before fork: the child may not allocate.
std::vector<std::string> ChildEnvironment(const std::string& variable) {
  const std::size_t name_length = variable.find('=') + 1;
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (std::strncmp(*entry, variable.c_str(), name_length) != 0) environment.emplace_back(*entry);
  }
  environment.push_back(variable);
  return environment;
}

// Only async-signal-safe calls between fork and exec: the parent may run
// other threads.
[[noreturn]] void RunChild(const char* runner, char* const argv[], char* const envp[],
                           const char* folder, int report_fd) {
  int failed_errno = 0;
  if (setsid() < 0 || chdir(folder) != 0) {
    failed_errno = errno;
  } else {
    const int null_fd = open("/dev/null", O_RDONLY);
    if (null_fd < 0 || dup2(null_fd, STDIN_FILENO) < 0) {
      failed_errno = errno;
    } else {
      if (null_fd != STDIN_FILENO) close(null_fd);
      execve(runner, argv, envp);
      failed_errno = errno;
    }
  }
  // Tell the parent why; the pipe closes on a successful exec instead.
  ssize_t ignored = write(report_fd, &failed_errno, sizeof failed_errno);
  (void)ignored;
  _exit(127);
}

void WaitFor(pid_t pid) {
  while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace

void RunbatLaunch::LaunchScript(const std::wstring& script_path, const std::wstring& working_folder,
                                const EnvironmentVariable& variable) {
  const std::filesystem::path script = backend::NativePath(script_path);
  const std::filesystem::path runner = script.parent_path() / "runbat";
  // The value is a path: in the bytes the file system knows it by.
  const std::optional<std::string> name = ToUtf8Exact(variable.name);
  if (!name) throw StandardError(err::kInvalidProcedureCall);
  Launch(runner.native(), script.native(), backend::NativePath(working_folder).native(),
         *name + "=" + backend::NativePath(variable.value).native());
}

void RunbatLaunch::Launch(const std::string& runner, const std::string& script,
                          const std::string& working_folder, const std::string& variable) {
  std::vector<std::string> environment = ChildEnvironment(variable);
  std::vector<char*> envp;
  envp.reserve(environment.size() + 1);
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);

  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) {
    throw FileError(std::error_code(errno, std::generic_category()));
  }

  std::string arg0 = runner;
  std::string arg1 = script;
  char* argv[] = {arg0.data(), arg1.data(), nullptr};

  const pid_t pid = fork();
  if (pid == 0) {
    close(report[0]);
    RunChild(runner.c_str(), argv, envp.data(), working_folder.c_str(), report[1]);
  }
  const int fork_errno = errno;
  close(report[1]);
  if (pid < 0) {
    close(report[0]);
    throw FileError(std::error_code(fork_errno, std::generic_category()));
  }

  int child_errno = 0;
  ssize_t got;
  do {
    got = read(report[0], &child_errno, sizeof child_errno);
  } while (got < 0 && errno == EINTR);
  close(report[0]);
  if (got > 0) {
    WaitFor(pid);
    if (child_errno == ENOENT || child_errno == EACCES || child_errno == ENOEXEC) {
      throw StandardError(err::kFileNotFound);
    }
    throw FileError(std::error_code(child_errno, std::generic_category()));
  }

  {
    std::lock_guard lock(state_->mutex);
    state_->running = pid;
  }
  // The runner outlives any wait we could afford on the UI thread; a thread
  // of its own reaps it so that it never lingers as a zombie.
  std::thread([state = state_, pid] {
    WaitFor(pid);
    {
      std::lock_guard lock(state->mutex);
      if (state->running != pid) return;
      state->running = 0;
    }
    // Under its lock, so that a notice taken back is never run afterwards.
    std::lock_guard lock(state->notice_mutex);
    if (state->notice) state->notice();
  }).detach();
}

bool RunbatLaunch::ScriptRunning() {
  std::lock_guard lock(state_->mutex);
  return state_->running != 0;
}

void RunbatLaunch::SetEndNotice(std::function<void()> notice) {
  std::lock_guard lock(state_->notice_mutex);
  state_->notice = std::move(notice);
}

}  // namespace voderer::posix
