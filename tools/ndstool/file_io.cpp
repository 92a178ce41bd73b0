#include "file_io.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "error.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace nds {

std::atomic<std::int64_t> g_write_budget{-1};

namespace {

// Spends n bytes of the injected-fault budget; false when they exceed it.
bool within_budget(std::uint64_t n) {
  std::int64_t left = g_write_budget.load();
  if (left < 0) return true;
  if (n > static_cast<std::uint64_t>(left)) {
    g_write_budget = 0;
    return false;
  }
  g_write_budget = left - static_cast<std::int64_t>(n);
  return true;
}

#ifdef _WIN32
HANDLE h(std::intptr_t v) {
  return reinterpret_cast<HANDLE>(v);
}
#else
int fd(std::intptr_t v) {
  return static_cast<int>(v);
}
#endif

bool close_handle(std::intptr_t handle) {
#ifdef _WIN32
  return CloseHandle(h(handle)) != 0;
#else
  return ::close(fd(handle)) == 0;
#endif
}

// Reads exactly out.size() bytes at off; what names the operation in errors.
void read_exact(std::intptr_t handle, std::uint64_t off, std::span<std::uint8_t> out,
                const std::string& what) {
  std::size_t done = 0;
  while (done < out.size()) {
    std::size_t want = std::min<std::size_t>(out.size() - done, kIoBuffer);
#ifdef _WIN32
    OVERLAPPED ov{};
    std::uint64_t at = off + done;
    ov.Offset = static_cast<DWORD>(at);
    ov.OffsetHigh = static_cast<DWORD>(at >> 32);
    DWORD got = 0;
    if (!ReadFile(h(handle), out.data() + done, static_cast<DWORD>(want), &got, &ov))
      fail(what + ": " + last_os_error());
    std::size_t n = got;
#else
    ssize_t r = ::pread(fd(handle), out.data() + done, want, static_cast<off_t>(off + done));
    if (r < 0) {
      if (errno == EINTR) continue;
      fail(what + ": " + last_os_error());
    }
    std::size_t n = static_cast<std::size_t>(r);
#endif
    if (n == 0) fail(what + ": the file shrank while being read");
    done += n;
  }
}

}  // namespace

std::string last_os_error() {
#ifdef _WIN32
  DWORD e = GetLastError();
  switch (e) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return "No such file";
    case ERROR_ACCESS_DENIED: return "Permission denied";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return "No space left on device";
    case ERROR_SHARING_VIOLATION: return "File is in use";
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return "File exists";
    default: return "Windows error " + std::to_string(e);
  }
#else
  switch (errno) {
    case ENOENT: return "No such file";
    case EACCES:
    case EPERM: return "Permission denied";
    case ENOSPC: return "No space left on device";
    case EISDIR: return "Is a folder";
    default: return std::strerror(errno);
  }
#endif
}

void fail(const std::string& message) {
  throw Error(message);
}

std::string hex(std::uint64_t v) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(v));
  return buf;
}

std::string path_label(const fs::path& p) {
  auto u8 = p.u8string();
  return std::string(u8.begin(), u8.end());
}

InFile::InFile(const fs::path& path, std::string label) : label_(std::move(label)) {
  std::string problem;
#ifdef _WIN32
  std::error_code ec;
  if (fs::is_directory(path, ec)) fail("cannot read " + label_ + ": Is a folder");
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (f == INVALID_HANDLE_VALUE) fail("cannot read " + label_ + ": " + last_os_error());
  handle_ = reinterpret_cast<std::intptr_t>(f);
  LARGE_INTEGER sz;
  if (!GetFileSizeEx(f, &sz)) problem = last_os_error();
  size_ = static_cast<std::uint64_t>(sz.QuadPart);
#else
  int f = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (f < 0) fail("cannot read " + label_ + ": " + last_os_error());
  handle_ = f;
  struct stat st {};
  if (fstat(f, &st) != 0)
    problem = last_os_error();
  else if (S_ISDIR(st.st_mode))
    problem = "Is a folder";
  else if (!S_ISREG(st.st_mode))
    problem = "not a regular file";
  size_ = static_cast<std::uint64_t>(st.st_size);
#endif
  if (!problem.empty()) {
    close_handle(handle_);  // the destructor does not run for a failed constructor
    handle_ = -1;
    fail("cannot read " + label_ + ": " + problem);
  }
}

InFile::~InFile() {
  if (handle_ != -1) close_handle(handle_);
}

void InFile::read_at(std::uint64_t off, std::span<std::uint8_t> out) const {
  if (off > size_ || out.size() > size_ - off) fail(label_ + ": read beyond the end of the file");
  read_exact(handle_, off, out, "cannot read " + label_);
}

std::vector<std::uint8_t> read_small_file(const fs::path& path, const std::string& label,
                                          std::uint64_t max_size) {
  InFile f(path, label);
  if (f.size() > max_size)
    fail(label + ": too large (" + std::to_string(f.size()) + " bytes, at most " +
         std::to_string(max_size) + ")");
  return f.read_vector(0, static_cast<std::size_t>(f.size()));
}

OutFile::OutFile(const fs::path& path, std::string label, bool exclusive)
    : label_(std::move(label)), buf_(new std::uint8_t[kIoBuffer]) {
#ifdef _WIN32
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                         exclusive ? CREATE_NEW : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) fail("cannot create " + label_ + ": " + last_os_error());
  handle_ = reinterpret_cast<std::intptr_t>(f);
