#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/DecodedDataQueue.h"
#include "core/DecoderWorker.h"
#include "core/MusicDataAnalyze.h"
#include "core/PlaylistCtrl.h"
#include "output/ChunkQueues.h"
#include "platform/Event.h"
#include "platform/SystemMemory.h"
#include "platform/ThreadMessageQueue.h"

class CPluginCtrl;

namespace core {

// The two track slots of the playback thread with their decoder workers,
// stop events and the decoded-data queue the workers fill. All operations
// are for the playback thread, which owns this object and every worker
// thread in it; PopBlock is for the output feeder.
class CTrackSlots {
 public:
  static constexpr int kSlots = output::kSlotCount;

  struct Links {
    std::shared_ptr<CPlaylistCtrl> playlist;
    std::shared_ptr<CPluginCtrl> plugins;
    // Handed to every worker as it is.
    WorkerLinks worker;
    // Sources by type code; CreateSourceForType when empty.
    CMusicDataAnalyze::SourceMaker sourceMaker;
  };

  CTrackSlots(Links links, std::int32_t ramMode);
  ~CTrackSlots();
  CTrackSlots(const CTrackSlots&) = delete;
  CTrackSlots& operator=(const CTrackSlots&) = delete;

  // Opens playlist item `item` into the next slot, releasing what that slot
  // held; with `report` a failure goes to the error report.
  bool OpenSlot(std::int32_t item, bool report);
  // Starts a worker for the next slot (after its previous worker ended),
  // discarding what the queue holds of it; the next slot then becomes the
  // other one. The output is not asked to flush the slot: its feeder acts
  // on a flush request at its next empty read, which may come after the
  // new worker's first blocks were fed, and would throw them away. Where
  // the output holds stale data of a slot, the playback thread stops the
  // output or requests the flush itself.
  bool StartDecoding();
  // Stops both workers, waits for them and clears the queue.
  void StopWorkers();
  // Stops the slot's worker, waits for it and releases it and its blocks.
  void EmptySlot(int slot);

  std::shared_ptr<CMusicDataAnalyze> Slot(int slot) const { return slots_[slot & 1]; }
  int NextSlot() const { return next_; }
  void SetNextSlot(int slot) { next_ = slot & 1; }
  int CurrentSlot() const { return static_cast<int>(shared_->currentSlot.load()); }
  void SetCurrentSlot(int slot) { shared_->currentSlot = static_cast<std::uint32_t>(slot & 1); }
  bool Primed() const { return shared_->primed; }

  // 8 in normal operation, 0 (no limit) in RAM mode.
  std::int32_t QueueDepth() const { return queueDepth_; }
  const CDecodedDataQueue& Queue() const { return queue_; }
  // A new, empty queue for the RAM mode given (the workers must be stopped).
  void ReplaceQueue(std::int32_t ramMode);
  // The front block of `slot` for the output feeder.
  std::uint32_t PopBlock(output::BlockDescription* block, std::vector<std::uint8_t>* buffer,
                         std::uint32_t slot) const;
  // Set whenever PopBlock may find a block where it found none: a worker
  // queued one, or blocks were cleared (IBlockSource::BlockArrival).
  std::shared_ptr<platform::Event> BlockArrival() const { return blockArrival_; }

  // Whether both play positions (current and following) hold MP3 items, so
  // MP3 gapless trimming applies (and only when switched on).
  bool Mp3PairRule() const;

 private:
  // Sets the slot's stop event and wakes its worker wherever it waits.
  void SignalStop(int slot);

  Links links_;
  std::int32_t queueDepth_ = kNormalQueueCapacity;
  CDecodedDataQueue queue_;
  std::shared_ptr<DecoderShared> shared_ = std::make_shared<DecoderShared>();
  std::array<std::shared_ptr<CMusicDataAnalyze>, kSlots> slots_;
  std::array<std::unique_ptr<CDecoderWorker>, kSlots> workers_;
  std::array<std::shared_ptr<platform::Event>, kSlots> stops_ = {
      std::make_shared<platform::Event>(true), std::make_shared<platform::Event>(true)};
  const std::shared_ptr<platform::Event> blockArrival_ = std::make_shared<platform::Event>(false);
  int next_ = 0;
};

}  // namespace core
