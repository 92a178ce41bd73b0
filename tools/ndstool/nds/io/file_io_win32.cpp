// The file calls of Windows (os_file.h).
#include <windows.h>

#include <algorithm>

#include "nds/io/os_file.h"

namespace nds::os {

namespace {

HANDLE native(Handle handle) {
  return reinterpret_cast<HANDLE>(handle);
}

OVERLAPPED at(std::uint64_t offset) {
  OVERLAPPED position{};
  position.Offset = static_cast<DWORD>(offset);
  position.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return position;
}

// One call moves at most what a DWORD counts.
DWORD chunk(std::size_t n) {
  return static_cast<DWORD>(std::min<std::size_t>(n, 1u << 30));
}

}  // namespace

Opened open_for_reading(const std::filesystem::path& path) {
  Opened opened;
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    opened.problem = "Is a folder";
    return opened;
  }
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    opened.problem = last_error();
    opened.cause = last_cause();
    return opened;
  }
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file, &size)) {
    opened.problem = last_error();
    opened.cause = last_cause();
    CloseHandle(file);
    return opened;
  }
  opened.handle = reinterpret_cast<Handle>(file);
  opened.size = static_cast<std::uint64_t>(size.QuadPart);
  return opened;
}

Handle create_file(const std::filesystem::path& path, bool exclusive) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            exclusive ? CREATE_NEW : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  return file == INVALID_HANDLE_VALUE ? kNoHandle : reinterpret_cast<Handle>(file);
}

bool close(Handle handle) {
  return CloseHandle(native(handle)) != 0;
}

std::int64_t read_at(Handle handle, std::uint64_t offset, std::uint8_t* data, std::size_t n) {
  OVERLAPPED position = at(offset);
  DWORD done = 0;
  if (!ReadFile(native(handle), data, chunk(n), &done, &position)) return -1;
  return done;
}

std::int64_t write(Handle handle, const std::uint8_t* data, std::size_t n) {
  DWORD done = 0;
  if (!WriteFile(native(handle), data, chunk(n), &done, nullptr)) return -1;
  return done;
}

std::int64_t write_at(Handle handle, std::uint64_t offset, const std::uint8_t* data,
                      std::size_t n) {
  OVERLAPPED position = at(offset);
  DWORD done = 0;
  if (!WriteFile(native(handle), data, chunk(n), &done, &position)) return -1;
  return done;
}

bool sync(Handle handle) {
  return FlushFileBuffers(native(handle)) != 0;
}

// Reading serves: the files are read through the buffers anyway here.
const std::uint8_t* map_view(Handle, std::uint64_t, std::size_t) {
  return nullptr;
}

void unmap_view(const std::uint8_t*, std::size_t) {}

bool can_copy_in_kernel() {
  return false;
}

std::int64_t copy_in_kernel(Handle, std::uint64_t, Handle, std::size_t) {
  return 0;
}

bool is_read_only(const std::filesystem::path& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

bool replace_file(const std::filesystem::path& from, const std::filesystem::path& to) {
  return MoveFileExW(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

unsigned long process_id() {
  return GetCurrentProcessId();
}

bool process_alive(unsigned long pid) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (process == nullptr) return GetLastError() != ERROR_INVALID_PARAMETER;
  const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return running;
}

std::string last_error() {
  const DWORD error = GetLastError();
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return "No such file";
    case ERROR_ACCESS_DENIED: return "Permission denied";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return "No space left on device";
    case ERROR_SHARING_VIOLATION: return "File is in use";
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return "File exists";
    default: return "Windows error " + std::to_string(error);
  }
}

namespace {

Cause cause_of_code(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return Cause::NotFound;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return Cause::NoSpace;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT: return Cause::ReadOnly;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE: return Cause::InUse;
    default: return Cause::None;
  }
}

}  // namespace

Cause last_cause() {
  return cause_of_code(GetLastError());
}

Cause cause_of(const std::error_code& ec) {
  if (!ec) return Cause::None;
  if (ec.category() == std::system_category()) return cause_of_code(static_cast<DWORD>(ec.value()));
  if (ec == std::errc::no_space_on_device) return Cause::NoSpace;
  if (ec == std::errc::permission_denied || ec == std::errc::read_only_file_system)
    return Cause::ReadOnly;
  if (ec == std::errc::no_such_file_or_directory) return Cause::NotFound;
  return Cause::None;
}

}  // namespace nds::os
