#include "core/DecoderWorker.h"

#include <algorithm>
#include <new>
#include <system_error>
#include <utility>
#include <vector>

#include "core/SampleFormatCode.h"
#include "output/DevNameInfo.h"
#include "output/EngineSettings.h"
#include "output/PlaybackMessages.h"
#include "output/SilenceBlock.h"
#include "platform/ErrorReport.h"
#include "platform/StringTable.h"
#include "sources/MusicErrors.h"

namespace core {
namespace {

// Blocks stay this far below the queue's capacity, so the lead-in and the
// end block always find room.
constexpr std::uint32_t kPushHeadroom = 4;
// Stands for "stopped while waiting for room" beside the queue's results.
constexpr std::uint32_t kPushStopped = 0xFFFFFFFF;

}  // namespace

std::uint64_t DecodeTurns::Take() {
  std::lock_guard lock(mutex_);
  waiting_.insert(next_);
  return next_++;
}

void DecodeTurns::Cancel(std::uint64_t ticket) {
  {
    std::lock_guard lock(mutex_);
    waiting_.erase(ticket);
  }
  changed_.notify_all();
}

bool DecodeTurns::Acquire(std::uint64_t ticket, platform::Event& stop) {
  std::unique_lock lock(mutex_);
  // Whoever sets the stop event interrupts the wait (Interrupt).
  changed_.wait(lock, [&] { return MayDecode(ticket) || stop.IsSet(); });
  const bool turn = MayDecode(ticket);
  waiting_.erase(ticket);
  if (turn) {
    busy_ = true;
    return true;
  }
  lock.unlock();
  changed_.notify_all();
  return false;
}

void DecodeTurns::Interrupt() {
  std::lock_guard lock(mutex_);
  changed_.notify_all();
}

void DecodeTurns::Release() {
  {
    std::lock_guard lock(mutex_);
    busy_ = false;
  }
  changed_.notify_all();
}

bool RamTrackFits(std::uint64_t expectedBytes, const platform::MemoryStatus& status) {
  const std::uint64_t available = std::min(status.availablePhysical, kRamAvailableCap);
  const std::uint64_t total = status.totalPhysical;
  if (expectedBytes > kRamTrackLimit) return false;
  if (static_cast<double>(available) * 1.2 < static_cast<double>(expectedBytes)) return false;
  if (static_cast<double>(total) * 0.9 < static_cast<double>(expectedBytes)) return false;
  return expectedBytes <= std::max(total, kRamSystemReserve) - kRamSystemReserve;
}

CDecoderWorker::CDecoderWorker(DecoderWorkerSetup setup) : setup_(std::move(setup)) {
  if (!setup_.links.system) setup_.links.system = platform::LinuxSystemMemory();
  if (!setup_.links.leadInSeconds)
    setup_.links.leadInSeconds = [] { return CDevNameInfo::kDefaultLeadIn; };
}

CDecoderWorker::~CDecoderWorker() {
  Join();
}

bool CDecoderWorker::Start() {
  try {
    thread_ = std::thread(&CDecoderWorker::Run, this);
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void CDecoderWorker::Join() {
  if (thread_.joinable()) thread_.join();
}

bool CDecoderWorker::MemoryStatus(platform::MemoryStatus* status) const {
  return setup_.links.system->GetMemoryStatus(status);
}

void CDecoderWorker::Report(std::int32_t percent) {
  // Each percentage once: the last chunk may already have reached 100.
  if (percent == lastReported_) return;
  lastReported_ = percent;
  if (setup_.links.onLoading) setup_.links.onLoading(percent);
}

void CDecoderWorker::MarkPrimed() {
  setup_.shared->primed = true;
  if (setup_.links.playbackThread) setup_.links.playbackThread->Wake();
}

void CDecoderWorker::Run() {
  DecoderShared& shared = *setup_.shared;
  const CDecodedDataQueue& queue = setup_.queue;
  std::uint32_t queued = 0;
  if (!setup_.track || !setup_.track->IsOpen() ||
      queue.CountSlot(setup_.slot, &queued) == kQueueGone) {
    // Nothing to decode: still let a playback thread waiting for the queue
    // go on, and the workers after this one take their turns.
    shared.decodeLock.Cancel(setup_.ticket);
    MarkPrimed();
    return;
  }

  output::BlockDescription format;
  const WAVEFORMATEX wave = setup_.track->Format();
  format.formatCode = SampleFormatCodeFor(wave, setup_.track->IsDsd());
  format.channels = wave.nChannels;
  format.sampleRate = wave.nSamplesPerSec;
  format.slot = setup_.slot;

  // RAM mode plays one track at a time from the start of the locked region.
  if (setup_.ramMode) {
    queue.Clear();
  } else {
    queue.ClearSlot(setup_.slot);
  }
  SignalBlockArrival();

  if (!shared.decodeLock.Acquire(setup_.ticket, *setup_.stop)) return;

  Outcome outcome = Outcome::kFailed;
  try {
    outcome = Decode(format);
  } catch (const std::bad_alloc&) {
    outcome = Outcome::kOutOfMemory;
  }

  if (outcome == Outcome::kOutOfMemory) {
    if (setup_.ramMode || queue.ClearSlot(setup_.slot) == kQueueNotSupported) {
      queue.Clear();
    }
    SignalBlockArrival();
    setup_.links.playbackThread->Post(TM_STOP, 0, 0);
    platform::ReportAppError(platform::LoadResString(platform::IDS_NOT_ENOUGH_MEMORY));
  } else if (outcome == Outcome::kFailed) {
    // A file damaged past its header plays up to the damage; the listener is
    // told why the track ended early, with the file it was.
    if (readFailure_ != kMusicOk) {
      const std::wstring path = setup_.track->Path();
      platform::ReportAppError(FormatMusicError(readFailure_, path) + L"\n" + path);
    }
    if (shared.currentSlot == setup_.slot) setup_.links.playbackThread->Post(TM_NEXT, 0, 0);
  }
  if (setup_.ramMode) Report(100);
  MarkPrimed();
  shared.decodeLock.Release();
}

CDecoderWorker::Outcome CDecoderWorker::Decode(const output::BlockDescription& format) {
  CMusicDataAnalyze& track = *setup_.track;
  const CDecodedDataQueue& queue = setup_.queue;
  const std::uint64_t expected = std::max<std::uint32_t>(track.ExpectedBytes(), 1);
  std::uint64_t decoded = 0;
  platform::MemoryStatus status;

  if (setup_.ramMode) {
    Report(1);
    if (MemoryStatus(&status) && !RamTrackFits(expected, status)) return Outcome::kOutOfMemory;
  }
  const std::uint32_t chunkLimit = std::max(queue.GetCapacity(), kPushHeadroom) - kPushHeadroom;

  std::vector<std::uint8_t> silence;
  while (!setup_.stop->IsSet()) {
    if (setup_.ramMode && MemoryStatus(&status) &&
        status.availablePhysical < kRamMinimumAvailable) {
      return Outcome::kOutOfMemory;
    }
    void* data = nullptr;
    std::uint32_t size = 0;
    const std::int32_t result = track.Read(&data, &size);
    // Hands the chunk back on every way out of this pass.
    const std::unique_ptr<void, std::function<void(void*)>> chunk(
        data, [&track](void* buffer) { track.ReleaseChunk(buffer); });

    if (setup_.ramMode && result == kMusicOk) {
      decoded += size;
      const auto percent =
          static_cast<std::int32_t>(std::min<std::uint64_t>(decoded * 100 / expected, 100));
      if (percent > 1) Report(percent);
    }

    std::uint32_t pushed = kQueueOk;
    if (result == kMusicOk) {
      if (TakeLeadInPending()) {
        const output::BlockDescription leadIn =
            output::MakeSilenceBlock(format, setup_.links.leadInSeconds(), silence);
        if (leadIn.data != nullptr) pushed = PushWaiting(leadIn, 0);
      }
      if (pushed == kQueueOk) {
        output::BlockDescription block = format;
        block.data = data;
        block.size = size;
        pushed = PushWaiting(block, chunkLimit);
      }
      if (pushed == kQueueOk) continue;
      if (pushed == kPushStopped) return Outcome::kStopped;
    }

    if (pushed == kQueueStorageFailed) return Outcome::kOutOfMemory;
    if (result != kMusicOk && result != kMusicEndOfRange) readFailure_ = result;
    // The end of the track (or of what could be decoded of it) is marked
    // with the empty block, so the output finishes the slot rather than
    // waiting for data that never comes.
    output::BlockDescription end = format;
    end.data = nullptr;
    end.size = 0;
    const std::uint32_t ended = PushWaiting(end, 0);
    if (ended == kPushStopped) return Outcome::kStopped;
    if (ended == kQueueStorageFailed) return Outcome::kOutOfMemory;
    const bool clean = pushed == kQueueOk && result == kMusicEndOfRange && ended == kQueueOk;
    return clean ? Outcome::kEnded : Outcome::kFailed;
  }
  return Outcome::kStopped;
}

void CDecoderWorker::SignalBlockArrival() const {
  if (setup_.blockArrival) setup_.blockArrival->Set();
}

std::uint32_t CDecoderWorker::PushWaiting(const output::BlockDescription& block,
                                          std::uint32_t limit) {
  for (;;) {
    const std::uint32_t result = setup_.queue.Push(&block, limit);
    if (result == kQueueOk) SignalBlockArrival();
    if (result != kQueueFull) return result;
    MarkPrimed();
    if (!setup_.queue.WaitForRoom(limit, [this] { return setup_.stop->IsSet(); })) {
      return kPushStopped;
    }
  }
}

}  // namespace core
