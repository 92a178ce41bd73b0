// The GUI-subsystem entry point; the command line is not used.
#include <windows.h>

#include "app/program.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  return voderer::app::ProgramMain();
}
