// Program start: builds Form1 on the front end's window and runs it. The
// window is the start-up object; there is no other start-up code.
#include "main_window.h"
#include "platform.h"
#include "window.h"

int voderer::frontend::ProgramMain() {
  auto window = CreateMainWindow();
  ui::Form1 form(SystemPlatform(), window->Text1());
  return window->Run(form);
}
