// Program start: builds Form1 on the front end's window and runs it. The
// window is the start-up object; there is no other start-up code.
#include "main_window.h"
#include "platform.h"
#include "window.h"

int voderer::frontend::ProgramMain() {
  Platform& platform = SystemPlatform();
  try {
    auto window = CreateMainWindow();
    ui::Form1 form(platform, window->Text1());
    return window->Run(form);
  } catch (const RuntimeError& error) {
    // The window itself could not be made: reported like any other error.
    platform.MsgBox(RuntimeErrorMessage(error), kApplicationTitle);
    return 1;
  }
}
