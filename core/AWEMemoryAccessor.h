#pragma once

#include <cstdint>

#include "core/AWEMemory.h"

namespace core {

enum class AccessError {
  kNone,
  kInvalidData,  // the region is missing or has no room for the transfer
};

// A position (page index, offset in the page) in a region that only moves
// forward, by exactly the bytes transferred. A writer and a reader over the
// same region, fed the same sizes in the same order, meet the same bytes.
// Used under the queue's lock only.
class AWEMemorySequentialAccessor {
 public:
  // Copies `size` bytes between `buffer` and the region at the position, in
  // this accessor's direction, and moves past them; a null buffer moves
  // without copying. On failure the position stays and LastError tells why.
  bool Transfer(void* buffer, std::uint32_t size);

  void Attach(AWEMemory* region) { region_ = region; }
  void Rewind() { pageIndex_ = offset_ = 0; }

  std::uint32_t PageIndex() const { return pageIndex_; }
  std::uint32_t Offset() const { return offset_; }
  AccessError LastError() const { return lastError_; }

 protected:
  enum Direction : std::uint32_t { kFromRegion = 0, kIntoRegion = 1 };
  explicit AWEMemorySequentialAccessor(Direction direction) : direction_(direction) {}

 private:
  AWEMemory* region_ = nullptr;  // not owned
  std::uint32_t pageIndex_ = 0;
  std::uint32_t offset_ = 0;
  Direction direction_;
  AccessError lastError_ = AccessError::kNone;
};

// Copies from the caller's buffer into the region (the buffer is only read).
class AWEMemorySequentialWriter final : public AWEMemorySequentialAccessor {
 public:
  AWEMemorySequentialWriter() : AWEMemorySequentialAccessor(kIntoRegion) {}
};

// Copies from the region into the caller's buffer.
class AWEMemorySequentialReader final : public AWEMemorySequentialAccessor {
 public:
  AWEMemorySequentialReader() : AWEMemorySequentialAccessor(kFromRegion) {}
};

}  // namespace core
