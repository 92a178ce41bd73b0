// The file services of the running system: the file table for the numbered
// files, the backend for everything that differs between systems.
#pragma once

#include "platform/file_table.h"
#include "platform/files.h"

namespace voderer {

class SystemFiles final : public Files {
 public:
  std::wstring ProgramFolder() override;
  std::optional<std::string> ToCodePage(std::wstring_view text) override;
  std::optional<std::wstring> CodePageSafePath(const std::wstring& path) override;
  int FreeFile() override;
  void Open(int file_number, const std::wstring& path, FileMode mode) override;
  void PrintLine(int file_number, std::wstring_view text) override;
  void Close(int file_number) override;
  void Kill(const std::wstring& path) override;
  std::optional<std::string> ReadSmallFile(const std::wstring& path, std::size_t limit) override;
  bool FolderExists(const std::wstring& path) override;
  bool FileExists(const std::wstring& path) override;

 private:
  FileTable files_;
};

}  // namespace voderer
