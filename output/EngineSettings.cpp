#include "output/EngineSettings.h"

#include <mutex>
#include <utility>

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

void SetLeadInPending() {
  std::lock_guard lock(gSettingsMutex);
  gSettings.leadInPending = 1;
}

bool TakeLeadInPending() {
  std::lock_guard lock(gSettingsMutex);
  return std::exchange(gSettings.leadInPending, 0) != 0;
}
