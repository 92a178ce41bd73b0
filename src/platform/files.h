// The file services: the program folder, the runtime's numbered sequential
// text files (written in the system's narrow code page) and the two
// questions the patch asks the file system.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/runtime.h"

namespace voderer {

enum class FileMode { kOutput, kAppend };

class Files {
 public:
  virtual ~Files() = default;

  // Folder that holds the running executable, without a trailing separator.
  virtual std::wstring ProgramFolder() = 0;

  // `text` in the system's narrow code page, or nothing when a character
  // cannot be carried exactly (no best-fit substitutes, no default char).
  virtual std::optional<std::string> ToCodePage(std::wstring_view text) = 0;

  // Another name of the same existing file that the code page can carry
  // (Windows: the short 8.3 path), or nothing.
  virtual std::optional<std::wstring> CodePageSafePath(const std::wstring& path) = 0;

  // Sequential text files, numbered as the runtime numbers them. Each throws
  // RuntimeError on failure.
  virtual int FreeFile() = 0;
  virtual void Open(int file_number, const std::wstring& path, FileMode mode) = 0;
  // Writes `text` in the code page followed by CR LF.
  virtual void PrintLine(int file_number, std::wstring_view text) = 0;
  // Flushes and closes.
  virtual void Close(int file_number) = 0;

  // Removes a file; no error when it is already gone.
  virtual void Kill(const std::wstring& path) = 0;

  // The bytes of a small file, or nothing when there is no such file.
  // RuntimeError when it cannot be read or holds more than `limit` bytes.
  virtual std::optional<std::string> ReadSmallFile(const std::wstring& path, std::size_t limit) = 0;

  // Whether `path` names an existing folder.
  virtual bool FolderExists(const std::wstring& path) = 0;

  // Whether `path` names an existing file that is not a folder.
  virtual bool FileExists(const std::wstring& path) = 0;
};

// Separator between a folder and a name in it, as the system writes paths
// (each backend answers for its system).
wchar_t PathSeparator();

}  // namespace voderer
