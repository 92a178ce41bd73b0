// "P": write and start the patch script; once it has ended, say how it went
// and offer to take the patch back.
#include <utility>

#include "patch/patch_outcome.h"
#include "patch/patch_script.h"
#include "patch/undo.h"
#include "ui/main_window.h"

namespace voderer::ui {

void Form1::Command1_Click() {
  // Ended, but its notice is still on its way: its box comes first, before
  // this "P" could remove what it left.
  if (running_ && !services_.launch.ScriptRunning()) {
    ScriptEnded();
    return;
  }
  try {
    // Only the window knows that what runs is its own undo.
    if (running_ && running_->undo) throw UndoStillRunning();  // still running, as just asked
    const std::wstring script_rom = RunPatch(services_.files, services_.launch, CommonDialog1);
    // The selection may change while the script runs; the box and the undo
    // name this one.
    running_ = Running{false, CommonDialog1.FileName, script_rom};
  } catch (const PatchNotStarted& refused) {
    // Not an error that ends the program: the user mends it and tries again.
    services_.dialogs.MsgBox(refused.Description(), frontend::kApplicationTitle, BoxIcon::warning);
  }
}

void Form1::ScriptEnded() {
  // A notice that comes after the window told that end already, while a
  // later run goes on, is not that run's end.
  if (!running_ || services_.launch.ScriptRunning()) return;
  const Running ended = *std::exchange(running_, std::nullopt);
  const OutcomeBox box = ended.undo ? TakeUndoOutcome(services_.files, ended.chosen_rom)
                                    : TakePatchOutcome(services_.files, ended.chosen_rom);
  ShowOutcome(box, ended);
}

void Form1::ShowOutcome(const OutcomeBox& box, const Running& ended) {
  if (!box.offers_undo) {
    services_.dialogs.MsgBox(box.text, frontend::kApplicationTitle, box.icon);
    return;
  }
  if (!services_.dialogs.OfferUndo(box.text, frontend::kApplicationTitle, box.icon)) {
    DiscardUndoRecord(services_.files);  // the patch is kept
    return;
  }
  try {
    RunUndo(services_.files, services_.launch, ended.script_rom);
    running_ = Running{true, ended.chosen_rom, ended.script_rom};
  } catch (const PatchNotStarted& refused) {
    // The record stays; the next "P" removes it.
    services_.dialogs.MsgBox(refused.Description(), frontend::kApplicationTitle, BoxIcon::warning);
  }
}

}  // namespace voderer::ui
