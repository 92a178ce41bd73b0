// "?": the About message.
#include "ui/main_window.h"

namespace voderer::ui {

void Form1::Command3_Click() {
  services_.dialogs.MsgBox(kAboutText, frontend::kApplicationTitle);
}

}  // namespace voderer::ui
