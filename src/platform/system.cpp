#include "platform/system.h"

#include "platform/backend.h"

namespace voderer {

SystemPlatform::SystemPlatform() : launch_(backend::NewScriptLaunch()) {}

SystemPlatform::~SystemPlatform() = default;

}  // namespace voderer
