#include "platform/PageBuffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace platform {

std::size_t PageSize() {
  static const std::size_t size = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  return size;
}

void* AllocPages(std::size_t size) {
  if (size == 0) return nullptr;
  const std::size_t page = PageSize();
  if (size > SIZE_MAX - 2 * page) return nullptr;
  const std::size_t length = page + (size + page - 1) / page * page;
  void* base = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (base == MAP_FAILED) return nullptr;
  *static_cast<std::size_t*>(base) = length;
  return static_cast<std::uint8_t*>(base) + page;
}

void FreePages(void* buffer) {
  if (buffer == nullptr) return;
  auto* base = static_cast<std::uint8_t*>(buffer) - PageSize();
  munmap(base, *reinterpret_cast<std::size_t*>(base));
}

}  // namespace platform
