#include "file_table.h"

#include <cerrno>

#ifndef _WIN32
#include "posix/code_page.h"
#endif

namespace voderer {

std::wstring StandardDescription(int number) {
  switch (number) {
    case err::kInvalidProcedureCall: return L"Invalid procedure call or argument";
    case err::kBadFileNameOrNumber: return L"Bad file name or number";
    case err::kFileNotFound: return L"File not found";
    case err::kBadFileMode: return L"Bad file mode";
    case err::kFileAlreadyOpen: return L"File already open";
    case err::kDeviceIO: return L"Device I/O error";
    case err::kTooManyFiles: return L"Too many files";
    case err::kPermissionDenied: return L"Permission denied";
    case err::kPathFileAccess: return L"Path/File access error";
    case err::kPathNotFound: return L"Path not found";
    default: return L"Application-defined or object-defined error";
  }
}

namespace {

RuntimeError Numbered(int number) {
  return RuntimeError(number, StandardDescription(number));
}

}  // namespace

RuntimeError FileError(std::error_code code) {
  using std::errc;
  if (code == errc::no_such_file_or_directory || code == errc::not_a_directory) {
    return Numbered(err::kPathNotFound);
  }
  if (code == errc::device_or_resource_busy || code == errc::text_file_busy) {
    return Numbered(err::kPermissionDenied);
  }
  if (code == errc::permission_denied || code == errc::operation_not_permitted ||
      code == errc::read_only_file_system || code == errc::is_a_directory) {
    return Numbered(err::kPathFileAccess);
  }
  if (code == errc::too_many_files_open || code == errc::too_many_files_open_in_system) {
    return Numbered(err::kTooManyFiles);
  }
  if (code == errc::filename_too_long || code == errc::invalid_argument) {
    return Numbered(err::kBadFileNameOrNumber);
  }
  return Numbered(err::kDeviceIO);
}

std::filesystem::path FilePath(const std::wstring& path) {
#ifndef _WIN32
  // File names are bytes in the user's locale; std::filesystem would
  // convert through the C locale, which has nothing beyond ASCII.
  if (std::optional<std::string> bytes = posix::ToLocaleEncoding(path)) {
    return std::filesystem::path(*bytes);
  }
  throw Numbered(err::kBadFileNameOrNumber);
#else
  try {
    return std::filesystem::path(path);
  } catch (const std::exception&) {
    // Text that has no spelling as a file name on this system.
    throw Numbered(err::kBadFileNameOrNumber);
  }
#endif
}

void RemoveFile(const std::wstring& path) {
  std::error_code code;
  const std::filesystem::path file = FilePath(path);
  std::filesystem::remove(file, code);
  if (!code || code == std::errc::no_such_file_or_directory) return;
  // A read-only file system refuses even a file that is not there; what
  // is not there needs no removing.
  std::error_code probe;
  if (std::filesystem::symlink_status(file, probe).type() == std::filesystem::file_type::not_found)
    return;
  throw FileError(code);
}

FileTable::~FileTable() {
  for (std::FILE* stream : streams_) {
    if (stream != nullptr) std::fclose(stream);
  }
}

int FileTable::FreeFile() const {
  for (int n = kLowest; n <= kHighest; ++n) {
    if (streams_[static_cast<std::size_t>(n)] == nullptr) return n;
  }
  throw Numbered(err::kTooManyFiles);
}

void FileTable::RequireUnused(int file_number) const {
  if (file_number < kLowest || file_number > kHighest) throw Numbered(err::kBadFileNameOrNumber);
  if (streams_[static_cast<std::size_t>(file_number)] != nullptr) {
    throw Numbered(err::kFileAlreadyOpen);
  }
}

void FileTable::Adopt(int file_number, std::FILE* stream) {
  if (stream == nullptr) throw FileError(std::error_code(errno, std::generic_category()));
  try {
    RequireUnused(file_number);
  } catch (const RuntimeError&) {
    std::fclose(stream);
    throw;
  }
  streams_[static_cast<std::size_t>(file_number)] = stream;
}

std::FILE*& FileTable::Slot(int file_number) {
  if (file_number < kLowest || file_number > kHighest ||
      streams_[static_cast<std::size_t>(file_number)] == nullptr) {
    throw Numbered(err::kBadFileNameOrNumber);
  }
  return streams_[static_cast<std::size_t>(file_number)];
}

void FileTable::Write(int file_number, std::string_view bytes) {
  std::FILE* stream = Slot(file_number);
  if (std::fwrite(bytes.data(), 1, bytes.size(), stream) != bytes.size()) {
    throw Numbered(err::kDeviceIO);
  }
}

void FileTable::Close(int file_number) {
  if (file_number < kLowest || file_number > kHighest) return;
  std::FILE*& slot = streams_[static_cast<std::size_t>(file_number)];
  if (slot == nullptr) return;
  std::FILE* stream = slot;
  slot = nullptr;
  const bool flushed = std::fflush(stream) == 0;
  const bool closed = std::fclose(stream) == 0;
  if (!flushed || !closed) throw Numbered(err::kDeviceIO);
}

}  // namespace voderer
