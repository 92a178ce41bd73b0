// "?": the About message.
#include "ui/main_window.h"

namespace voderer::ui {

void Form1::Command3_Click() {
  // The About box as it always was: no icon.
  services_.dialogs.MsgBox(kAboutText, frontend::kApplicationTitle, BoxIcon::none);
}

}  // namespace voderer::ui
