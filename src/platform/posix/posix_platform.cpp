#include "posix_platform.h"

#include <cstdio>
#include <filesystem>

#include "code_page.h"
#include "dialogs.h"

namespace voderer {

namespace posix {

std::wstring PosixPlatform::ProgramFolder() {
  std::error_code code;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", code);
  if (code) throw FileError(code);
  // Decoded in the user's locale: path::wstring() would use the C locale and
  // fail on a folder with a Korean name.
  if (auto folder = FromLocaleEncoding(exe.parent_path().native())) return *folder;
  throw RuntimeError(err::kBadFileNameOrNumber, StandardDescription(err::kBadFileNameOrNumber));
}

std::optional<std::string> PosixPlatform::ToCodePage(std::wstring_view text) {
  return ToLocaleEncoding(text);
}

std::optional<std::wstring> PosixPlatform::CodePageSafePath(const std::wstring&) {
  // POSIX file systems keep one name per file: there is no other spelling.
  return std::nullopt;
}

std::FILE* PosixPlatform::OpenStream(const std::filesystem::path& path, FileMode mode) {
  return std::fopen(path.c_str(), mode == FileMode::kOutput ? "wb" : "ab");
}

void PosixPlatform::LaunchScript(const std::wstring& script_path,
                                 const std::wstring& working_folder) {
  const std::filesystem::path script = FilePath(script_path);
  const std::filesystem::path runner = script.parent_path() / "runbat";
  launcher_.Launch(runner.string(), script.string(), FilePath(working_folder).string());
}

bool PosixPlatform::ScriptRunning() {
  return launcher_.Running();
}

void PosixPlatform::MsgBox(const std::wstring& text, const std::wstring& title) {
  frontend::ShowMessageBox(text, title);
}

void PosixPlatform::ShowOpen(CommonDialogState& dialog) {
  frontend::ShowOpenDialog(dialog);
}

}  // namespace posix

Platform& SystemPlatform() {
  static posix::PosixPlatform platform;
  return platform;
}

}  // namespace voderer
