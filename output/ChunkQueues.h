#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace output {

inline constexpr std::uint32_t kChunkBytes = 40960;  // 10240 samples of 32 bits
inline constexpr std::size_t kMaxQueuedChunks = 300;
// A full queue wakes its waiting feeder once this many chunks have been
// taken, so the feeder refills in batches instead of chunk by chunk.
inline constexpr std::size_t kRefillBatch = 16;
inline constexpr int kSlotCount = 2;
inline constexpr int kMaxOutputChannels = 8;

// One queued piece of a channel's sample stream: a chunk and the bytes used
// in it. (null, 0) marks the end of a track.
struct ChunkElement {
  std::uint8_t* data = nullptr;
  std::uint32_t bytes = 0;
};

// The per-slot, per-channel chunk queues between the feeder and the buffer
// switch, under one lock, and the pool of chunks they recycle. Taking and
// giving back chunks never allocates, so the buffer switch may do both.
class ChunkQueues {
 public:
  ChunkQueues();
  ~ChunkQueues();
  ChunkQueues(const ChunkQueues&) = delete;
  ChunkQueues& operator=(const ChunkQueues&) = delete;

  // A chunk from the pool (holding what it last held: the feeder writes
  // every byte an element counts) or new pages filled with `silence`; null
  // when no memory can be had. Feeder side.
  std::uint8_t* NewChunk(std::uint8_t silence);
  // NewChunk's chunk; when no memory can be had, waits until a
  // chunk comes back to the pool, or until `cancelled` holds (looked at
  // under the lock, as WaitForRoom does). Null when cancelled. Feeder side.
  std::uint8_t* WaitForChunk(std::uint8_t silence, const std::function<bool()>& cancelled);
  // Gives a chunk back to the pool, waking a WaitForChunk; null is ignored.
  // Any side.
  void Release(std::uint8_t* chunk);
  // Returns a few pooled chunks beyond a small reserve to the system, so
  // that a large surplus goes back over several calls. Feeder side.
  void TrimPool();

  // Appends an element; the caller waits for HasRoom first.
  void Push(int slot, int channel, ChunkElement element);
  // Fewer than 300 elements queued; read without the lock.
  bool HasRoom(int slot, int channel) const;
  // Returns at once when the queue has room; otherwise waits until
  // kRefillBatch elements have been taken (or the slot flushed), or until
  // `cancelled` holds, which it looks at under the lock, so a CancelWaits
  // after making it true always ends the wait. False when cancelled.
  // Feeder side.
  bool WaitForRoom(int slot, int channel, const std::function<bool()>& cancelled);
  // Wakes every waiter (for room or for a chunk) to look at its `cancelled`
  // again.
  void CancelWaits();
  std::size_t Size(int slot, int channel) const;
  // Takes the front element; false when the queue is empty or out of range.
  bool TakeChunk(int slot, int channel, ChunkElement& element);
  // True when any of the first `channels` queues of the slot is empty.
  bool AnyEmpty(int slot, int channels) const;
  // True when all of the first `channels` queues of the slot are empty.
  bool AllEmpty(int slot, int channels) const;
  // True when the queue holds `bytes` of samples, or the end of its track.
  bool Covers(int slot, int channel, std::size_t bytes) const;
  // Takes every element off the slot's queues and releases their chunks.
  void FlushSlot(int slot);

 private:
  struct Ring {
    std::array<ChunkElement, kMaxQueuedChunks + 1> elements;
    std::size_t head = 0;
    std::size_t count = 0;
  };
  Ring& RingOf(int slot, int channel) { return rings_[slot][channel]; }
  // Back to the pool, or to the system when the pool is full; lock held.
  void RecycleLocked(std::uint8_t* chunk);

  mutable std::mutex mutex_;
  std::condition_variable roomMade_;
  std::condition_variable chunkReturned_;
  int chunkWaiters_ = 0;  // WaitForChunk calls waiting; only they are woken
  Ring rings_[kSlotCount][kMaxOutputChannels];
  std::atomic<std::size_t> sizes_[kSlotCount][kMaxOutputChannels];
  std::vector<std::uint8_t*> pool_;  // capacity reserved for every chunk that can exist
};

}  // namespace output
