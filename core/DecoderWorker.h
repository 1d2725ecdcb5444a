#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "core/DecodedDataQueue.h"
#include "core/MusicDataAnalyze.h"
#include "platform/Event.h"
#include "platform/SystemMemory.h"
#include "platform/ThreadMessageQueue.h"

namespace core {

// The decode lock: one worker decodes at a time, and workers decode in the
// order they were started. The order matters: the prepared slot's worker
// decoding before the current one would fill the queue with blocks the
// output does not take yet, and then wait for room that never comes while
// the current track starves.
class DecodeTurns {
 public:
  // A place in the order, taken by the playback thread as it starts a worker.
  std::uint64_t Take();
  // Gives up a place that will never be used.
  void Cancel(std::uint64_t ticket);
  // Waits for the turn of `ticket`; false, giving the place up, when `stop`
  // is set first.
  bool Acquire(std::uint64_t ticket, platform::Event& stop);
  void Release();
  // Wakes the waiters to look at their stop events: called after setting one.
  void Interrupt();

 private:
  bool MayDecode(std::uint64_t ticket) const {
    return !busy_ && !waiting_.empty() && *waiting_.begin() == ticket;
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::set<std::uint64_t> waiting_;
  std::uint64_t next_ = 0;
  bool busy_ = false;
};

// What the workers of both track slots share with the playback thread.
struct DecoderShared {
  DecodeTurns decodeLock;
  // Set when the queue first refuses a block for being full and whenever a
  // worker ends: the output may start.
  std::atomic<bool> primed{false};
  // The slot the output plays; a decoding error there skips to the next item.
  std::atomic<std::uint32_t> currentSlot{0};
};

// RAM mode refuses tracks that would crowd out the system: above 3.5 GiB,
// above 1.2 x the available memory (counted up to 4 GiB), above 90 % of all
// memory, or leaving less than 350 MiB of it; and it stops when less than
// 200 MiB stay available while it decodes.
inline constexpr std::uint64_t kRamTrackLimit = 3758096384;
inline constexpr std::uint64_t kRamAvailableCap = 4ull << 30;
inline constexpr std::uint64_t kRamSystemReserve = 0x15E00000;
inline constexpr std::uint64_t kRamMinimumAvailable = 0x0C800000;
bool RamTrackFits(std::uint64_t expectedBytes, const platform::MemoryStatus& status);

// What every decoder worker is handed from the playback thread, through
// the track slots.
struct WorkerLinks {
  // Receives TM_STOP (memory exhausted) and TM_NEXT (decoding failed).
  std::shared_ptr<platform::ThreadMessageQueue> playbackThread;
  // RAM-mode loading progress, 1 to 100 percent, called on the worker's
  // thread; may be empty.
  std::function<void(std::int32_t percent)> onLoading;
  // Seconds of silence before the first audio of a start from standstill;
  // the default lead-in when empty.
  std::function<double()> leadInSeconds;
  // Memory status for the RAM-mode checks; the running machine when null.
  std::shared_ptr<platform::ISystemMemory> system;
};

struct DecoderWorkerSetup {
  std::uint32_t slot = 0;
  // The worker's place in the decoding order (DecodeTurns::Take).
  std::uint64_t ticket = 0;
  std::shared_ptr<CMusicDataAnalyze> track;
  CDecodedDataQueue queue;
  // RAM mode: the whole track into an unlimited queue, with progress.
  bool ramMode = false;
  // The slot's stop event (manual reset); the only way to stop the worker.
  std::shared_ptr<platform::Event> stop;
  std::shared_ptr<DecoderShared> shared;
  WorkerLinks links;
  // Set after every block queued and every clear of the queue, for the
  // output feeder (IBlockSource::BlockArrival); may be null.
  std::shared_ptr<platform::Event> blockArrival;
};

// The thread that decodes one track slot into the decoded-data queue. The
// object owns its thread: Start runs it, Join (or destruction) waits for it;
// only the stop event ends it early.
class CDecoderWorker {
 public:
  explicit CDecoderWorker(DecoderWorkerSetup setup);
  ~CDecoderWorker();
  CDecoderWorker(const CDecoderWorker&) = delete;
  CDecoderWorker& operator=(const CDecoderWorker&) = delete;

  // False when the thread cannot be created.
  bool Start();
  void Join();

 private:
  enum class Outcome { kEnded, kStopped, kFailed, kOutOfMemory };

  void Run();
  // Tells the output feeder that the queue changed.
  void SignalBlockArrival() const;
  Outcome Decode(const output::BlockDescription& format);
  // Pushes one block, waiting while the queue is full; kQueueOk, the
  // queue's error, or kQueueGone when stopped meanwhile.
  std::uint32_t PushWaiting(const output::BlockDescription& block, std::uint32_t limit);
  bool MemoryStatus(platform::MemoryStatus* status) const;
  void Report(std::int32_t percent);
  // The output may start: sets the shared flag and wakes the playback
  // thread waiting for it.
  void MarkPrimed();

  DecoderWorkerSetup setup_;
  std::int32_t lastReported_ = -1;
  // The result of the read that failed, when decoding ended on one.
  std::int32_t readFailure_ = kMusicOk;
  std::thread thread_;
};

}  // namespace core
