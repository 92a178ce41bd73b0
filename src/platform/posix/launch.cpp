#include "platform/posix/launch.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "platform/backend.h"
#include "platform/file_table.h"

namespace voderer::posix {

namespace {

// Only async-signal-safe calls between fork and exec: the parent may run
// other threads.
[[noreturn]] void RunChild(const char* runner, char* const argv[], const char* folder,
                           int report_fd) {
  int failed_errno = 0;
  if (setsid() < 0 || chdir(folder) != 0) {
    failed_errno = errno;
  } else {
    const int null_fd = open("/dev/null", O_RDONLY);
    if (null_fd < 0 || dup2(null_fd, STDIN_FILENO) < 0) {
      failed_errno = errno;
    } else {
      if (null_fd != STDIN_FILENO) close(null_fd);
      execv(runner, argv);
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

void RunbatLaunch::LaunchScript(const std::wstring& script_path,
                                const std::wstring& working_folder) {
  const std::filesystem::path script = backend::NativePath(script_path);
  const std::filesystem::path runner = script.parent_path() / "runbat";
  Launch(runner.native(), script.native(), backend::NativePath(working_folder).native());
}

void RunbatLaunch::Launch(const std::string& runner, const std::string& script,
                          const std::string& working_folder) {
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
    RunChild(runner.c_str(), argv, working_folder.c_str(), report[1]);
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
    std::lock_guard lock(state->mutex);
    if (state->running == pid) state->running = 0;
  }).detach();
}

bool RunbatLaunch::ScriptRunning() {
  std::lock_guard lock(state_->mutex);
  return state_->running != 0;
}

}  // namespace voderer::posix
