// The boundary between the program and its front ends (fltk/, win32/): the
// main window as a row of one text box and three buttons whose clicks go to
// the program's handlers, and the dialogs each front end implements. Nothing
// here names a toolkit; Form1 (src/ui) sits above it.
#pragma once

#include <memory>
#include <string>

#include "platform/dialogs.h"
#include "platform/services.h"

namespace voderer::frontend {

// The application's title: the title of every box the program shows.
inline constexpr wchar_t kApplicationTitle[] = L"Voderer";
inline constexpr wchar_t kWindowTitle[] = L"Voderer 1.0";

// The window's single-line text box.
class TextBox {
 public:
  virtual ~TextBox() = default;
  virtual std::wstring Text() = 0;
  virtual void SetText(const std::wstring& text) = 0;
};

// The one event of each button, and the end of the patch script. Each runs
// on the user-interface thread, one at a time: the script's end that comes
// while a handler runs (a box is open) is delivered once it has returned.
class WindowEvents {
 public:
  virtual ~WindowEvents() = default;
  virtual void Command1_Click() = 0;  // "P"
  virtual void Command2_Click() = 0;  // "..."
  virtual void Command3_Click() = 0;  // "?"
  virtual void ScriptEnded() = 0;     // the script started by "P" has ended
};

class MainWindow {
 public:
  virtual ~MainWindow() = default;
  virtual TextBox& Text1() = 0;
  // Shows the window and delivers its clicks until it is closed (exit code
  // 0) or a handler fails (reported, then exit code 1).
  virtual int Run(WindowEvents& events) = 0;
};

// This build's front end. Its dialogs come first: they report an error even
// when the window cannot be made.
std::unique_ptr<Dialogs> CreateDialogs();

// The main window; nothing is shown before Run. It reports a failing
// handler through `services.dialogs`, and keeps `services` for the life of
// the window, taking the end of each script from `services.launch` while it
// lives.
std::unique_ptr<MainWindow> CreateMainWindow(const Services& services);

}  // namespace voderer::frontend
