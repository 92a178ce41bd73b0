// Taking a patch back. While the script runs, ndstool -c keeps a record of
// what it replaced in a file of the program folder that the script's
// environment names; the box after the patch offers "Undo" while that
// record exists, and "ndstool --undo RECORD ROM" gives the original back.
// The record is removed once the patch is kept or the undo has worked, so
// that the program folder holds afterwards what it held before.
#pragma once

#include <string>
#include <string_view>

#include "patch/outcome_text.h"
#include "patch/patch_script.h"
#include "platform/files.h"
#include "platform/script_launch.h"

namespace voderer {

inline constexpr std::wstring_view kUndoName = L"deruzuz.undo";
// Where the undo's ndstool writes its result line.
inline constexpr std::wstring_view kUndoResultName = L"deruzuz.undo.result";

// ScriptStillRunning while what runs is an undo: it has no window to wait
// for, only the box that tells how it went.
class UndoStillRunning : public ScriptStillRunning {
 public:
  UndoStillRunning();
};

// Program folder + separator + "deruzuz.undo".
std::wstring UndoPath(Files& files);

// Program folder + separator + "deruzuz.undo.result".
std::wstring UndoResultPath(Files& files);

// The variable that tells ndstool -c where to keep its record.
EnvironmentVariable UndoVariable(Files& files);

// Removes the record (the patch is kept); a record that cannot be removed
// is left to the next "P", which removes it before it starts.
void DiscardUndoRecord(Files& files);

// Starts "Bin/ndstool --undo RECORD ROM" through `launch`, without waiting,
// for `rom` as the patch script's line named it. Its environment names its
// own result file and never the record's variable, so that the undo keeps
// no record of its own. Throws ScriptStillRunning while a script or an undo
// runs, and PatchNotStarted when an old result file is in the way or it
// could not be started.
void RunUndo(Files& files, ScriptLaunch& launch, const std::wstring& rom);

// Once the undo has ended: reads and removes its result file and returns
// the box for the ROM `shown_rom` (as chosen); removes the record when the
// ROM is the original again, and otherwise offers Undo again while the
// record is there.
OutcomeBox TakeUndoOutcome(Files& files, const std::wstring& shown_rom);

}  // namespace voderer
