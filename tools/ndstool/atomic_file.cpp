#include "atomic_file.h"

#include "error.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#endif

#include <string>

namespace nds {

namespace fs = std::filesystem;

namespace {

unsigned long process_id() {
#ifdef _WIN32
  return GetCurrentProcessId();
#else
  return static_cast<unsigned long>(getpid());
#endif
}

// False only when the process surely no longer exists.
bool process_alive(unsigned long pid) {
#ifdef _WIN32
  HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (h == nullptr) return GetLastError() != ERROR_INVALID_PARAMETER;
  const bool running = WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
  CloseHandle(h);
  return running;
#else
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
#endif
}

// Temporary files for this target that killed runs left behind: as large as
// the image each, so they are removed rather than left to pile up. Files of
// runs still going are kept.
void remove_stale_temps(const fs::path& dir, const fs::path& target_name) {
  // Native strings: names that the narrow code page cannot carry still match.
  using String = fs::path::string_type;
  const String prefix = fs::path(kTempPrefix).native();
  String suffix(1, fs::path::value_type('-'));
  suffix += target_name.native();
  std::error_code ec;
  for (fs::directory_iterator it(dir.empty() ? fs::path(".") : dir, ec), end; !ec && it != end;
       it.increment(ec)) {
    const String name = it->path().filename().native();
    if (name.size() <= prefix.size() + suffix.size() ||
        name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
      continue;
    const String digits = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    unsigned long pid = 0;
    bool number = !digits.empty() && digits.size() <= 10;
    for (auto c : digits) {
      if (c < '0' || c > '9') {
        number = false;
        break;
      }
      pid = pid * 10 + static_cast<unsigned long>(c - '0');
    }
    if (!number || pid == 0 || pid > 0x7FFFFFFFul || process_alive(pid)) continue;
    std::error_code ignored;
    fs::remove(it->path(), ignored);
  }
}

}  // namespace

AtomicReplace::AtomicReplace(const PartPath& target) : target_(target) {
  std::error_code ec;
  // A link to the image: the file it names is replaced, not the link.
  if (fs::is_symlink(target_.path, ec)) {
    fs::path real = fs::canonical(target_.path, ec);
    if (ec) fail("cannot write " + target.label + ": " + ec.message());
    target_.path = real;
  }
  fs::path dir = target_.path.parent_path();
  if (!dir.empty() && !fs::is_directory(dir, ec))
    fail("cannot write " + target.label + ": its folder does not exist");
  if (fs::is_directory(target_.path, ec)) fail("cannot write " + target.label + ": Is a folder");
  if (is_read_only(target_.path)) fail("cannot write " + target.label + ": the file is read-only");
  // The process ID keeps parallel runs apart; a leftover of a killed run
  // with the same ID is simply replaced.
  fs::path name = kTempPrefix + std::to_string(process_id()) + "-";
  name += target_.path.filename();
  temp_ = dir / name;
  remove_stale_temps(dir, target_.path.filename());
  fs::remove(temp_, ec);
  out_.emplace(temp_, target.label + " (temporary file)", true);
}

AtomicReplace::~AtomicReplace() {
  if (done_) return;
  out_.reset();
  std::error_code ec;
  fs::remove(temp_, ec);
}

void AtomicReplace::commit() {
  out_->sync();
  out_->close();
  std::error_code ec;
  if (fs::exists(target_.path, ec))
    fs::permissions(temp_, fs::status(target_.path, ec).permissions(), ec);
#ifdef _WIN32
  if (!MoveFileExW(temp_.c_str(), target_.path.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    fail("cannot replace " + target_.label + ": " + last_os_error());
#else
  if (::rename(temp_.c_str(), target_.path.c_str()) != 0)
    fail("cannot replace " + target_.label + ": " + last_os_error());
  // Make the rename itself durable.
  fs::path dir = target_.path.parent_path();
  int d = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (d >= 0) {
    ::fsync(d);
    ::close(d);
  }
#endif
  done_ = true;
}

}  // namespace nds
