#include "platform/system_files.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "platform/backend.h"

namespace voderer {

std::wstring SystemFiles::ProgramFolder() {
  return backend::ExecutableFolder();
}

std::optional<std::string> SystemFiles::ToCodePage(std::wstring_view text) {
  return backend::ToCodePage(text);
}

std::optional<std::wstring> SystemFiles::CodePageSafePath(const std::wstring& path) {
  return backend::CodePageSafePath(path);
}

int SystemFiles::FreeFile() {
  return files_.FreeFile();
}

void SystemFiles::Open(int file_number, const std::wstring& path, FileMode mode) {
  files_.RequireUnused(file_number);
  files_.Adopt(file_number, backend::OpenStream(backend::NativePath(path), mode));
}

void SystemFiles::PrintLine(int file_number, std::wstring_view text) {
  // Converted before anything is written, so a line is never half there.
  std::optional<std::string> bytes = ToCodePage(text);
  if (!bytes) throw StandardError(err::kInvalidProcedureCall);
  bytes->append("\r\n");
  files_.Write(file_number, *bytes);
}

void SystemFiles::Close(int file_number) {
  files_.Close(file_number);
}

void SystemFiles::Kill(const std::wstring& path) {
  RemoveFile(backend::NativePath(path));
}

std::optional<std::string> SystemFiles::ReadSmallFile(const std::wstring& path, std::size_t limit) {
  std::FILE* stream = backend::OpenForReading(backend::NativePath(path));
  if (stream == nullptr) {
    if (errno == ENOENT) return std::nullopt;
    throw FileError(std::error_code(errno, std::generic_category()));
  }
  std::string bytes;
  char buffer[4096];
  bool failed = false;
  while (bytes.size() <= limit) {
    const std::size_t got = std::fread(buffer, 1, sizeof buffer, stream);
    bytes.append(buffer, got);
    if (got < sizeof buffer) {
      failed = std::ferror(stream) != 0;
      break;
    }
  }
  std::fclose(stream);
  if (failed) throw StandardError(err::kDeviceIO);
  if (bytes.size() > limit) throw StandardError(err::kPathFileAccess);
  return bytes;
}

bool SystemFiles::FolderExists(const std::wstring& path) {
  std::error_code ignored;
  return std::filesystem::is_directory(backend::NativePath(path), ignored);
}

bool SystemFiles::FileExists(const std::wstring& path) {
  std::error_code ignored;
  return std::filesystem::is_regular_file(backend::NativePath(path), ignored);
}

}  // namespace voderer
