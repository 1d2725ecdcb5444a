#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/SystemMemory.h"

namespace coretest {

// A machine as the RAM mode sees it, set up field by field. Its "locked"
// region is ordinary heap memory of at most `grantBytes`, so a 4 GiB request
// can be granted a few pages.
class FakeSystemMemory final : public platform::ISystemMemory {
 public:
  std::size_t pageSize = 4096;
  std::string machine = "x86_64";
  bool is64Bit = true;
  bool statusReadable = true;
  std::uint64_t availableBytes = std::uint64_t{6} << 30;
  bool mayLock = true;
  std::uint64_t grantBytes = 4 * 4096;  // 0: the lock is refused

  std::uint64_t requestedBytes = 0;  // what LockRegion was asked for
  std::uint8_t* regionData = nullptr;

  platform::SystemInfo GetSystemInfo() override { return {pageSize, machine, is64Bit}; }
  bool GetMemoryStatus(platform::MemoryStatus* status) override {
    if (!statusReadable) return false;
    status->totalPhysical = availableBytes * 2;
    status->availablePhysical = availableBytes;
    return true;
  }
  bool MayLockMemory(std::uint64_t) override { return mayLock; }
  std::unique_ptr<platform::MemoryRegion> LockRegion(std::uint64_t bytes) override {
    requestedBytes = bytes;
    if (grantBytes == 0) return nullptr;
    auto region = std::make_unique<HeapRegion>(std::min(bytes, grantBytes));
    regionData = region->data();
    return region;
  }

 private:
  class HeapRegion final : public platform::MemoryRegion {
   public:
    explicit HeapRegion(std::uint64_t bytes) : bytes_(bytes) {}
    std::uint8_t* data() override { return bytes_.data(); }
    std::size_t size() const override { return bytes_.size(); }

   private:
    std::vector<std::uint8_t> bytes_;
  };
};

}  // namespace coretest
