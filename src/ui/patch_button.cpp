// "P": write and start the patch script.
#include "main_window.h"
#include "patch_script.h"

namespace voderer::ui {

void Form1::Command1_Click() {
  try {
    RunPatch(platform_, CommonDialog1);
  } catch (const PatchNotStarted& refused) {
    // Not an error that ends the program: the user mends it and tries again.
    platform_.MsgBox(refused.Description(), frontend::kApplicationTitle);
  }
}

}  // namespace voderer::ui
