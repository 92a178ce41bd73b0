// "P": write and start the patch script.
#include "patch/patch_script.h"
#include "ui/main_window.h"

namespace voderer::ui {

void Form1::Command1_Click() {
  try {
    RunPatch(services_.files, services_.launch, CommonDialog1);
  } catch (const PatchNotStarted& refused) {
    // Not an error that ends the program: the user mends it and tries again.
    services_.dialogs.MsgBox(refused.Description(), frontend::kApplicationTitle);
  }
}

}  // namespace voderer::ui
