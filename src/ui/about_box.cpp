// "?": the About message.
#include "main_window.h"

namespace voderer::ui {

void Form1::Command3_Click() {
  platform_.MsgBox(kAboutText, frontend::kApplicationTitle);
}

}  // namespace voderer::ui
