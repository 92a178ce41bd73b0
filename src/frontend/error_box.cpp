#include "frontend/error_box.h"

#include <exception>
#include <new>

namespace voderer::frontend {

std::wstring RuntimeErrorMessage(const RuntimeError& error) {
  return L"Run-time error '" + std::to_wstring(error.Number()) + L"':\n\n" + error.Description();
}

namespace {

// Errors from the C++ library reach the user in the runtime's own terms.
RuntimeError AsRuntimeError(const std::exception& error) {
  if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) {
    return StandardError(err::kOutOfMemory);
  }
  return StandardError(err::kInternalError);
}

}  // namespace

bool RunClickHandler(Dialogs& dialogs, WindowEvents& events, void (WindowEvents::*handler)()) {
  std::wstring message;
  try {
    (events.*handler)();
    return true;
  } catch (const RuntimeError& error) {
    message = RuntimeErrorMessage(error);
  } catch (const std::exception& error) {
    message = RuntimeErrorMessage(AsRuntimeError(error));
  }
  try {
    dialogs.MsgBox(message, kApplicationTitle, BoxIcon::error);
  } catch (...) {
    // Not even the box could be shown: the program still ends, and nothing
    // may unwind into the window system's callback.
  }
  return false;
}

}  // namespace voderer::frontend
