// The runtime services every layer above calls. This header and the backend
// folders (win32/, posix/) are the only places that know which OS they run on;
// src/ui and src/patch include nothing else from the system.
#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace voderer {

// Two-valued truth value of the runtime: true is all bits set.
using Flag = std::int16_t;
inline constexpr Flag kTrue = -1;
inline constexpr Flag kFalse = 0;

// A run-time error that leaves a handler. The event loop reports it in the
// standard box ("Run-time error 'N':", blank line, description) and ends the
// program.
class RuntimeError : public std::exception {
 public:
  RuntimeError(int number, std::wstring description)
      : number_(number), description_(std::move(description)) {}
  int Number() const noexcept { return number_; }
  const std::wstring& Description() const noexcept { return description_; }
  const char* what() const noexcept override { return "voderer::RuntimeError"; }

 private:
  int number_;
  std::wstring description_;
};

// Error numbers, as the runtime numbers them.
namespace err {
inline constexpr int kBadFileNameOrNumber = 52;
inline constexpr int kFileNotFound = 53;
inline constexpr int kBadFileMode = 54;
inline constexpr int kFileAlreadyOpen = 55;
inline constexpr int kDeviceIO = 57;
inline constexpr int kTooManyFiles = 67;
inline constexpr int kPermissionDenied = 70;
inline constexpr int kPathFileAccess = 75;
inline constexpr int kPathNotFound = 76;
inline constexpr int kInvalidProcedureCall = 5;
// The common dialog control's own: the dialog could not be shown.
inline constexpr int kDialogFailure = -32768;
}  // namespace err

enum class FileMode { kOutput, kAppend };

// Separator between a folder and a name in it, as the system writes paths.
#ifdef _WIN32
inline constexpr wchar_t kPathSeparator = L'\\';
#else
inline constexpr wchar_t kPathSeparator = L'/';
#endif

// The common dialog object's state: what the program sets before ShowOpen
// and what the dialog leaves behind.
struct CommonDialogState {
  std::wstring Filter;     // description|pattern|description|pattern|...
  std::wstring InitDir;    // initial folder
  std::wstring FileName;   // full path of the chosen file; kept on cancel
  std::wstring FileTitle;  // the chosen file's name without its folder
};

class Platform {
 public:
  virtual ~Platform() = default;

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

  // Whether `path` names an existing folder.
  virtual bool FolderExists(const std::wstring& path) = 0;

  // Starts the batch script minimized and activated, with `working_folder`
  // as its current folder, and returns without waiting. Throws RuntimeError.
  virtual void LaunchScript(const std::wstring& script_path,
                            const std::wstring& working_folder) = 0;

  // True while the script from the last LaunchScript of this run is still
  // running.
  virtual bool ScriptRunning() = 0;

  // Modal message box with one OK button and no icon.
  virtual void MsgBox(const std::wstring& text, const std::wstring& title) = 0;

  // The modal Open dialog: reads Filter and InitDir; on OK sets FileName and
  // FileTitle, on cancel leaves them as they were. Throws RuntimeError.
  virtual void ShowOpen(CommonDialogState& dialog) = 0;
};

// The platform of the OS this program was built for.
Platform& SystemPlatform();

}  // namespace voderer
