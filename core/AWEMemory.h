#pragma once

#include <cstdint>
#include <memory>

#include "platform/SystemMemory.h"

namespace core {

// The RAM mode's region: 4 GiB of address space whose pages are locked in
// memory as they are first written.
constexpr std::uint64_t kRamRegionBytes = std::uint64_t{1} << 32;
// Less available memory than this leaves the RAM mode on ordinary pages.
constexpr std::uint64_t kRamModeMinAvailableBytes = std::uint64_t{5} << 30;

// Locked memory for whole decoded tracks, reached page by page through
// sequential accessors (AWEMemoryAccessor.h).
class AWEMemory {
 public:
  // Reads the page size from `system`; `regionBytes` is the size asked for.
  explicit AWEMemory(std::shared_ptr<platform::ISystemMemory> system,
                     std::uint64_t regionBytes = kRamRegionBytes);
  AWEMemory(const AWEMemory&) = delete;
  AWEMemory& operator=(const AWEMemory&) = delete;

  // Sets the region up, once. Refused on a machine that is not 64-bit, when
  // this process may not lock that much memory, when the memory status
  // cannot be read or shows less than 5 GiB available, or when the system
  // refuses the locked mapping.
  bool Allocate();

  std::uint32_t PageSize() const { return pageSize_; }
  std::uint64_t PageCount() const { return pageCount_; }
  // The first page; null until Allocate has succeeded.
  std::uint8_t* Data() const { return region_ ? region_->data() : nullptr; }

 private:
  std::shared_ptr<platform::ISystemMemory> system_;
  std::uint64_t regionBytes_;
  std::uint32_t pageSize_;
  std::uint64_t pageCount_ = 0;
  std::unique_ptr<platform::MemoryRegion> region_;
};

}  // namespace core
