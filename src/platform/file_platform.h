// The file services of both backends, built on the file table: only opening
// a stream differs between systems.
#pragma once

#include <cstdio>
#include <filesystem>

#include "file_table.h"
#include "platform.h"

namespace voderer {

class FilePlatform : public Platform {
 public:
  int FreeFile() override;
  void Open(int file_number, const std::wstring& path, FileMode mode) override;
  void PrintLine(int file_number, std::wstring_view text) override;
  void Close(int file_number) override;
  void Kill(const std::wstring& path) override;
  bool FolderExists(const std::wstring& path) override;

 protected:
  // Opens `path` for binary writing, truncating or appending; null with
  // errno set on failure.
  virtual std::FILE* OpenStream(const std::filesystem::path& path, FileMode mode) = 0;

 private:
  FileTable files_;
};

}  // namespace voderer
