// The event loop's answer to an error that leaves a click handler: the
// standard run-time error box, then the end of the program. Both front ends
// run every click through RunClickHandler.
#pragma once

#include <string>

#include "frontend/window.h"
#include "platform/dialogs.h"
#include "platform/runtime.h"

namespace voderer::frontend {

// The standard run-time error text: "Run-time error 'N':", a blank line,
// the description.
std::wstring RuntimeErrorMessage(const RuntimeError& error);

// Runs one click handler. An error that leaves it is shown in the standard
// box through `dialogs`; false then tells the front end to end the program.
bool RunClickHandler(Dialogs& dialogs, WindowEvents& events, void (WindowEvents::*handler)());

}  // namespace voderer::frontend
