#include "platform/SystemMemory.h"

#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/utsname.h>

#include <charconv>
#include <fstream>
#include <sstream>

#include "platform/PageBuffer.h"

namespace platform {
namespace {

std::string ReadWholeFile(const char* path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The unsigned number after `key` on the line that begins with it.
bool FindField(std::string_view text, std::string_view key, int base, std::uint64_t* value) {
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(at, end - at);
    at = end + 1;
    if (line.substr(0, key.size()) != key) continue;
    line.remove_prefix(key.size());
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
      line.remove_prefix(1);
    const auto [rest, error] =
        std::from_chars(line.data(), line.data() + line.size(), *value, base);
    return error == std::errc() && rest != line.data();
  }
  return false;
}

class LinuxMemory final : public ISystemMemory {
 public:
  SystemInfo GetSystemInfo() override {
    SystemInfo info;
    info.pageSize = PageSize();
    utsname name{};
    if (uname(&name) == 0) info.machine = name.machine;
    info.is64Bit = IsSupported64BitMachine(info.machine);
    return info;
  }

  bool GetMemoryStatus(MemoryStatus* status) override {
    return ParseMemInfo(ReadWholeFile("/proc/meminfo"), status);
  }

  bool MayLockMemory(std::uint64_t bytes) override {
    if (HasEffectiveCapability(ReadWholeFile("/proc/self/status"), CAP_IPC_LOCK)) return true;
    rlimit limit{};
    if (getrlimit(RLIMIT_MEMLOCK, &limit) != 0) return false;
    return limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= bytes;
  }

  std::unique_ptr<MemoryRegion> LockRegion(std::uint64_t bytes) override {
    return platform::LockRegion(bytes);
  }
};

}  // namespace

std::shared_ptr<ISystemMemory> LinuxSystemMemory() {
  return std::make_shared<LinuxMemory>();
}

bool ParseMemInfo(std::string_view text, MemoryStatus* status) {
  std::uint64_t totalKb = 0, availableKb = 0;
  if (!FindField(text, "MemTotal:", 10, &totalKb) ||
      !FindField(text, "MemAvailable:", 10, &availableKb)) {
    return false;
  }
  status->totalPhysical = totalKb * 1024;
  status->availablePhysical = availableKb * 1024;
  return true;
}

bool IsSupported64BitMachine(std::string_view machine) {
  return machine == "x86_64" || machine == "aarch64";
}

bool HasEffectiveCapability(std::string_view statusText, unsigned capability) {
  std::uint64_t mask = 0;
  return capability < 64 && FindField(statusText, "CapEff:", 16, &mask) &&
         (mask >> capability & 1) != 0;
}

}  // namespace platform
