// The runtime's table of open sequential files: small numbers naming open
// streams, shared by both backends. Opening itself is the backend's (it knows
// how the system spells a path); everything after that lives here.
#pragma once

#include <array>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "platform/runtime.h"

namespace voderer {

// A RuntimeError for a failed file operation, numbered as the runtime
// numbers it (path not found, permission denied, ...).
RuntimeError FileError(std::error_code code);

// Removes a file; quiet when it is already gone.
void RemoveFile(const std::filesystem::path& file);

class FileTable {
 public:
  static constexpr int kLowest = 1;
  static constexpr int kHighest = 255;

  FileTable() = default;
  FileTable(const FileTable&) = delete;
  FileTable& operator=(const FileTable&) = delete;
  ~FileTable();

  // The lowest number not in use; RuntimeError when all are taken.
  int FreeFile() const;

  // Throws unless `file_number` is valid and not open: checked before the
  // backend opens (and maybe truncates) anything.
  void RequireUnused(int file_number) const;

  // Takes over a stream just opened under `file_number`; a null stream
  // means the open failed and `errno` says why.
  void Adopt(int file_number, std::FILE* stream);

  // Writes the bytes; RuntimeError when the number is not open or the
  // write fails.
  void Write(int file_number, std::string_view bytes);

  // Flushes and closes. A number that is not open is left alone, as the
  // runtime's Close does. The number is free afterwards even when the
  // flush or close failed (and that failure is raised).
  void Close(int file_number);

 private:
  std::FILE*& Slot(int file_number);
  std::array<std::FILE*, kHighest + 1> streams_{};
};

}  // namespace voderer
