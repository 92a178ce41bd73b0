// "...": choose the ROM image.
#include "ui/main_window.h"

namespace voderer::ui {

void Form1::Command2_Click() {
  CommonDialog1.Filter = std::wstring(kFilterNds) + kFilterAll;
  CommonDialog1.InitDir = services_.files.ProgramFolder();
  services_.dialogs.ShowOpen(CommonDialog1);
  // Refreshed whether the user chose or cancelled: a cancel shows the
  // earlier choice again.
  Text1.SetText(CommonDialog1.FileTitle);
}

}  // namespace voderer::ui
