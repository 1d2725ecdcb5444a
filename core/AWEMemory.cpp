#include "core/AWEMemory.h"

#include <utility>

namespace core {

AWEMemory::AWEMemory(std::shared_ptr<platform::ISystemMemory> system, std::uint64_t regionBytes)
    : system_(std::move(system)),
      regionBytes_(regionBytes),
      pageSize_(static_cast<std::uint32_t>(system_->GetSystemInfo().pageSize)) {}

bool AWEMemory::Allocate() {
  if (region_ != nullptr) return true;
  if (pageSize_ == 0 || !system_->GetSystemInfo().is64Bit) return false;
  if (!system_->MayLockMemory(regionBytes_)) return false;
  platform::MemoryStatus status;
  if (!system_->GetMemoryStatus(&status)) return false;
  if (status.availablePhysical < kRamModeMinAvailableBytes) return false;
  const std::uint64_t pages = regionBytes_ / pageSize_;
  if (pages == 0) return false;
  region_ = system_->LockRegion(pages * pageSize_);
  if (region_ == nullptr) return false;
  // The system may grant less than asked.
  pageCount_ = region_->size() / pageSize_;
  return true;
}

}  // namespace core
