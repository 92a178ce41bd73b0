// The POSIX backend of the runtime services.
#pragma once

#include "file_platform.h"
#include "launch.h"
#include "platform.h"

namespace voderer::posix {

class PosixPlatform final : public FilePlatform {
 public:
  std::wstring ProgramFolder() override;
  std::optional<std::string> ToCodePage(std::wstring_view text) override;
  std::optional<std::wstring> CodePageSafePath(const std::wstring& path) override;
  // Runs `runbat SCRIPT`, the batch runner that sits in the program folder
  // beside the script it runs.
  void LaunchScript(const std::wstring& script_path, const std::wstring& working_folder) override;
  bool ScriptRunning() override;
  void MsgBox(const std::wstring& text, const std::wstring& title) override;
  void ShowOpen(CommonDialogState& dialog) override;

 private:
  std::FILE* OpenStream(const std::filesystem::path& path, FileMode mode) override;

  ScriptLauncher launcher_;
};

}  // namespace voderer::posix
