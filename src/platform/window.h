// The main window as the front ends provide it: a row of one text box and
// three buttons, whose clicks are handed to the program's handlers. The
// program's own window (Form1) sits above this and knows no OS.
#pragma once

#include <memory>
#include <string>

#include "platform.h"

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

// The one event of each button.
class WindowEvents {
 public:
  virtual ~WindowEvents() = default;
  virtual void Command1_Click() = 0;  // "P"
  virtual void Command2_Click() = 0;  // "..."
  virtual void Command3_Click() = 0;  // "?"
};

class MainWindow {
 public:
  virtual ~MainWindow() = default;
  virtual TextBox& Text1() = 0;
  // Shows the window and delivers its clicks until it is closed (exit code
  // 0) or a handler fails (reported, then exit code 1).
  virtual int Run(WindowEvents& events) = 0;
};

// The window of this build's front end; nothing is shown before Run.
std::unique_ptr<MainWindow> CreateMainWindow();

// The program, defined above the platform; the OS's entry point
// (wWinMain, main) calls it and returns what it returns.
int ProgramMain();

// The standard run-time error text: "Run-time error 'N':", a blank line,
// the description.
std::wstring RuntimeErrorMessage(const RuntimeError& error);

// Runs one click handler. An error that leaves it is shown in the standard
// box through `platform`; false then tells the front end to end the program.
bool RunClickHandler(Platform& platform, WindowEvents& events, void (WindowEvents::*handler)());

}  // namespace voderer::frontend
