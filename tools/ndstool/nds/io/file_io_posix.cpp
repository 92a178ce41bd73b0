// The file calls of POSIX systems (os_file.h).
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "nds/io/os_file.h"

namespace nds::os {

namespace {

int fd(Handle handle) {
  return static_cast<int>(handle);
}

// Runs a call again while a signal interrupts it.
template <class Call>
auto retry(Call call) {
  for (;;) {
    auto result = call();
    if (result >= 0 || errno != EINTR) return result;
  }
}

}  // namespace

Opened open_for_reading(const std::filesystem::path& path) {
  Opened opened;
  const int file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0) {
    opened.problem = last_error();
    opened.cause = last_cause();
    return opened;
  }
  struct stat st {};
  if (fstat(file, &st) != 0) {
    opened.problem = last_error();
    opened.cause = last_cause();
  } else if (S_ISDIR(st.st_mode)) {
    opened.problem = "Is a folder";
  } else if (!S_ISREG(st.st_mode)) {
    opened.problem = "not a regular file";
  }
  if (!opened.problem.empty()) {
    ::close(file);
    return opened;
  }
  opened.handle = file;
  opened.size = static_cast<std::uint64_t>(st.st_size);
  return opened;
}

Handle create_file(const std::filesystem::path& path, bool exclusive) {
  const int flags = O_RDWR | O_CREAT | O_CLOEXEC | (exclusive ? O_EXCL : O_TRUNC);
  const int file = ::open(path.c_str(), flags, 0666);
  return file < 0 ? kNoHandle : file;
}

bool close(Handle handle) {
  return ::close(fd(handle)) == 0;
}

std::int64_t read_at(Handle handle, std::uint64_t offset, std::uint8_t* data, std::size_t n) {
  return retry([&] { return ::pread(fd(handle), data, n, static_cast<off_t>(offset)); });
}

std::int64_t write(Handle handle, const std::uint8_t* data, std::size_t n) {
  return retry([&] { return ::write(fd(handle), data, n); });
}

std::int64_t write_at(Handle handle, std::uint64_t offset, const std::uint8_t* data,
                      std::size_t n) {
  return retry([&] { return ::pwrite(fd(handle), data, n, static_cast<off_t>(offset)); });
}

bool sync(Handle handle) {
  return ::fsync(fd(handle)) == 0;
}

const std::uint8_t* map_view(Handle handle, std::uint64_t offset, std::size_t n) {
  int flags = MAP_SHARED;
#ifdef MAP_POPULATE
  flags |= MAP_POPULATE;  // one call maps the bytes instead of a fault per page
#endif
  void* view = ::mmap(nullptr, n, PROT_READ, flags, fd(handle), static_cast<off_t>(offset));
  return view == MAP_FAILED ? nullptr : static_cast<const std::uint8_t*>(view);
}

void unmap_view(const std::uint8_t* view, std::size_t n) {
  ::munmap(const_cast<std::uint8_t*>(view), n);
}

#ifdef __linux__
bool can_copy_in_kernel() {
  return true;
}

std::int64_t copy_in_kernel(Handle from, std::uint64_t offset, Handle to, std::size_t n) {
  auto source = static_cast<loff_t>(offset);
  const auto copied =
      retry([&] { return ::copy_file_range(fd(from), &source, fd(to), nullptr, n, 0); });
  return copied < 0 ? 0 : copied;
}
#else
bool can_copy_in_kernel() {
  return false;
}

std::int64_t copy_in_kernel(Handle, std::uint64_t, Handle, std::size_t) {
  return 0;
}
#endif

bool is_read_only(const std::filesystem::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

bool replace_file(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) return false;
  // Make the rename itself durable.
  const std::filesystem::path dir = to.parent_path();
  const int folder = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
  return true;
}

unsigned long process_id() {
  return static_cast<unsigned long>(getpid());
}

bool process_alive(unsigned long pid) {
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

std::string last_error() {
  switch (errno) {
    case ENOENT: return "No such file";
    case EACCES:
    case EPERM: return "Permission denied";
    case ENOSPC: return "No space left on device";
    case EISDIR: return "Is a folder";
    default: return std::strerror(errno);
  }
}

namespace {

Cause cause_of_errno(int error) {
  switch (error) {
    case ENOENT: return Cause::NotFound;
    case ENOSPC:
    case EDQUOT: return Cause::NoSpace;
    case EROFS:
    case EACCES:
    case EPERM: return Cause::ReadOnly;
    case ETXTBSY:
    case EBUSY: return Cause::InUse;
    default: return Cause::None;
  }
}

}  // namespace

Cause last_cause() {
  return cause_of_errno(errno);
}

Cause cause_of(const std::error_code& ec) {
  return ec ? cause_of_errno(ec.default_error_condition().value()) : Cause::None;
}

}  // namespace nds::os
