// The runtime services of the system the program runs on. The program makes
// one where it starts (src/app/main.cpp) and hands its parts down as
// references; nothing looks it up later.
#pragma once

#include <memory>
#include <string>
#include <vector>

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
  // The user's interface languages, most wanted first (texts/language.h
  // chooses among them).
  std::vector<std::string> UserLanguages() const;

 private:
  SystemFiles files_;
  std::unique_ptr<ScriptLaunch> launch_;
};

}  // namespace voderer
