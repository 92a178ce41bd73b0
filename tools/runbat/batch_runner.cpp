#include "batch_runner.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "batch_line.h"

namespace runbat {

namespace fs = std::filesystem;

namespace {

// The command interpreter's own messages, so that a console shows what the
// user would see on Windows.
bool Fail(const std::string& message) {
  std::cerr << message << '\n';
  return false;
}

bool OnlySwitches(const BatchLine& line, std::string_view allowed) {
  for (const std::string& s : line.switches) {
    if (s.size() != 1 || allowed.find(s[0]) == std::string_view::npos) {
      return Fail("Invalid switch - \"" + s + "\".");
    }
  }
  return true;
}

bool Has(const BatchLine& line, const char* name) {
  for (const std::string& s : line.switches) {
    if (s == name) return true;
  }
  return false;
}

bool RemoveDirectories(const BatchLine& line) {
  if (!OnlySwitches(line, "QS")) return false;
  if (line.args.empty()) return Fail("The syntax of the command is incorrect.");
  bool ok = true;
  for (const std::string& arg : line.args) {
    std::error_code code;
    const fs::file_status status = fs::symlink_status(arg, code);
    if (!fs::exists(status)) {
      ok = Fail("The system cannot find the file specified.");
    } else if (!fs::is_directory(status)) {
      ok = Fail("The directory name is invalid.");
    } else if (Has(line, "S")) {
      if (fs::remove_all(arg, code) == static_cast<std::uintmax_t>(-1) || code) {
        ok = Fail("Access is denied.");
      }
    } else if (!fs::remove(arg, code)) {
      ok = Fail("The directory is not empty.");
    }
  }
  return ok;
}

bool MakeDirectories(const BatchLine& line) {
  if (!OnlySwitches(line, "")) return false;
  if (line.args.empty()) return Fail("The syntax of the command is incorrect.");
  bool ok = true;
  for (const std::string& arg : line.args) {
    std::error_code code;
    if (fs::exists(fs::symlink_status(arg, code))) {
      ok = Fail("A subdirectory or file " + arg + " already exists.");
    } else if (!fs::create_directories(arg, code) || code) {
      ok = Fail("The system cannot find the path specified.");
    }
  }
  return ok;
}

bool ChangeDirectory(const BatchLine& line) {
  if (!OnlySwitches(line, "D")) return false;
  std::error_code code;
  if (line.args.empty()) {
    std::cout << fs::current_path(code).string() << '\n';
    return !code;
  }
  // cd takes the rest of the line as one folder, spaces and all.
  std::string folder = line.args.front();
  for (std::size_t i = 1; i < line.args.size(); ++i) folder += ' ' + line.args[i];
  fs::current_path(folder, code);
  if (code) return Fail("The system cannot find the path specified.");
  return true;
}

bool DeleteFiles(const BatchLine& line) {
  if (!OnlySwitches(line, "QF")) return false;
  if (line.args.empty()) return Fail("The syntax of the command is incorrect.");
  bool ok = true;
  for (const std::string& arg : line.args) {
    std::error_code code;
    const fs::file_status status = fs::symlink_status(arg, code);
    if (!fs::exists(status)) {
      ok = Fail("Could Not Find " + fs::absolute(arg, code).string());
    } else if (fs::is_directory(status) || !fs::remove(arg, code)) {
      ok = Fail("Access is denied.");
    }
  }
  return ok;
}

bool IsProgram(const fs::path& path) {
  std::error_code code;
  return fs::is_regular_file(path, code) && access(path.c_str(), X_OK) == 0;
}

// The current folder first, then PATH, as the command interpreter looks.
std::optional<fs::path> FindProgram(const std::string& name) {
  if (name.empty()) return std::nullopt;
  if (name.find('/') != std::string::npos) {
    if (IsProgram(name)) return fs::path(name);
    return std::nullopt;
  }
  std::error_code code;
  const fs::path here = fs::current_path(code) / name;
  if (IsProgram(here)) return here;
  const char* path_variable = std::getenv("PATH");
  std::string_view rest = path_variable != nullptr ? path_variable : "";
  while (true) {
    const std::size_t colon = rest.find(':');
    const std::string_view dir = rest.substr(0, colon);
    const fs::path candidate = (dir.empty() ? fs::path(".") : fs::path(dir)) / name;
    if (IsProgram(candidate)) return candidate;
    if (colon == std::string_view::npos) break;
    rest.remove_prefix(colon + 1);
  }
  return std::nullopt;
}

bool RunProgram(const BatchLine& line) {
  const std::optional<fs::path> program = FindProgram(line.program);
  if (!program) {
    return Fail("'" + line.program +
                "' is not recognized as an internal or external command,\n"
                "operable program or batch file.");
  }
  std::vector<std::string> words{line.program};
  words.insert(words.end(), line.args.begin(), line.args.end());
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  std::cout.flush();
  std::cerr.flush();
  const pid_t pid = fork();
  if (pid < 0)
    return Fail(std::string("Cannot start ") + line.program + ": " + std::strerror(errno));
  if (pid == 0) {
    execv(program->c_str(), argv.data());
    std::cerr << "Cannot start " << line.program << ": " << std::strerror(errno) << '\n';
    _exit(127);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return Fail(std::string("Lost ") + line.program);
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int RunBatchScript(std::string_view script) {
  bool echo = true;
  bool all_ok = true;
  while (!script.empty()) {
    const std::size_t end = script.find('\n');
    const std::string_view raw = script.substr(0, end);
    script.remove_prefix(end == std::string_view::npos ? script.size() : end + 1);

    const BatchLine line = ParseBatchLine(raw);
    if (echo && !line.quiet && line.verb != Verb::kNothing) {
      std::error_code code;
      std::cout << fs::current_path(code).string() << '>' << line.text << '\n';
    }
    bool ok = true;
    switch (line.verb) {
      case Verb::kNothing: break;
      case Verb::kEcho: {
        std::string word = line.echo_text;
        for (char& c : word) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (word == "OFF") {
          echo = false;
        } else if (word == "ON") {
          echo = true;
        } else if (word.empty()) {
          std::cout << (echo ? "ECHO is on." : "ECHO is off.") << '\n';
        } else {
          std::cout << line.echo_text << '\n';
        }
        break;
      }
      case Verb::kRd: ok = RemoveDirectories(line); break;
      case Verb::kMkDir: ok = MakeDirectories(line); break;
      case Verb::kCd: ok = ChangeDirectory(line); break;
      case Verb::kDel: ok = DeleteFiles(line); break;
      case Verb::kExternal: ok = RunProgram(line); break;
    }
    all_ok = all_ok && ok;
  }
  std::cout.flush();
  return all_ok ? 0 : 1;
}

}  // namespace runbat
