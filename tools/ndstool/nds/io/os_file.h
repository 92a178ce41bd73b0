// What each system's file calls give the library, behind one header:
// file_io_posix.cpp and file_io_win32.cpp define it, and the build picks
// the one of the system it builds for. Calls that fail return kNoHandle,
// false or -1; last_error() then says why in the words messages use.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

#include "nds/io/error.h"

namespace nds::os {

using Handle = std::intptr_t;
inline constexpr Handle kNoHandle = -1;

struct Opened {
  Handle handle = kNoHandle;
  std::uint64_t size = 0;
  std::string problem;  // why it cannot be read as a regular file; empty when opened
  Cause cause = Cause::None;
};

Opened open_for_reading(const std::filesystem::path& path);
// A new file for reading and writing; with exclusive, an existing one is an error.
Handle create_file(const std::filesystem::path& path, bool exclusive);
bool close(Handle handle);

// Each moves up to n bytes and returns how many it moved (0: end of file,
// or nothing written), or -1.
std::int64_t read_at(Handle handle, std::uint64_t offset, std::uint8_t* data, std::size_t n);
std::int64_t write(Handle handle, const std::uint8_t* data, std::size_t n);
std::int64_t write_at(Handle handle, std::uint64_t offset, const std::uint8_t* data, std::size_t n);
bool sync(Handle handle);

// A read-only view of n bytes of a file at offset (a multiple of 1 MiB),
// so that they can be hashed without being copied; nullptr where the system
// cannot give one, and the caller reads them instead.
const std::uint8_t* map_view(Handle handle, std::uint64_t offset, std::size_t n);
void unmap_view(const std::uint8_t* view, std::size_t n);

// Whether copy_in_kernel can move bytes file to file without passing them
// through the process; it returns how many it copied, 0 when it cannot.
bool can_copy_in_kernel();
std::int64_t copy_in_kernel(Handle from, std::uint64_t offset, Handle to, std::size_t n);

// Write-protected in the file's attributes (no write permission bit at all).
bool is_read_only(const std::filesystem::path& path);

// Renames from over to, durably where the system can say so.
bool replace_file(const std::filesystem::path& from, const std::filesystem::path& to);

unsigned long process_id();
// False only when the process surely no longer exists.
bool process_alive(unsigned long pid);

// The last failure of a call above: "No such file", "Permission denied", ...
std::string last_error();
// The same failure sorted for the user: a full disk, a read-only one, a file in use.
Cause last_cause();
// An error of std::filesystem, sorted alike.
Cause cause_of(const std::error_code& ec);

}  // namespace nds::os
