#include "core/TrackSlots.h"

#include <utility>

#include "output/EngineSettings.h"
#include "platform/ErrorReport.h"
#include "sources/MusicErrors.h"

namespace core {

CTrackSlots::CTrackSlots(Links links, std::int32_t ramMode) : links_(std::move(links)) {
  ReplaceQueue(ramMode);
}

CTrackSlots::~CTrackSlots() {
  StopWorkers();
}

void CTrackSlots::ReplaceQueue(std::int32_t ramMode) {
  queueDepth_ = ramMode == 0 ? static_cast<std::int32_t>(kNormalQueueCapacity) : 0;
  queue_ = CDecodedDataQueue::Create(ramMode, links_.worker.system);
  blockArrival_->Set();
}

std::uint32_t CTrackSlots::PopBlock(output::BlockDescription* block,
                                    std::vector<std::uint8_t>* buffer, std::uint32_t slot) const {
  if (block == nullptr) return kQueueNullArgument;
  // A copy of the handle: the queue lives until this pop is done, even
  // when the playback thread replaces it meanwhile.
  const CDecodedDataQueue queue = queue_;
  return queue.Pop(block, buffer, slot);
}

bool CTrackSlots::Mp3PairRule() const {
  const CPlaylistCtrl& playlist = *links_.playlist;
  if (GetEngineSettings().mp3Gapless == 0 || playlist.Count() <= 1) return false;
  TrackInfo current, following;
  if (playlist.GetItem(playlist.CurrentItem(), &current) != 0) return false;
  if (playlist.GetItem(playlist.NextItem(), &following) != 0) return false;
  return current.type == kSourceTypeMp3 && following.type == kSourceTypeMp3;
}

bool CTrackSlots::OpenSlot(std::int32_t item, bool report) {
  TrackInfo info;
  if (links_.playlist->GetItem(item, &info) != 0) return false;
  // A worker still running keeps its own reference to the slot.
  slots_[next_].reset();
  if (info.type < kSourceTypeCdda || info.type > kSourceTypePlugin) return false;

  auto slot = std::make_shared<CMusicDataAnalyze>(links_.sourceMaker);
  OpenTrackRequest request;
  request.plugins = links_.plugins;
  request.type = info.type;
  request.path = info.path;
  request.gapless = Mp3PairRule();
  request.threshold = GetEngineSettings().gaplessThreshold;
  std::int32_t result = slot->OpenTrack(request);
  if (result == kMusicOk) result = slot->SetTrackRange(0, info.start, info.end);
  if (result != kMusicOk) {
    if (report) platform::ReportAppError(FormatMusicError(result, info.path));
    return false;
  }
  slots_[next_] = std::move(slot);
  return true;
}

bool CTrackSlots::StartDecoding() {
  const int slot = next_;
  EmptySlot(slot);
  shared_->primed = false;
  // A worker already waiting for room primes the queue again when it retries.
  queue_.Interrupt();
  stops_[slot]->Reset();

  DecoderWorkerSetup setup;
  setup.slot = static_cast<std::uint32_t>(slot);
  setup.ticket = shared_->decodeLock.Take();
  setup.track = slots_[slot];
  setup.queue = queue_;
  setup.ramMode = queueDepth_ == 0;
  setup.stop = stops_[slot];
  setup.shared = shared_;
  setup.links = links_.worker;
  setup.blockArrival = blockArrival_;
  const std::uint64_t ticket = setup.ticket;
  auto worker = std::make_unique<CDecoderWorker>(std::move(setup));
  if (!worker->Start()) {
    shared_->decodeLock.Cancel(ticket);
    return false;
  }
  workers_[slot] = std::move(worker);
  next_ = 1 - slot;
  return true;
}

void CTrackSlots::EmptySlot(int slot) {
  SignalStop(slot);
  if (workers_[slot]) {
    workers_[slot]->Join();
    workers_[slot].reset();
  }
  // The RAM mode's queue gives blocks back only in order, and holds one
  // slot's track at a time: it is cleared whole, and only when it holds
  // blocks of this slot, never for a slot it has nothing of.
  const auto s = static_cast<std::uint32_t>(slot);
  std::uint32_t queued = 0;
  if (queue_.ClearSlot(s) == kQueueNotSupported && queue_.CountSlot(s, &queued) == kQueueOk &&
      queued > 0) {
    queue_.Clear();
  }
  blockArrival_->Set();
}

void CTrackSlots::SignalStop(int slot) {
  stops_[slot]->Set();
  // A worker may be waiting for its turn or for room in the queue.
  shared_->decodeLock.Interrupt();
  queue_.Interrupt();
}

void CTrackSlots::StopWorkers() {
  for (int slot = 0; slot < kSlots; ++slot)
    SignalStop(slot);
  for (auto& worker : workers_) {
    if (worker) worker->Join();
    worker.reset();
  }
  queue_.Clear();
  blockArrival_->Set();
}

}  // namespace core
