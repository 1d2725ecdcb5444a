#include "core/DecodedDataQueue.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <functional>
#include <limits>
#include <mutex>
#include <new>
#include <utility>

#include "core/NormalAllocator.h"
#include "core/SequentialAWEAllocator.h"

namespace core {

class CDecodedDataQueue::Impl {
 public:
  Impl(std::unique_ptr<Allocator> allocator, std::uint32_t capacity,
       std::pmr::memory_resource* records)
      : capacity_(capacity), allocator_(std::move(allocator)), blocks_(records) {}
  ~Impl() { ReleaseAll(); }
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  std::uint32_t capacity() const { return capacity_; }

  std::uint32_t Push(const output::BlockDescription& description, std::uint32_t limit) {
    std::lock_guard hold(lock_);
    if (blocks_.size() >= Bound(limit)) return kQueueFull;
    if (allocator_ == nullptr) return kQueueStorageFailed;
    const bool empty = description.data == nullptr || description.size == 0;
    // The record gets its room before the bytes are stored: once they are,
    // nothing may fail, because a sequential allocator cannot take one block
    // back out of turn.
    try {
      blocks_.push_back({nullptr, empty ? 0 : description.size, description.formatCode,
                         description.channels, description.sampleRate, description.slot});
    } catch (const std::bad_alloc&) {
      return kQueueStorageFailed;
    }
    BlockHandle handle = nullptr;
    if (!empty && !allocator_->StoreBlock(description.data, description.size, &handle)) {
      blocks_.pop_back();
      return kQueueStorageFailed;
    }
    blocks_.back().storage = handle;
    return kQueueOk;
  }

  std::uint32_t Pop(output::BlockDescription& description, std::vector<std::uint8_t>& buffer,
                    std::uint32_t slot) {
    std::lock_guard hold(lock_);
    if (blocks_.empty()) return kQueueEmpty;
    const BlockRecord front = blocks_.front();
    if (front.slot != slot) return kQueueOtherSlot;
    if (buffer.size() < front.size) {
      try {
        buffer.resize(front.size);
      } catch (const std::bad_alloc&) {
        return kQueueStorageFailed;
      }
    }
    std::uint32_t copied = 0;
    if (!allocator_->LoadBlock(front.storage, front.size, buffer.data(), &copied)) {
      return kQueueStorageFailed;
    }
    blocks_.pop_front();
    left_.notify_all();
    description = {copied != 0 ? buffer.data() : nullptr,
                   copied,
                   front.formatCode,
                   front.channels,
                   front.sampleRate,
                   front.slot};
    return kQueueOk;
  }

  std::uint32_t Clear() {
    std::lock_guard hold(lock_);
    ReleaseAll();
    left_.notify_all();
    return kQueueOk;
  }

  bool WaitForRoom(std::uint32_t limit, const std::function<bool()>& cancelled) {
    std::unique_lock hold(lock_);
    const std::uint64_t seen = interrupts_;
    left_.wait(hold,
               [&] { return blocks_.size() < Bound(limit) || cancelled() || interrupts_ != seen; });
    return !cancelled();
  }

  void Interrupt() {
    std::lock_guard hold(lock_);
    ++interrupts_;
    left_.notify_all();
  }

  std::uint32_t ClearSlot(std::uint32_t slot) {
    std::lock_guard hold(lock_);
    if (allocator_ != nullptr && allocator_->IsSequential()) return kQueueNotSupported;
    for (const BlockRecord& block : blocks_) {
      if (block.slot == slot) Release(block);
    }
    std::erase_if(blocks_, [slot](const BlockRecord& block) { return block.slot == slot; });
    left_.notify_all();
    return kQueueOk;
  }

  std::uint32_t CountSlot(std::uint32_t slot) {
    std::lock_guard hold(lock_);
    return static_cast<std::uint32_t>(
        std::count_if(blocks_.begin(), blocks_.end(),
                      [slot](const BlockRecord& block) { return block.slot == slot; }));
  }

 private:
  // The most blocks a push with `limit` may find queued.
  std::uint32_t Bound(std::uint32_t limit) const {
    const std::uint32_t effective =
        capacity_ != 0 ? capacity_ : std::numeric_limits<std::uint32_t>::max();
    return limit != 0 ? std::min(limit, effective) : effective;
  }

