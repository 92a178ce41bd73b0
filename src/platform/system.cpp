#include "platform/system.h"

#include "platform/backend.h"

namespace voderer {

SystemPlatform::SystemPlatform() : launch_(backend::NewScriptLaunch()) {}

SystemPlatform::~SystemPlatform() = default;

std::vector<std::string> SystemPlatform::UserLanguages() const {
  return backend::UserLanguages();
}

}  // namespace voderer
