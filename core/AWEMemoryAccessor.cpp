#include "core/AWEMemoryAccessor.h"

#include <cstring>

namespace core {

bool AWEMemorySequentialAccessor::Transfer(void* buffer, std::uint32_t size) {
  if (region_ == nullptr || region_->Data() == nullptr) {
    lastError_ = AccessError::kInvalidData;
    return false;
  }
  const std::uint64_t pageSize = region_->PageSize();
  const std::uint64_t pageCount = region_->PageCount();
  const std::uint64_t end = std::uint64_t{offset_} + size;
  // The pages the transfer touches; none for nothing at a page boundary.
  const std::uint64_t pages = (pageSize + end - 1) / pageSize;
  if (pages == 0) {
    lastError_ = AccessError::kNone;
    return true;
  }
  if (pageIndex_ >= pageCount || pageIndex_ + pages > pageCount) {
    lastError_ = AccessError::kInvalidData;
    return false;
  }
  if (buffer != nullptr) {
    std::uint8_t* at = region_->Data() + pageIndex_ * pageSize + offset_;
    if (direction_ == kIntoRegion) {
      std::memcpy(at, buffer, size);
    } else {
      std::memcpy(buffer, at, size);
    }
  }
  pageIndex_ += static_cast<std::uint32_t>(end / pageSize);
  offset_ = static_cast<std::uint32_t>(end % pageSize);
  lastError_ = AccessError::kNone;
  return true;
}

}  // namespace core
