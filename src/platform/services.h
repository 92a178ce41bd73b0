// The runtime services as the program hands them down: made where the
// program starts (src/app) and passed by reference to Form1 and the window.
#pragma once

#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/script_launch.h"

namespace voderer {

struct Services {
  Files& files;
  ScriptLaunch& launch;
  Dialogs& dialogs;  // the front end's
};

}  // namespace voderer
