#include "platform/win32/launch.h"

#include <algorithm>
#include <map>

#include "platform/runtime.h"

namespace voderer::win32 {

namespace {

// Windows compares variable names without regard to case.
struct NameLess {
  bool operator()(const std::wstring& a, const std::wstring& b) const {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_LESS_THAN;
  }
};

std::wstring SystemFolder() {
  wchar_t folder[MAX_PATH + 1] = {};
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH + 1);
  if (length == 0 || length > MAX_PATH) throw StandardError(err::kFileNotFound);
  return folder;
}

}  // namespace

std::vector<wchar_t> EnvironmentBlock(const EnvironmentChanges& changes) {
  // Entries whose name starts with "=" (the drives' current folders) are
  // kept: they sort first and have no name of their own to clash with.
  std::map<std::wstring, std::wstring, NameLess> variables;
  if (wchar_t* own = GetEnvironmentStringsW()) {
    for (const wchar_t* entry = own; *entry != L'\0'; entry += wcslen(entry) + 1) {
      const std::wstring text = entry;
      const std::size_t equals = text.find(L'=', 1);
      if (equals == std::wstring::npos) continue;
      variables[text.substr(0, equals)] = text.substr(equals + 1);
    }
    FreeEnvironmentStringsW(own);
  }
  for (const EnvironmentVariable& change : changes) {
    if (change.value) {
      variables[change.name] = *change.value;
    } else {
      variables.erase(change.name);
    }
  }
  std::vector<wchar_t> block;
  for (const auto& [name, value] : variables) {
    block.insert(block.end(), name.begin(), name.end());
    block.push_back(L'=');
    block.insert(block.end(), value.begin(), value.end());
    block.push_back(L'\0');
  }
  if (block.empty()) block.push_back(L'\0');
  block.push_back(L'\0');
  return block;
}

std::wstring ScriptCommandLine(const std::wstring& script_path) {
  const std::size_t separator = script_path.find_last_of(L"\\/");
  const std::wstring name =
      separator == std::wstring::npos ? script_path : script_path.substr(separator + 1);
  // Only a name cmd takes as it stands: no variable, quote, operator or
  // separator in it.
  if (name.empty() || name.find_first_of(L"%!^&|<>()\" \t,;=") != std::wstring::npos) {
    throw StandardError(err::kBadFileNameOrNumber);
  }
  // "/d": no AutoRun command runs first (one could change the folder).
  // "/v:off": a "!" in the ROM's path stays as written even where delayed
  // expansion is on by default. ".\\": the working folder, never a folder of
  // PATH, even where NoDefaultCurrentDirectoryInExePath is set.
  return L"cmd.exe /d /v:off /c .\\" + name;
}

std::wstring CommandLine(const std::vector<std::wstring>& arguments) {
  // The C runtime's rules: quotes around each argument; backslashes are
  // doubled only where a quote follows them.
  std::wstring line;
  for (const std::wstring& argument : arguments) {
    if (!line.empty()) line += L' ';
    line += L'"';
    std::size_t backslashes = 0;
    for (wchar_t c : argument) {
      if (c == L'\\') {
        ++backslashes;
        continue;
      }
      line.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
      backslashes = 0;
      line += c;
    }
    line.append(2 * backslashes, L'\\');
    line += L'"';
  }
  return line;
}

ProcessLaunch::~ProcessLaunch() {
  StopWaiting();
  if (process_ != nullptr) CloseHandle(process_);
}

void ProcessLaunch::LaunchScript(const std::wstring& script_path,
                                 const std::wstring& working_folder,
                                 const EnvironmentChanges& environment) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWMINIMIZED;
  const std::wstring interpreter = SystemFolder() + L"\\cmd.exe";
  Start(interpreter, ScriptCommandLine(script_path), working_folder, environment,
        CREATE_NEW_CONSOLE, startup);
}

void ProcessLaunch::LaunchProgram(const std::wstring& program,
                                  const std::vector<std::wstring>& arguments,
                                  const std::wstring& working_folder,
                                  const EnvironmentChanges& environment) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  std::vector<std::wstring> all{program};
  all.insert(all.end(), arguments.begin(), arguments.end());
  // No application name: the system then finds the program by its command
  // line's first word, adding ".exe" where the name has no extension.
  Start({}, CommandLine(all), working_folder, environment, CREATE_NO_WINDOW, startup);
}

void ProcessLaunch::Start(const std::wstring& application, std::wstring command_line,
                          const std::wstring& working_folder, const EnvironmentChanges& environment,
                          DWORD flags, const STARTUPINFOW& startup) {
  std::vector<wchar_t> block = EnvironmentBlock(environment);
  STARTUPINFOW info = startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(application.empty() ? nullptr : application.c_str(), command_line.data(),
                      nullptr, nullptr, FALSE, flags | CREATE_UNICODE_ENVIRONMENT, block.data(),
                      working_folder.c_str(), &info, &process)) {
    const DWORD error = GetLastError();
    const int number = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                           ? err::kFileNotFound
                           : err::kInvalidProcedureCall;
    throw StandardError(number);
  }
  CloseHandle(process.hThread);
  StopWaiting();
  if (process_ != nullptr) CloseHandle(process_);
  process_ = process.hProcess;
  if (!RegisterWaitForSingleObject(&wait_, process_, &ProcessLaunch::ProcessEnded, this, INFINITE,
                                   WT_EXECUTEONLYONCE)) {
    wait_ = nullptr;
  }
}

bool ProcessLaunch::ScriptRunning() {
  return process_ != nullptr && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

void ProcessLaunch::SetEndNotice(std::function<void()> notice) {
  std::lock_guard lock(mutex_);
  notice_ = std::move(notice);
}

void CALLBACK ProcessLaunch::ProcessEnded(void* context, BOOLEAN) {
  auto* self = static_cast<ProcessLaunch*>(context);
  // Under the lock, so that a notice taken back is never run afterwards.
  std::lock_guard lock(self->mutex_);
  if (self->notice_) self->notice_();
}

void ProcessLaunch::StopWaiting() {
  // INVALID_HANDLE_VALUE: returns only once a running callback has finished,
  // so that none outlives this object.
  if (wait_ != nullptr) UnregisterWaitEx(wait_, INVALID_HANDLE_VALUE);
  wait_ = nullptr;
}

}  // namespace voderer::win32
