// "P": write and start the patch script; once it has ended, say how it went.
#include <utility>

#include "patch/patch_outcome.h"
#include "patch/patch_script.h"
#include "ui/main_window.h"

namespace voderer::ui {

void Form1::Command1_Click() {
  try {
    RunPatch(services_.files, services_.launch, CommonDialog1);
    // The selection may change while the script runs; the box names this one.
    patching_ = CommonDialog1.FileName;
  } catch (const PatchNotStarted& refused) {
    // Not an error that ends the program: the user mends it and tries again.
    services_.dialogs.MsgBox(refused.Description(), frontend::kApplicationTitle, BoxIcon::warning);
  }
}

void Form1::ScriptEnded() {
  if (!patching_) return;
  const std::wstring rom = *std::exchange(patching_, std::nullopt);
  const OutcomeBox box = TakePatchOutcome(services_.files, rom);
  services_.dialogs.MsgBox(box.text, frontend::kApplicationTitle, box.icon);
}

}  // namespace voderer::ui
