#include "platform/system_files.h"

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

bool SystemFiles::FolderExists(const std::wstring& path) {
  std::error_code ignored;
  return std::filesystem::is_directory(backend::NativePath(path), ignored);
}

}  // namespace voderer
