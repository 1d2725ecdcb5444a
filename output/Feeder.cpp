#include "output/Feeder.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <system_error>
#include <utility>
#include <vector>

#include "output/DeviceSession.h"
#include "output/SamplePacking.h"

namespace output {
namespace {

constexpr std::uint32_t kReadyChunks = 29;
constexpr std::size_t kScratchBytes = 3072000;

// The feeder runs above normal priority where the system lets us, at normal
// priority elsewhere.
void RaiseThreadPriority() {
  setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), -5);
}

}  // namespace

Feeder::Feeder(ChunkQueues& queues, const DeviceSession& device,
               std::shared_ptr<IBlockSource> blocks,
               std::function<std::uint8_t(int slot)> silenceOf)
    : queues_(queues),
      device_(device),
      blocks_(std::move(blocks)),
      silenceOf_(std::move(silenceOf)),
      wake_(blocks_ ? blocks_->BlockArrival() : std::make_shared<platform::Event>(false)) {}

Feeder::~Feeder() {
  Stop();
}

bool Feeder::Start(int firstSlot, bool dopDecode) {
  stopping_ = false;
  ready_.Reset();
  try {
    thread_ = std::thread(&Feeder::Loop, this, firstSlot, dopDecode);
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void Feeder::Stop() {
  stopping_ = true;
  queues_.CancelWaits();
  wake_->Set();
  if (thread_.joinable()) thread_.join();
  stopping_ = false;
}

void Feeder::WaitUntilReady(std::chrono::milliseconds limit) {
  ready_.WaitFor(limit);
}

void Feeder::RequestFlush(int slot) {
  flushRequest_[slot & 1] = true;
  wake_->Set();
}

bool Feeder::WaitForRoom(int slot, int channel) {
  // Woken by the buffer switch as it takes chunks, and by a stop.
  return queues_.WaitForRoom(slot, channel, [this] { return Stopping(); });
}

std::uint8_t* Feeder::NewChunk(int slot) {
  // A channel must never go without a chunk: without memory it waits for
  // the buffer switch to give one back, or for the output to stop.
  return queues_.WaitForChunk(silenceOf_(slot), [this] { return Stopping(); });
}

void Feeder::ReleaseChunks(int slot) {
  for (auto& chunk : chunks_[slot]) {
    queues_.Release(chunk);
    chunk = nullptr;
  }
}

bool Feeder::PushFullChunks(int slot) {
  writeOffset_ = 0;
  for (int channel = 0; channel < device_.outputBuffers(); ++channel) {
    if (flushRequest_[slot].exchange(false)) {
      queues_.FlushSlot(slot);
      FeedInto(slot);
      return false;
    }
    if (!WaitForRoom(slot, channel)) return false;
    queues_.Push(slot, channel, ChunkElement{chunks_[slot][channel], kChunkBytes});
    chunks_[slot][channel] = NewChunk(slot);
    if (chunks_[slot][channel] == nullptr) return false;
    if (queues_.Size(slot, channel) > kReadyChunks) ready_.Set();
  }
  queues_.TrimPool();
  return true;
}

void Feeder::EndTrack(int& feedSlot) {
  for (int channel = 0; channel < device_.outputBuffers(); ++channel) {
    if (!WaitForRoom(feedSlot, channel)) return;
    queues_.Push(feedSlot, channel, ChunkElement{chunks_[feedSlot][channel], writeOffset_});
    chunks_[feedSlot][channel] = NewChunk(feedSlot);
  }
  for (int channel = 0; channel < device_.outputBuffers(); ++channel) {
    if (!WaitForRoom(feedSlot, channel)) return;
    queues_.Push(feedSlot, channel, ChunkElement{});
  }
  // The track after it feeds the other slot; the DoP phase carries on.
  feedSlot = 1 - feedSlot;
  FeedInto(feedSlot);
}

void Feeder::FeedInto(int slot) {
  ReleaseChunks(slot);
  for (int channel = 0; channel < device_.outputBuffers(); ++channel) {
    chunks_[slot][channel] = NewChunk(slot);
  }
  writeOffset_ = 0;
}

void Feeder::HandleFlushRequests(int& feedSlot) {
  // Looked at before every block, so a request never waits until the
  // feeder gets to the slot with a new track. A flushed slot loses what was
  // fed of it and is fed again from its new track when the feeder had got
  // to it; a slot not reached yet (the feeder still feeds the track
  // playing) has nothing to lose, and the feeder stays where it is.
  for (int slot = 0; slot < kSlotCount; ++slot) {
    if (!flushRequest_[slot].exchange(false)) continue;
    const bool reached = slot == feedSlot || !queues_.AllEmpty(slot, device_.outputBuffers());
    queues_.FlushSlot(slot);
    if (reached) {
      feedSlot = slot;
      FeedInto(feedSlot);
    }
  }
}

void Feeder::Loop(int feedSlot, bool dop) {
  RaiseThreadPriority();
  queues_.FlushSlot(feedSlot);
  FeedInto(feedSlot);
  std::vector<std::uint8_t> scratch;
  scratch.reserve(kScratchBytes);

  while (!Stopping()) {
    HandleFlushRequests(feedSlot);
    BlockDescription block;
    if (!blocks_ || blocks_->PopBlock(&block, &scratch, static_cast<uint32_t>(feedSlot)) != 0) {
      wake_->Wait();  // a new block, a flush request or the stop
      continue;
    }
    const std::uint32_t frames = FrameCountOf(block);
    if (frames == 0) {
      EndTrack(feedSlot);
      continue;
    }
    SampleReader reader = MakeSampleReader(block, dop && IsDsdFormat(block.formatCode), dopPhase_);
    std::size_t remaining = static_cast<std::size_t>(frames) * (reader.dop ? 2 : 1);
    while (remaining > 0 && !Stopping()) {
      const std::size_t run = std::min<std::size_t>(remaining, (kChunkBytes - writeOffset_) / 4);
      for (int channel = 0; channel < device_.outputBuffers(); ++channel) {
        auto* out = reinterpret_cast<std::uint32_t*>(chunks_[feedSlot][channel] + writeOffset_);
        ReadIntermediateRun(static_cast<uint32_t>(channel), reader, run, out);
      }
      AdvanceOutputSamples(reader, static_cast<uint32_t>(run));
      remaining -= run;
      writeOffset_ += static_cast<std::uint32_t>(run * 4);
      if (writeOffset_ == kChunkBytes && !PushFullChunks(feedSlot)) break;
    }
    dopPhase_ = reader.dopPhase;
  }
  ready_.Set();
  flushRequest_[0] = flushRequest_[1] = false;
  for (int slot = 0; slot < kSlotCount; ++slot)
    ReleaseChunks(slot);
}

}  // namespace output
