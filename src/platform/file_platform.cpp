#include "file_platform.h"

namespace voderer {

int FilePlatform::FreeFile() {
  return files_.FreeFile();
}

void FilePlatform::Open(int file_number, const std::wstring& path, FileMode mode) {
  files_.RequireUnused(file_number);
  files_.Adopt(file_number, OpenStream(FilePath(path), mode));
}

void FilePlatform::PrintLine(int file_number, std::wstring_view text) {
  // Converted before anything is written, so a line is never half there.
  std::optional<std::string> bytes = ToCodePage(text);
  if (!bytes) {
    throw RuntimeError(err::kInvalidProcedureCall, StandardDescription(err::kInvalidProcedureCall));
  }
  bytes->append("\r\n");
  files_.Write(file_number, *bytes);
}

void FilePlatform::Close(int file_number) {
  files_.Close(file_number);
}

void FilePlatform::Kill(const std::wstring& path) {
  RemoveFile(path);
}

bool FilePlatform::FolderExists(const std::wstring& path) {
  std::error_code ignored;
  return std::filesystem::is_directory(FilePath(path), ignored);
}

}  // namespace voderer
