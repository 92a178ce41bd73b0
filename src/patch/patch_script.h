// The patch action behind "P": the nine-line script "deruzuz.bat" in the
// program folder, written line by line and started without waiting.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/runtime.h"
#include "platform/script_launch.h"

namespace voderer {

inline constexpr std::wstring_view kScriptName = L"deruzuz.bat";
inline constexpr std::size_t kScriptLineCount = 9;

// A patch refused before anything was written: the window says why and the
// program goes on.
class PatchNotStarted : public RuntimeError {
 public:
  using RuntimeError::RuntimeError;
};

// Raised instead of patching while the script of an earlier patch still
// runs: rewriting a batch file that is being executed corrupts that run.
class ScriptStillRunning : public PatchNotStarted {
 public:
  ScriptStillRunning();

 protected:
  explicit ScriptStillRunning(const std::wstring& description);
};

// Raised instead of patching when the program folder has no Bin folder: the
// script's "cd Bin" would fail and its "cd .." would leave the program
// folder, so that "rd /Q /S UNPACK" removed a folder of the user's.
class ToolFolderMissing : public PatchNotStarted {
 public:
  explicit ToolFolderMissing(const std::wstring& folder);
};

// The script's lines in the order they are written, without line ends, for
// `rom_path` (the ROM selection as the code page can carry it). Every `%` of
// the path is doubled, the command interpreter's escape for it.
std::array<std::wstring, kScriptLineCount> PatchScriptLines(std::wstring_view rom_path);

// Program folder + separator + `name`.
std::wstring InProgramFolder(Files& files, std::wstring_view name);

// Program folder + separator + "deruzuz.bat".
std::wstring ScriptPath(Files& files);

// Removes `path`, a file an earlier patch left; PatchNotStarted, saying
// so, when it cannot.
void RemoveEarlierFile(Files& files, const std::wstring& path);

// Writes the script for the ROM selection of `CommonDialog1` with nine
// SaveTextToFile calls and starts it through `launch` with the program
// folder as its working folder and the result file (patch_outcome.h) and
// the undo record (undo.h) named in its environment, once those of an
// earlier patch are gone. Returns the ROM path as the script's lines name
// it. Throws ScriptStillRunning while an earlier script runs,
// PatchNotStarted when Bin or an old file is in the way, and RuntimeError
// when the ROM path cannot be written in the code page, when a line could
// not be written (the partial script is removed, not started) or when the
// launch fails.
std::wstring RunPatch(Files& files, ScriptLaunch& launch, const CommonDialogState& CommonDialog1);

}  // namespace voderer
