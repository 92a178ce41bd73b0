#include "nds/io/atomic_file.h"

#include <string>

#include "nds/io/error.h"
#include "nds/io/os_file.h"

namespace nds {

namespace fs = std::filesystem;

namespace {

using NativeString = fs::path::string_type;

// The process ID in a temporary file's name; 0 when the name holds none.
unsigned long pid_in(const NativeString& digits) {
  if (digits.empty() || digits.size() > 10) return 0;
  unsigned long pid = 0;
  for (auto c : digits) {
    if (c < '0' || c > '9') return 0;
    pid = pid * 10 + static_cast<unsigned long>(c - '0');
  }
  return pid <= 0x7FFFFFFFul ? pid : 0;
}

// Temporary files for this target that killed runs left behind: as large as
// the image each, so they are removed rather than left to pile up. Files of
// runs still going are kept.
void remove_stale_temps(const fs::path& dir, const fs::path& target_name) {
  // Native strings: names that the narrow code page cannot carry still match.
  const NativeString prefix = fs::path(kTempPrefix).native();
  NativeString suffix(1, fs::path::value_type('-'));
  suffix += target_name.native();
  std::error_code ec;
  for (fs::directory_iterator it(dir.empty() ? fs::path(".") : dir, ec), end; !ec && it != end;
       it.increment(ec)) {
    const NativeString name = it->path().filename().native();
    if (name.size() <= prefix.size() + suffix.size() ||
        name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
      continue;
    const unsigned long pid =
        pid_in(name.substr(prefix.size(), name.size() - prefix.size() - suffix.size()));
    if (pid == 0 || os::process_alive(pid)) continue;
    std::error_code ignored;
    fs::remove(it->path(), ignored);
  }
}

[[noreturn]] void cannot_write(const PartPath& target, const std::string& why,
                               Cause cause = Cause::None) {
  fail(ErrorKind::WriteFailed, "cannot write " + target.label + ": " + why, cause);
}

}  // namespace

AtomicReplace::AtomicReplace(const PartPath& target, WriteBudget* budget) : target_(target) {
  std::error_code ec;
  // A link to the image: the file it names is replaced, not the link.
  if (fs::is_symlink(target_.path, ec)) {
    fs::path real = fs::canonical(target_.path, ec);
    if (ec) cannot_write(target, ec.message(), os::cause_of(ec));
    target_.path = real;
  }
  const fs::path dir = target_.path.parent_path();
  if (!dir.empty() && !fs::is_directory(dir, ec)) cannot_write(target, "its folder does not exist");
  if (fs::is_directory(target_.path, ec)) cannot_write(target, "Is a folder");
  if (os::is_read_only(target_.path))
    cannot_write(target, "the file is read-only", Cause::ReadOnly);
  // The process ID keeps parallel runs apart; a leftover of a killed run
  // with the same ID is simply replaced.
  fs::path name = kTempPrefix + std::to_string(os::process_id()) + "-";
  name += target_.path.filename();
  temp_ = dir / name;
  remove_stale_temps(dir, target_.path.filename());
  fs::remove(temp_, ec);
  out_.emplace(temp_, target.label + " (temporary file)", true, budget);
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
  if (!os::replace_file(temp_, target_.path))
    fail(ErrorKind::WriteFailed, "cannot replace " + target_.label + ": " + os::last_error(),
         os::last_cause());
  done_ = true;
}

}  // namespace nds
