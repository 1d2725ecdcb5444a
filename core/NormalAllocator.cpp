#include "core/NormalAllocator.h"

#include <cstring>

#include "platform/PageBuffer.h"

namespace core {

bool NormalAllocator::StoreBlock(const void* data, std::uint32_t size, BlockHandle* handle) {
  *handle = nullptr;
  if (data == nullptr || size == 0) return true;
  void* pages = platform::AllocPages(size);
  if (pages == nullptr) return false;
  std::memcpy(pages, data, size);
  *handle = pages;
  return true;
}

bool NormalAllocator::LoadBlock(BlockHandle handle, std::uint32_t size, void* destination,
                                std::uint32_t* copied) {
  *copied = 0;
  if (handle == nullptr) return true;
  if (destination != nullptr) {
    std::memcpy(destination, handle, size);
    *copied = size;
  }
  platform::FreePages(handle);
  return true;
}

}  // namespace core
