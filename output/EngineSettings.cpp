#include "output/EngineSettings.h"

#include <mutex>

namespace {

std::mutex gSettingsMutex;
EngineSettings gSettings;

}  // namespace

EngineSettings GetEngineSettings() {
  std::lock_guard lock(gSettingsMutex);
  return gSettings;
}

void SetEngineSettings(const EngineSettings& settings) {
  std::lock_guard lock(gSettingsMutex);
  gSettings = settings;
}
