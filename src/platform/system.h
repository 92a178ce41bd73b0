// The runtime services of the system the program runs on. The program makes
// one where it starts (src/app/main.cpp) and hands its parts down as
// references; nothing looks it up later.
#pragma once

#include <memory>

#include "platform/script_launch.h"
#include "platform/system_files.h"

namespace voderer {

class SystemPlatform {
 public:
  SystemPlatform();
  SystemPlatform(const SystemPlatform&) = delete;
  SystemPlatform& operator=(const SystemPlatform&) = delete;
  ~SystemPlatform();

  Files& files() { return files_; }
  ScriptLaunch& launch() { return *launch_; }

 private:
  SystemFiles files_;
  std::unique_ptr<ScriptLaunch> launch_;
};

}  // namespace voderer
