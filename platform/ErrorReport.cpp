#include "platform/ErrorReport.h"

#include <mutex>

namespace platform {
namespace {

std::mutex gManagerMutex;
std::shared_ptr<IAppErrorManager> gManager;

}  // namespace

void SetAppErrorManager(std::shared_ptr<IAppErrorManager> manager) {
  std::lock_guard lock(gManagerMutex);
  gManager = std::move(manager);
}

void ReportAppError(const std::wstring& text) {
  std::shared_ptr<IAppErrorManager> manager;
  {
    std::lock_guard lock(gManagerMutex);
    manager = gManager;
  }
  if (manager) manager->ReportError(text);
}

}  // namespace platform
