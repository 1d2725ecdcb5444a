#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "core/PlayerNotify.h"
#include "core/PlaylistCtrl.h"
#include "core/ThrAudioPlayMessageFilter.h"
#include "core/TrackSlots.h"
#include "core/Transport.h"
#include "output/EngineLinks.h"
#include "platform/Event.h"
#include "platform/ThreadMessageQueue.h"

class CPluginCtrl;
class CWaveDataPlay;

// The player's engine thread. The facade posts it the transport commands
// (the TM_ messages), the output engine posts it TM_TRACK_END and TM_STOP.
// It owns the transport state, chooses the item to play, opens items into
// the two track slots and starts their decoder workers, prepares and starts
// the output engine, and reports every change through the facade's
// notification dispatcher. Its output engine's feeder pops the decoded
// blocks through PopBlock.
//
// Threads: the owner of this object starts the thread with Start and ends
// it with Stop (or destruction), which joins it. The output engine is made
// and destroyed on the thread; the thread owns the decoder workers.
class CThrAudioPlay : public IBlockSource, public IPositionSink {
 public:
  struct Options {
    // Pause after a waited-for control command, so that a burst collects.
    std::chrono::milliseconds commandPause{250};
    // Lead-in length; the device catalogue's for the output device, else 0.1 s.
    std::function<double()> leadInSeconds;
    // The machine for the RAM-mode checks; the running one when null.
    std::shared_ptr<platform::ISystemMemory> system;
    // Sources by type code; CreateSourceForType when empty.
    core::CMusicDataAnalyze::SourceMaker sourceMaker;
  };

  CThrAudioPlay(std::shared_ptr<CPluginCtrl> plugins, std::shared_ptr<CPlaylistCtrl> playlist,
                std::shared_ptr<IPlayerNotify> notify, Options options);
  CThrAudioPlay(std::shared_ptr<CPluginCtrl> plugins, std::shared_ptr<CPlaylistCtrl> playlist,
                std::shared_ptr<IPlayerNotify> notify)
      : CThrAudioPlay(std::move(plugins), std::move(playlist), std::move(notify), Options{}) {}
  ~CThrAudioPlay() override;
  CThrAudioPlay(const CThrAudioPlay&) = delete;
  CThrAudioPlay& operator=(const CThrAudioPlay&) = delete;

  // Starts the thread; false when it cannot be created or already runs.
  bool Start();
  // Posts quit and waits for the thread to end; the commands posted before
  // are handled first (those a quit supersedes are dropped). Ending, the
  // thread stops its workers and the output without a notification.
  void Stop();
  // As Stop, but waits at most `limit`; false when the thread still runs
  // then (the object must then live on until a later Stop has joined it).
  bool StopWithin(std::chrono::milliseconds limit);
  void Post(std::uint32_t id, std::intptr_t wParam = 0, std::intptr_t lParam = 0);
  const std::shared_ptr<platform::ThreadMessageQueue>& Messages() const { return messages_; }

  // The output feeder's blocks (IBlockSource).
  std::uint32_t PopBlock(output::BlockDescription* block, std::vector<std::uint8_t>* buffer,
                         std::uint32_t slot) override;
  std::shared_ptr<platform::Event> BlockArrival() override;
  // The output timer's played seconds (IPositionSink).
  void OnOutputPosition(std::uint32_t seconds) override;

  core::Transport TransportState() const { return transport_; }

 private:
  void Run();
  void Dispatch(const platform::ThreadMessage& message);
  // The pause after a control command, so that a burst collects.
  void CollectBurst();

  struct PlayOptions {
    bool byUser = false;     // the user asked for it (reported with the state)
    bool force = false;      // start afresh even where it would resume a pause
    bool backwards = false;  // an unplayable item steps on backwards
  };
  void PlayItem(std::int32_t item, PlayOptions options);
  // Waits until the queue is primed; a stop, previous or next arriving
  // meanwhile is handled at once and the wait answers false, as it does for
  // a quit, which is left for the message loop.
  bool WaitForPrimed();
  // From a slot whose worker was just started to a running output: prepares
  // the output for the slot, waits for the queue to prime, prepares the
  // item that follows (when the slot's source may be open twice,
  // `multiInstance`) and starts the output (paused when `paused`).
  // kInterrupted: a command, or a slot that decoded nothing, ended it and
  // was handled.
  enum class StartResult { kStarted, kInterrupted, kFailed };
  StartResult StartSlot(core::CMusicDataAnalyze& slot, bool multiInstance, bool paused);
  bool StartPrimedOutput(bool prepareOnly);
  struct PrepareOptions {
    bool markFailure = false;           // an item that cannot open is marked unplayable
    bool requireMultiInstance = false;  // only a source that may be open twice
  };
  void PrepareNext(std::int32_t item, PrepareOptions options);
  bool PrepareNextAllowed() const;
  // The item to prepare behind the current one; -1 for none.
  std::int32_t FollowingItem() const;
  void ContinueSeamlessly();

  void OnStop();
  void OnPause();
  // Pauses or resumes the output and tells the user interface which.
  void TogglePause();
  void OnStep(bool backwards, bool userFlag);
  void OnTrackEnd(bool restart, bool ranOut);
  void OnSeek(std::uint32_t seconds);
  void OnNextChanged();
  void OnOutputChanged();
  void OnRefreshTime();

  // Stops the output and the workers at once (a user's command cuts).
  void StopAll();
  // At the natural end of the output (a track ended and nothing joins it):
  // stops the output once the device has played the track to its last
  // sample, bounded in time (CWaveDataPlay::DrainAndStop).
  void PlayOut();
  void ClearBad();
  void NotifyState(NotifyType type, std::int32_t value = 0);
  void NotifyPlaying(std::int32_t item, bool userFlag);
  void ReportSkipped(bool userFlag);
  bool Compatible() const;
  bool IsAudioCd() const;
  double LeadInSeconds() const;

  std::shared_ptr<CPluginCtrl> plugins_;
  std::shared_ptr<CPlaylistCtrl> playlist_;
  std::shared_ptr<IPlayerNotify> notify_;
  Options options_;
  std::shared_ptr<platform::ThreadMessageQueue> messages_ =
      std::make_shared<platform::ThreadMessageQueue>();
  CThrAudioPlayMessageFilter filter_;
  std::unique_ptr<core::CTrackSlots> slots_;
  std::unique_ptr<CWaveDataPlay> engine_;  // lives on the thread

  std::atomic<core::Transport> transport_{core::Transport::kStopped};
  std::int32_t currentItem_ = 0;
  std::int32_t repeat_ = 0;
  // The current item's length in whole seconds, for the time reports.
  std::atomic<std::uint32_t> trackSeconds_{0};

  platform::Event ended_{true};  // set when Run returns
  std::thread thread_;
};
