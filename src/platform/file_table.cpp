#include "platform/file_table.h"

#include <cerrno>

namespace voderer {

RuntimeError FileError(std::error_code code) {
  using std::errc;
  if (code == errc::no_such_file_or_directory || code == errc::not_a_directory) {
    return StandardError(err::kPathNotFound);
  }
  if (code == errc::device_or_resource_busy || code == errc::text_file_busy) {
    return StandardError(err::kPermissionDenied);
  }
  if (code == errc::permission_denied || code == errc::operation_not_permitted ||
      code == errc::read_only_file_system || code == errc::is_a_directory) {
    return StandardError(err::kPathFileAccess);
  }
  if (code == errc::too_many_files_open || code == errc::too_many_files_open_in_system) {
    return StandardError(err::kTooManyFiles);
  }
  if (code == errc::filename_too_long || code == errc::invalid_argument) {
    return StandardError(err::kBadFileNameOrNumber);
  }
  return StandardError(err::kDeviceIO);
}

void RemoveFile(const std::filesystem::path& file) {
  std::error_code code;
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
  throw StandardError(err::kTooManyFiles);
}

void FileTable::RequireUnused(int file_number) const {
  if (file_number < kLowest || file_number > kHighest)
    throw StandardError(err::kBadFileNameOrNumber);
  if (streams_[static_cast<std::size_t>(file_number)] != nullptr) {
    throw StandardError(err::kFileAlreadyOpen);
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
    throw StandardError(err::kBadFileNameOrNumber);
  }
  return streams_[static_cast<std::size_t>(file_number)];
}

void FileTable::Write(int file_number, std::string_view bytes) {
  std::FILE* stream = Slot(file_number);
  if (std::fwrite(bytes.data(), 1, bytes.size(), stream) != bytes.size()) {
    throw StandardError(err::kDeviceIO);
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
  if (!flushed || !closed) throw StandardError(err::kDeviceIO);
}

}  // namespace voderer
