#include "output/ChunkQueues.h"

#include <algorithm>
#include <cstring>

#include "platform/PageBuffer.h"

namespace output {
namespace {

// Every chunk that can be alive at once: full queues, and one chunk being
// filled and one being played per slot and channel.
constexpr std::size_t kMaxLiveChunks = kSlotCount * kMaxOutputChannels * (kMaxQueuedChunks + 2);
constexpr std::size_t kPoolReserve = 64;
// Chunks one TrimPool gives back at most: unmapping hundreds at once (all
// the chunks of a track the device played while the feeder idled) holds the
// feeder up for longer than a short next track takes to play.
constexpr std::size_t kTrimBatch = 8;

}  // namespace

ChunkQueues::ChunkQueues() {
  pool_.reserve(kMaxLiveChunks);
  for (auto& slot : sizes_) {
    for (auto& size : slot)
      size = 0;
  }
}

ChunkQueues::~ChunkQueues() {
  for (int slot = 0; slot < kSlotCount; ++slot)
    FlushSlot(slot);
  for (std::uint8_t* chunk : pool_)
    platform::FreePages(chunk);
}

std::uint8_t* ChunkQueues::NewChunk(std::uint8_t silence) {
  std::uint8_t* chunk = nullptr;
  {
    std::lock_guard lock(mutex_);
    if (!pool_.empty()) {
      chunk = pool_.back();
      pool_.pop_back();
    }
  }
  if (chunk != nullptr) return chunk;
  // A chunk from the pool is written before it is read (an element's byte
  // count covers only what the feeder wrote); only a new one starts as
  // silence.
  chunk = static_cast<std::uint8_t*>(platform::AllocPages(kChunkBytes));
  if (chunk != nullptr) std::memset(chunk, silence, kChunkBytes);
  return chunk;
}

std::uint8_t* ChunkQueues::WaitForChunk(std::uint8_t silence,
                                        const std::function<bool()>& cancelled) {
  for (;;) {
    if (std::uint8_t* chunk = NewChunk(silence)) return chunk;
    std::unique_lock lock(mutex_);
    ++chunkWaiters_;
    chunkReturned_.wait(lock, [&] { return !pool_.empty() || cancelled(); });
    --chunkWaiters_;
    if (cancelled()) return nullptr;
  }
}

void ChunkQueues::Release(std::uint8_t* chunk) {
  if (chunk == nullptr) return;
  std::lock_guard lock(mutex_);
  RecycleLocked(chunk);
}

void ChunkQueues::RecycleLocked(std::uint8_t* chunk) {
  if (chunk == nullptr) return;
  if (pool_.size() < pool_.capacity()) {
    pool_.push_back(chunk);  // within the reserved capacity: no allocation
    if (chunkWaiters_ > 0) chunkReturned_.notify_one();
  } else {
    platform::FreePages(chunk);
  }
}

void ChunkQueues::TrimPool() {
  std::vector<std::uint8_t*> surplus;
  {
    std::lock_guard lock(mutex_);
    if (pool_.size() <= kPoolReserve) return;
    const std::size_t keep = std::max(kPoolReserve, pool_.size() - kTrimBatch);
    surplus.assign(pool_.begin() + static_cast<std::ptrdiff_t>(keep), pool_.end());
    pool_.resize(keep);
  }
  for (std::uint8_t* chunk : surplus)
    platform::FreePages(chunk);
}

void ChunkQueues::Push(int slot, int channel, ChunkElement element) {
  std::lock_guard lock(mutex_);
  Ring& ring = RingOf(slot, channel);
  if (ring.count == ring.elements.size()) {  // never with HasRoom first
    RecycleLocked(element.data);
    return;
  }
  ring.elements[(ring.head + ring.count) % ring.elements.size()] = element;
  sizes_[slot][channel] = ++ring.count;
}

bool ChunkQueues::HasRoom(int slot, int channel) const {
  return sizes_[slot][channel].load(std::memory_order_relaxed) < kMaxQueuedChunks;
}

bool ChunkQueues::WaitForRoom(int slot, int channel, const std::function<bool()>& cancelled) {
  if (HasRoom(slot, channel)) return true;
  std::unique_lock lock(mutex_);
  const Ring& ring = RingOf(slot, channel);
  roomMade_.wait(lock,
                 [&] { return ring.count <= kMaxQueuedChunks - kRefillBatch || cancelled(); });
  return !cancelled();
}

void ChunkQueues::CancelWaits() {
  { std::lock_guard lock(mutex_); }
  roomMade_.notify_all();
  chunkReturned_.notify_all();
}

std::size_t ChunkQueues::Size(int slot, int channel) const {
  return sizes_[slot][channel].load(std::memory_order_relaxed);
}

bool ChunkQueues::TakeChunk(int slot, int channel, ChunkElement& element) {
  if (slot < 0 || slot >= kSlotCount || channel < 0 || channel >= kMaxOutputChannels) return false;
  std::lock_guard lock(mutex_);
  Ring& ring = RingOf(slot, channel);
  if (ring.count == 0) return false;
  element = ring.elements[ring.head];
  ring.head = (ring.head + 1) % ring.elements.size();
  sizes_[slot][channel] = --ring.count;
  if (ring.count == kMaxQueuedChunks - kRefillBatch) roomMade_.notify_all();
  return true;
}

bool ChunkQueues::Covers(int slot, int channel, std::size_t bytes) const {
  if (slot < 0 || slot >= kSlotCount || channel < 0 || channel >= kMaxOutputChannels) return false;
  std::lock_guard lock(mutex_);
  const Ring& ring = rings_[slot][channel];
  std::size_t queued = 0;
  for (std::size_t i = 0; i < ring.count && queued < bytes; ++i) {
    const ChunkElement& element = ring.elements[(ring.head + i) % ring.elements.size()];
    if (element.data == nullptr) return true;
    queued += element.bytes;
  }
  return queued >= bytes;
}

bool ChunkQueues::AnyEmpty(int slot, int channels) const {
  for (int channel = 0; channel < channels && channel < kMaxOutputChannels; ++channel) {
    if (Size(slot, channel) == 0) return true;
  }
  return false;
}

bool ChunkQueues::AllEmpty(int slot, int channels) const {
  for (int channel = 0; channel < channels && channel < kMaxOutputChannels; ++channel) {
    if (Size(slot, channel) != 0) return false;
  }
  return true;
}

void ChunkQueues::FlushSlot(int slot) {
  std::lock_guard lock(mutex_);
  for (int channel = 0; channel < kMaxOutputChannels; ++channel) {
    Ring& ring = RingOf(slot, channel);
    for (; ring.count > 0; --ring.count) {
      RecycleLocked(ring.elements[ring.head].data);
      ring.head = (ring.head + 1) % ring.elements.size();
    }
    sizes_[slot][channel] = 0;
  }
  roomMade_.notify_all();
}

}  // namespace output
