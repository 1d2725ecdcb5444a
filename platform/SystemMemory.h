#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/LockedRegion.h"

namespace platform {

struct MemoryStatus {
  std::uint64_t totalPhysical = 0;      // MemTotal
  std::uint64_t availablePhysical = 0;  // MemAvailable: what can be had without swapping
};

struct SystemInfo {
  std::size_t pageSize = 0;
  std::string machine;  // uname's machine field, e.g. "x86_64"
  bool is64Bit = false;
};

// What the RAM mode asks of the machine before it sets up locked memory.
// The Linux implementation reads /proc/meminfo, uname and the process's
// locking limits; tests replace it to play a small, 32-bit or unprivileged
// machine without touching gigabytes.
class ISystemMemory {
 public:
  virtual ~ISystemMemory() = default;
  virtual SystemInfo GetSystemInfo() = 0;
  // False when the memory status cannot be read.
  virtual bool GetMemoryStatus(MemoryStatus* status) = 0;
  // Whether this process may lock `bytes` of memory: CAP_IPC_LOCK, or an
  // RLIMIT_MEMLOCK at least that large.
  virtual bool MayLockMemory(std::uint64_t bytes) = 0;
  virtual std::unique_ptr<MemoryRegion> LockRegion(std::uint64_t bytes) = 0;
};

// The running machine.
std::shared_ptr<ISystemMemory> LinuxSystemMemory();

// MemTotal and MemAvailable from the text of /proc/meminfo (kB values);
// false when either is missing.
bool ParseMemInfo(std::string_view text, MemoryStatus* status);

// x86_64 and aarch64 machines run the 64-bit RAM mode.
bool IsSupported64BitMachine(std::string_view machine);

// Whether the "CapEff:" line of a /proc/<pid>/status text has `capability`.
bool HasEffectiveCapability(std::string_view statusText, unsigned capability);

}  // namespace platform
