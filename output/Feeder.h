#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "output/ChunkQueues.h"
#include "output/EngineLinks.h"
#include "platform/Event.h"

namespace output {

class DeviceSession;

// The feeder thread: takes the decoded blocks of the slot it feeds from the
// block source and splits them into per-channel chunks of 32-bit samples
// for the buffer switch, one chunk being filled per slot and channel; at the
// end of a track it queues the partial chunks and the end mark and feeds the
// other slot. The object owns the thread: Start runs it, Stop (or
// destruction) ends and joins it. Start, Stop and WaitUntilReady are for the
// playback thread; RequestFlush is for any.
class Feeder {
 public:
  // `silenceOf` gives the idle byte of a slot's chunks; it may take the
  // engine lock (the feeder holds no lock when it calls it).
  Feeder(ChunkQueues& queues, const DeviceSession& device, std::shared_ptr<IBlockSource> blocks,
         std::function<std::uint8_t(int slot)> silenceOf);
  ~Feeder();
  Feeder(const Feeder&) = delete;
  Feeder& operator=(const Feeder&) = delete;

  // Starts feeding `firstSlot` afresh; `dopDecode` turns DSD blocks into DoP
  // words. False when the thread cannot be created.
  bool Start(int firstSlot, bool dopDecode);
  void Stop();
  // Waits until some channel has more than a ready amount queued, or the
  // feeder ended, at most `limit`.
  void WaitUntilReady(std::chrono::milliseconds limit);
  // The slot loses what was fed of it; the feeder acts on it before its
  // next block.
  void RequestFlush(int slot);

 private:
  void Loop(int feedSlot, bool dop);
  bool Stopping() const { return stopping_.load(); }
  bool WaitForRoom(int slot, int channel);
  std::uint8_t* NewChunk(int slot);
  // Queues the full chunks of every channel and gives each a fresh one;
  // false when the output stops or the slot is being flushed.
  bool PushFullChunks(int slot);
  void EndTrack(int& feedSlot);
  void ReleaseChunks(int slot);
  // Makes `slot` the one being fed: fresh chunks, write offset 0.
  void FeedInto(int slot);
  void HandleFlushRequests(int& feedSlot);

  ChunkQueues& queues_;
  const DeviceSession& device_;
  const std::shared_ptr<IBlockSource> blocks_;
  const std::function<std::uint8_t(int slot)> silenceOf_;

  // What the feeder waits on when it has nothing to do: the block source's
  // arrival event (its own one without a source), also set for a flush
  // request and a stop.
  const std::shared_ptr<platform::Event> wake_;

  std::thread thread_;
  // Looked at by the waits for room and for a chunk under the chunk-queue
  // lock, so it is not an event (whose lock would nest inside that one).
  std::atomic<bool> stopping_{false};
  platform::Event ready_{true};
  std::atomic<bool> flushRequest_[kSlotCount] = {false, false};
  // The chunks being filled and their shared write offset; the DoP phase of
  // the next word, carried on from track to track.
  std::uint8_t* chunks_[kSlotCount][kMaxOutputChannels] = {};
  std::uint32_t writeOffset_ = 0;
  std::uint32_t dopPhase_ = 0;
};

}  // namespace output
