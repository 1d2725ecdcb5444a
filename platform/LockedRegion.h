#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace platform {

// A contiguous stretch of read-write memory that stays resident: the RAM
// mode keeps a whole decoded track in one, so playback never waits on paging.
class MemoryRegion {
 public:
  virtual ~MemoryRegion() = default;
  virtual std::uint8_t* data() = 0;
  virtual std::size_t size() const = 0;
};

// Reserves `bytes` of anonymous address space and locks it with
// mlock2(MLOCK_ONFAULT): nothing is committed up front, and each page is
// locked in memory the moment it is first touched. Null when the mapping or
// the lock is refused (RLIMIT_MEMLOCK too small without CAP_IPC_LOCK).
std::unique_ptr<MemoryRegion> LockRegion(std::uint64_t bytes);

}  // namespace platform
