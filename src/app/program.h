// The program's start: makes the runtime services and the front end's
// dialogs and window, puts Form1 on the window and runs it. The window is
// the start-up object; there is no other start-up code.
#pragma once

namespace voderer::app {

// Called by the front end's entry point (main, wWinMain), which only the OS
// knows how to spell, and returns the process's exit code.
int ProgramMain();

}  // namespace voderer::app