  struct BlockRecord {
    BlockHandle storage;  // null for an empty block
    std::uint32_t size;
    std::uint32_t formatCode;
    std::uint32_t channels;
    std::uint32_t sampleRate;
    std::uint32_t slot;
  };

  void Release(const BlockRecord& block) {
    std::uint32_t copied = 0;
    allocator_->LoadBlock(block.storage, block.size, nullptr, &copied);
  }

  void ReleaseAll() {
    if (allocator_ == nullptr) return;
    for (const BlockRecord& block : blocks_)
      Release(block);
    blocks_.clear();
    allocator_->Reset();
  }

  std::mutex lock_;
  // Signalled whenever blocks leave the queue, and by Interrupt.
  std::condition_variable left_;
  std::uint64_t interrupts_ = 0;
  const std::uint32_t capacity_;  // 0: unlimited
  std::unique_ptr<Allocator> allocator_;
  std::pmr::deque<BlockRecord> blocks_;
};

CDecodedDataQueue::CDecodedDataQueue(std::unique_ptr<Allocator> allocator, std::uint32_t capacity,
                                     std::pmr::memory_resource* records)
    : impl_(std::make_shared<Impl>(std::move(allocator), capacity, records)) {}

CDecodedDataQueue& CDecodedDataQueue::operator=(const CDecodedDataQueue& other) {
  if (this != &other) Replace(other.Acquire());
  return *this;
}

std::shared_ptr<CDecodedDataQueue::Impl> CDecodedDataQueue::Acquire() const {
  std::lock_guard hold(referenceLock_);
  return impl_;
}

void CDecodedDataQueue::Replace(std::shared_ptr<Impl> impl) {
  {
    std::lock_guard hold(referenceLock_);
    impl_.swap(impl);
  }
  // The previous queue, if this was its last reference, is destroyed here,
  // outside the reference lock.
}

CDecodedDataQueue CDecodedDataQueue::Create(std::int32_t ramMode,
                                            std::shared_ptr<platform::ISystemMemory> system,
                                            std::uint64_t regionBytes) {
  if (ramMode == 0) return {std::make_unique<NormalAllocator>(), kNormalQueueCapacity};
  if (system == nullptr) system = platform::LinuxSystemMemory();
  return {std::make_unique<SequentialAWEAllocator>(std::move(system), regionBytes), 0};
}

std::uint32_t CDecodedDataQueue::GetCapacity() const {
  const std::shared_ptr<Impl> impl = Acquire();
  return impl ? impl->capacity() : 0;
}

std::uint32_t CDecodedDataQueue::Push(const output::BlockDescription* description,
                                      std::uint32_t limit) const {
  const std::shared_ptr<Impl> impl = Acquire();
  if (impl == nullptr) return kQueueGone;
  if (description == nullptr) return kQueueNullArgument;
  return impl->Push(*description, limit);
}

std::uint32_t CDecodedDataQueue::Pop(output::BlockDescription* description,
                                     std::vector<std::uint8_t>* buffer, std::uint32_t slot) const {
  const std::shared_ptr<Impl> impl = Acquire();
  if (impl == nullptr) return kQueueGone;
  if (description == nullptr || buffer == nullptr) return kQueueNullArgument;
  return impl->Pop(*description, *buffer, slot);
}

std::uint32_t CDecodedDataQueue::Clear() const {
  const std::shared_ptr<Impl> impl = Acquire();
  return impl ? impl->Clear() : kQueueGone;
}

std::uint32_t CDecodedDataQueue::ClearSlot(std::uint32_t slot) const {
  const std::shared_ptr<Impl> impl = Acquire();
  return impl ? impl->ClearSlot(slot) : kQueueGone;
}

bool CDecodedDataQueue::WaitForRoom(std::uint32_t limit,
                                    const std::function<bool()>& cancelled) const {
  const std::shared_ptr<Impl> impl = Acquire();
  return impl != nullptr && impl->WaitForRoom(limit, cancelled);
}

void CDecodedDataQueue::Interrupt() const {
  if (const std::shared_ptr<Impl> impl = Acquire()) impl->Interrupt();
}

std::uint32_t CDecodedDataQueue::CountSlot(std::uint32_t slot, std::uint32_t* count) const {
  const std::shared_ptr<Impl> impl = Acquire();
  if (impl == nullptr) return kQueueGone;
  if (count == nullptr) return kQueueNullArgument;
  *count = impl->CountSlot(slot);
  return kQueueOk;
}

}  // namespace core