#else
  int flags = O_RDWR | O_CREAT | O_CLOEXEC | (exclusive ? O_EXCL : O_TRUNC);
  int f = ::open(path.c_str(), flags, 0666);
  if (f < 0) fail("cannot create " + label_ + ": " + last_os_error());
  handle_ = f;
#endif
}

OutFile::~OutFile() {
  if (handle_ != -1) close_handle(handle_);
}

void OutFile::raw_write(const std::uint8_t* data, std::size_t n) {
  if (!within_budget(n)) fail("cannot write " + label_ + ": No space left on device (injected)");
  while (n > 0) {
#ifdef _WIN32
    DWORD done = 0;
    if (!WriteFile(h(handle_), data, static_cast<DWORD>(std::min<std::size_t>(n, kIoBuffer)), &done,
                   nullptr))
      fail("cannot write " + label_ + ": " + last_os_error());
    std::size_t k = done;
#else
    ssize_t r = ::write(fd(handle_), data, n);
    if (r < 0) {
      if (errno == EINTR) continue;
      fail("cannot write " + label_ + ": " + last_os_error());
    }
    std::size_t k = static_cast<std::size_t>(r);
#endif
    if (k == 0) fail("cannot write " + label_ + ": No space left on device");
    data += k;
    n -= k;
  }
}

void OutFile::raw_write_at(std::uint64_t off, const std::uint8_t* data, std::size_t n) {
  if (!within_budget(n)) fail("cannot write " + label_ + ": No space left on device (injected)");
#ifdef _WIN32
  while (n > 0) {
    OVERLAPPED ov{};
    ov.Offset = static_cast<DWORD>(off);
    ov.OffsetHigh = static_cast<DWORD>(off >> 32);
    DWORD done = 0;
    if (!WriteFile(h(handle_), data, static_cast<DWORD>(n), &done, &ov) || done == 0)
      fail("cannot write " + label_ + ": " + last_os_error());
    data += done;
    n -= done;
    off += done;
  }
#else
  while (n > 0) {
    ssize_t r = ::pwrite(fd(handle_), data, n, static_cast<off_t>(off));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) fail("cannot write " + label_ + ": " + last_os_error());
    data += r;
    n -= static_cast<std::size_t>(r);
    off += static_cast<std::uint64_t>(r);
  }
#endif
}

void OutFile::flush() {
  if (used_ == 0) return;
  std::size_t n = used_;
  used_ = 0;
  raw_write(buf_.get(), n);
}

void OutFile::write(std::span<const std::uint8_t> data) {
  pos_ += data.size();
  while (!data.empty()) {
    std::size_t k = std::min(data.size(), kIoBuffer - used_);
    std::memcpy(buf_.get() + used_, data.data(), k);
    used_ += k;
    data = data.subspan(k);
    if (used_ == kIoBuffer) flush();
  }
}

void OutFile::fill(std::uint8_t byte, std::uint64_t count) {
  pos_ += count;
  while (count > 0) {
    std::size_t k = static_cast<std::size_t>(std::min<std::uint64_t>(count, kIoBuffer - used_));
    std::memset(buf_.get() + used_, byte, k);
    used_ += k;
    count -= k;
    if (used_ == kIoBuffer) flush();
  }
}

void OutFile::copy_from(const InFile& in, std::uint64_t off, std::uint64_t count) {
  if (off > in.size() || count > in.size() - off)
    fail(in.label() + ": read beyond the end of the file");
#if defined(__linux__)
  // Large ranges go file to file inside the kernel when it can.
  if (count >= (64u << 10)) {
    flush();
    loff_t src = static_cast<loff_t>(off);
    while (count > 0) {
      std::size_t step = static_cast<std::size_t>(std::min<std::uint64_t>(count, 1u << 30));
      if (!within_budget(step))
        fail("cannot write " + label_ + ": No space left on device (injected)");
      ssize_t r = ::copy_file_range(fd(in.native()), &src, fd(handle_), nullptr, step, 0);
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) break;  // unsupported here, or a short source: the plain copy below says which
      count -= static_cast<std::uint64_t>(r);
      pos_ += static_cast<std::uint64_t>(r);
      off += static_cast<std::uint64_t>(r);
    }
    if (count == 0) return;
  }
#endif
  // Plain copy through the free part of the output buffer.
  while (count > 0) {
    if (used_ == kIoBuffer) flush();
    std::size_t k = static_cast<std::size_t>(std::min<std::uint64_t>(count, kIoBuffer - used_));
    in.read_at(off, std::span<std::uint8_t>(buf_.get() + used_, k));
    used_ += k;
    pos_ += k;
    off += k;
    count -= k;
  }
}

void OutFile::write_at(std::uint64_t off, std::span<const std::uint8_t> data) {
  flush();
  raw_write_at(off, data.data(), data.size());
}

void OutFile::read_back(std::uint64_t off, std::span<std::uint8_t> out) {
  flush();
  read_exact(handle_, off, out, "cannot read back " + label_);
}

void OutFile::sync() {
  flush();
#ifdef _WIN32
  if (!FlushFileBuffers(h(handle_))) fail("cannot write " + label_ + ": " + last_os_error());
#else
  if (::fsync(fd(handle_)) != 0) fail("cannot write " + label_ + ": " + last_os_error());
#endif
}

void OutFile::close() {
  flush();
  if (handle_ == -1) return;
  bool ok = close_handle(handle_);
  handle_ = -1;
  if (!ok) fail("cannot write " + label_ + ": " + last_os_error());
}

bool is_read_only(const fs::path& path) {
#ifdef _WIN32
  DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY);
#else
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
#endif
}

}  // namespace nds
