#include "platform/posix/launch.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <utility>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/backend.h"
#include "platform/file_table.h"
#include "platform/utf8_text.h"

namespace voderer::posix {

namespace {

// "NAME=value" in the bytes the file system knows the value by: the
// values are paths.
std::string EnvironmentEntry(const EnvironmentVariable& variable) {
  const std::optional<std::string> name = ToUtf8Exact(variable.name);
  if (!name) throw StandardError(err::kInvalidProcedureCall);
  return *name + "=" + (variable.value ? backend::NativePath(*variable.value).native() : "");
}

bool NameMatches(const char* entry, const std::string& assignment) {
  const std::size_t name_length = assignment.find('=') + 1;
  return std::strncmp(entry, assignment.c_str(), name_length) == 0;
}

// The program's environment with `changes` applied. Made before fork: the
// child may not allocate.
std::vector<std::string> ChildEnvironment(const EnvironmentChanges& changes) {
  std::vector<std::string> assignments;
  for (const EnvironmentVariable& variable : changes) {
    assignments.push_back(EnvironmentEntry(variable));
  }
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    bool changed = false;
    for (const std::string& assignment : assignments)
      changed = changed || NameMatches(*entry, assignment);
    if (!changed) environment.emplace_back(*entry);
  }
  for (std::size_t i = 0; i < changes.size(); ++i) {
    if (changes[i].value) environment.push_back(assignments[i]);
  }
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
                                const EnvironmentChanges& environment) {
  const std::filesystem::path script = backend::NativePath(script_path);
  const std::filesystem::path runner = script.parent_path() / "runbat";
  Launch({runner.native(), script.native()}, backend::NativePath(working_folder).native(),
         environment);
}

void RunbatLaunch::LaunchProgram(const std::wstring& program,
                                 const std::vector<std::wstring>& arguments,
                                 const std::wstring& working_folder,
                                 const EnvironmentChanges& environment) {
  std::vector<std::string> argv{backend::NativePath(program).native()};
  for (const std::wstring& argument : arguments) {
    argv.push_back(backend::NativePath(argument).native());
  }
  Launch(std::move(argv), backend::NativePath(working_folder).native(), environment);
}

void RunbatLaunch::Launch(std::vector<std::string> argv, const std::string& working_folder,
                          const EnvironmentChanges& changes) {
  std::vector<std::string> environment = ChildEnvironment(changes);
  std::vector<char*> envp;
  envp.reserve(environment.size() + 1);
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (std::string& arg : argv) args.push_back(arg.data());
  args.push_back(nullptr);

  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) {
    throw FileError(std::error_code(errno, std::generic_category()));
  }

  const pid_t pid = fork();
  if (pid == 0) {
    close(report[0]);
    RunChild(args[0], args.data(), envp.data(), working_folder.c_str(), report[1]);
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
