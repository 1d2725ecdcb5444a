#include "platform/LockedRegion.h"

#include <sys/mman.h>

namespace platform {
namespace {

class LockedRegion final : public MemoryRegion {
 public:
  LockedRegion(std::uint8_t* base, std::size_t size) : base_(base), size_(size) {}
  ~LockedRegion() override { munmap(base_, size_); }
  LockedRegion(const LockedRegion&) = delete;
  LockedRegion& operator=(const LockedRegion&) = delete;

  std::uint8_t* data() override { return base_; }
  std::size_t size() const override { return size_; }

 private:
  std::uint8_t* base_;
  std::size_t size_;
};

}  // namespace

std::unique_ptr<MemoryRegion> LockRegion(std::uint64_t bytes) {
  if (bytes == 0 || bytes > SIZE_MAX) return nullptr;
  const auto size = static_cast<std::size_t>(bytes);
  // MAP_NORESERVE: the region is mostly unused address space; only the pages
  // a track actually fills are ever committed (and then locked).
  void* base = mmap(nullptr, size, PROT_READ | PROT_WRITE,
                    MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (base == MAP_FAILED) return nullptr;
  if (mlock2(base, size, MLOCK_ONFAULT) != 0) {
    munmap(base, size);
    return nullptr;
  }
  return std::make_unique<LockedRegion>(static_cast<std::uint8_t*>(base), size);
}

}  // namespace platform
