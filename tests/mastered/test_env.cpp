#include "test_env.h"

#include <stdexcept>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace voderer::testgen {

namespace {

#ifdef _WIN32
std::wstring widen(const std::string& s) {
  if (s.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

RunResult run_program(const fs::path& exe, const std::vector<std::string>& args,
                      const fs::path& cwd) {
  std::wstring cmd = L"\"" + exe.wstring() + L"\"";
  for (const std::string& a : args) cmd += L" \"" + widen(a) + L"\"";
  const fs::path log = cwd / "ndstool-output.txt";
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE out = CreateFileW(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot create the output log");
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = out;
  si.hStdError = out;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi{};
  const std::wstring dir = cwd.wstring();
  const BOOL ok = CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                 dir.c_str(), &si, &pi);
  const DWORD error = ok ? 0 : GetLastError();
  CloseHandle(out);
  // The system's code tells a missing program from a refused start.
  if (!ok)
    throw std::runtime_error("cannot start " + utf8(exe) + " (error " + std::to_string(error) +
                             ")");
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  RunResult r;
  r.status = static_cast<int>(code);
  const std::vector<std::uint8_t> text = read_bytes(log);
  r.output.assign(text.begin(), text.end());
  fs::remove(log);
  return r;
}
#else
RunResult run_program(const fs::path& exe, const std::vector<std::string>& args,
                      const fs::path& cwd) {
  int fds[2];
  if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
  std::vector<std::string> all = {exe.string()};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  argv.reserve(all.size() + 1);
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(fds[1], 1);
    dup2(fds[1], 2);
    close(fds[0]);
    close(fds[1]);
    if (chdir(cwd.c_str()) != 0) _exit(127);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(fds[1]);
  RunResult r;
  char buf[4096];
  ssize_t n;
  while ((n = read(fds[0], buf, sizeof buf)) > 0) r.output.append(buf, static_cast<std::size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return r;
}
#endif

// The script's relative part paths, with the Windows script's mixed separators there.
std::string part(const char* name) {
#ifdef _WIN32
  return std::string("..\\UNPACK/") + name;
#else
  return std::string("../UNPACK/") + name;
#endif
}

}  // namespace

fs::path ndstool_path() {
  const fs::path dist = voderer::testing::env_path("VODERER_DIST_DIR");
  if (dist.empty()) return {};
#ifdef _WIN32
  const fs::path exe = dist / "Bin" / "ndstool.exe";
#else
  const fs::path exe = dist / "Bin" / "ndstool";
#endif
  std::error_code ec;
  return fs::is_regular_file(exe, ec) ? exe : fs::path();
}

ScriptRun::ScriptRun(fs::path work) : work_(std::move(work)) {
  fs::create_directories(bin_dir());
}

RunResult ScriptRun::run(const std::vector<std::string>& args) const {
  return run_program(ndstool_path(), args, bin_dir());
}

RunResult ScriptRun::unpack(const fs::path& rom) const {
  std::error_code ec;
  fs::remove_all(unpack_dir(), ec);
  fs::create_directories(unpack_dir());
  return run({"-v", "-x", utf8(rom), "-9", part("arm9.bin"), "-7", part("arm7.bin"), "-y9",
              part("y9.bin"), "-y7", part("y7.bin"), "-d", part("data"), "-y", part("overlay"),
              "-t", part("banner.bin"), "-h", part("header.bin")});
}

RunResult ScriptRun::rebuild(const fs::path& rom) const {
  return run({"-c", utf8(rom), "-9", part("arm9.bin"), "-7", "arm7.bin", "-y9", part("y9.bin"),
              "-y7", part("y7.bin"), "-d", part("data"), "-y", part("overlay"), "-t",
              part("banner.bin"), "-h", part("header.bin")});
}

}  // namespace voderer::testgen
