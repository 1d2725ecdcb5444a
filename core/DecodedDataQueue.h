#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <memory_resource>
#include <mutex>
#include <vector>

#include "core/AWEMemory.h"
#include "core/Allocator.h"
#include "output/SampleFormat.h"
#include "platform/SystemMemory.h"

namespace core {

// Results of the queue operations: bit flags, used as plain values.
enum QueueResult : std::uint32_t {
  kQueueOk = 0,
  kQueueOtherSlot = 0x00000008,      // pop: the front block belongs to the other slot
  kQueueNotSupported = 0x04000000,   // slot clear with a sequential allocator
  kQueueFull = 0x08000000,           // push: at the limit
  kQueueEmpty = 0x10000000,          // pop: nothing queued
  kQueueNullArgument = 0x20000000,   // a required argument is null
  kQueueStorageFailed = 0x40000000,  // storage cannot be obtained or read
  kQueueGone = 0x80000000,           // the queue no longer exists
};

constexpr std::uint32_t kNormalQueueCapacity = 8;

// First-in, first-out blocks of decoded audio from the decoder workers to the
// output feeder. Every block remembers its decoding slot, so the output can
// take the blocks of the track it plays while the next track's blocks queue
// up behind them.
//
// This is a handle: copies share one queue, and threads may share one handle
// or keep copies of it. Every operation first takes its own strong reference, so a queue
// lives until the operations in progress on it are done; once the handle no
// longer reaches a queue (default-constructed, or after Destroy), operations
// report kQueueGone. One lock serialises all operations, the copy of the
// bytes included.
class CDecodedDataQueue {
 public:
  class Impl;

  CDecodedDataQueue() = default;
  // A queue that keeps its bytes in `allocator`; capacity 0 is unlimited.
  // `records` provides the memory of the block records.
  CDecodedDataQueue(std::unique_ptr<Allocator> allocator, std::uint32_t capacity,
                    std::pmr::memory_resource* records = std::pmr::get_default_resource());
  CDecodedDataQueue(const CDecodedDataQueue& other) : impl_(other.Acquire()) {}
  CDecodedDataQueue& operator=(const CDecodedDataQueue& other);

  // RAM mode 0: at most 8 blocks, each in pages of its own. Any other mode:
  // no limit, in a region of locked memory (ordinary pages where the machine
  // does not allow it). `system` defaults to the running machine.
  static CDecodedDataQueue Create(std::int32_t ramMode,
                                  std::shared_ptr<platform::ISystemMemory> system = nullptr,
                                  std::uint64_t regionBytes = kRamRegionBytes);

  // Lets go of the queue; it is destroyed, its blocks released, when the last
  // handle and the last operation in progress let go of it too.
  void Destroy() { Replace(nullptr); }

  // 0 for unlimited, and 0 when the queue is gone.
  std::uint32_t GetCapacity() const;

  // Appends a copy of the block. The bound is the capacity, or the smaller
  // of `limit` and the capacity when `limit` is not 0; at or above it the
  // result is kQueueFull. A block with null data or size 0 is queued as the
  // empty block.
  std::uint32_t Push(const output::BlockDescription* description, std::uint32_t limit) const;

  // Takes the front block when it belongs to `slot`, copying its bytes into
  // `buffer` (grown to fit, never shrunk). The description then points into
  // the buffer, or is null with size 0 for the empty block.
  std::uint32_t Pop(output::BlockDescription* description, std::vector<std::uint8_t>* buffer,
                    std::uint32_t slot) const;

  // Releases every block, front to back, and rewinds the allocator.
  std::uint32_t Clear() const;
  // Releases the blocks of one slot, keeping the others in order. Refused
  // with kQueueNotSupported by a sequential allocator, which can only give
  // blocks back in order.
  std::uint32_t ClearSlot(std::uint32_t slot) const;
  std::uint32_t CountSlot(std::uint32_t slot, std::uint32_t* count) const;

  // Waits until a push with `limit` would find room, or until Interrupt;
  // false when `cancelled()` holds (it is asked again on every change and
  // every Interrupt) or the queue is gone.
  bool WaitForRoom(std::uint32_t limit, const std::function<bool()>& cancelled) const;
  // Ends the waits of WaitForRoom: the waiters look at `cancelled` and try
  // their push again. Called by whoever cancels them, and by whoever needs
  // a full queue's waiters to say so again (they prime the queue anew).
  void Interrupt() const;

 private:
  // A strong reference for one operation; null when the queue is gone.
  std::shared_ptr<Impl> Acquire() const;
  void Replace(std::shared_ptr<Impl> impl);

  // Guards the reference only, never held while the queue works, so it
  // comes after every other lock.
  mutable std::mutex referenceLock_;
  std::shared_ptr<Impl> impl_;
};

}  // namespace core
