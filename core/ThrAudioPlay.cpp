#include "core/ThrAudioPlay.h"

#include <algorithm>
#include <system_error>
#include <utility>

#include "core/SampleFormatCode.h"
#include "output/DevNameInfo.h"
#include "output/DeviceSelection.h"
#include "output/EngineSettings.h"
#include "output/PlaybackMessages.h"
#include "output/WasapiAccess.h"
#include "output/WaveDataPlay.h"
#include "platform/TextCompare.h"

namespace {

constexpr std::int32_t kRepeatNone = 0;
constexpr std::int32_t kRepeatOne = 1;

bool IsDsdContainer(const std::wstring& name) {
  return platform::EqualsIgnoringCase(name, L"DSF") || platform::EqualsIgnoringCase(name, L"DFF");
}

// A DSF item next to a DFF item (either way round) is never joined.
bool DsdContainersDiffer(const std::wstring& current, const std::wstring& following) {
  return IsDsdContainer(current) && IsDsdContainer(following) &&
         !platform::EqualsIgnoringCase(current, following);
}

// The shared references the engine takes for the feeder and the timer point
// at this object without owning it: the engine lives on the playback
// thread, which ends before the object goes.
template <typename Interface>
std::shared_ptr<Interface> Unowned(Interface* object) {
  return std::shared_ptr<Interface>(std::shared_ptr<void>(), object);
}

}  // namespace

CThrAudioPlay::CThrAudioPlay(std::shared_ptr<CPluginCtrl> plugins,
                             std::shared_ptr<CPlaylistCtrl> playlist,
                             std::shared_ptr<IPlayerNotify> notify, Options options)
    : plugins_(std::move(plugins)),
      playlist_(std::move(playlist)),
      notify_(std::move(notify)),
      options_(std::move(options)) {
  core::CTrackSlots::Links links;
  links.playlist = playlist_;
  links.plugins = plugins_;
  links.worker.playbackThread = messages_;
  links.worker.onLoading = [notify = notify_](std::int32_t percent) {
    if (notify) notify->Notify(kNotifyLoading, percent, nullptr);
  };
  links.worker.leadInSeconds = [this] { return LeadInSeconds(); };
  links.worker.system = options_.system;
  links.sourceMaker = options_.sourceMaker;
  slots_ = std::make_unique<core::CTrackSlots>(std::move(links), GetEngineSettings().ramMode);
}

CThrAudioPlay::~CThrAudioPlay() {
  Stop();
}

bool CThrAudioPlay::Start() {
  if (thread_.joinable()) return false;
  ended_.Reset();
  try {
    thread_ = std::thread(&CThrAudioPlay::Run, this);
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void CThrAudioPlay::Stop() {
  if (!thread_.joinable()) return;
  messages_->PostQuit();
  thread_.join();
}

bool CThrAudioPlay::StopWithin(std::chrono::milliseconds limit) {
  if (!thread_.joinable()) return true;
  messages_->PostQuit();
  if (!ended_.WaitFor(limit)) return false;
  thread_.join();
  return true;
}

void CThrAudioPlay::Post(std::uint32_t id, std::intptr_t wParam, std::intptr_t lParam) {
  messages_->Post(id, wParam, lParam);
}

std::uint32_t CThrAudioPlay::PopBlock(output::BlockDescription* block,
                                      std::vector<std::uint8_t>* buffer, std::uint32_t slot) {
  return slots_->PopBlock(block, buffer, slot);
}

std::shared_ptr<platform::Event> CThrAudioPlay::BlockArrival() {
  return slots_->BlockArrival();
}

void CThrAudioPlay::OnOutputPosition(std::uint32_t seconds) {
  const auto callback = notify_ ? notify_->Callback() : nullptr;
  if (!callback) return;
  const std::uint32_t track = std::min(seconds, trackSeconds_.load());
  callback->OnTimeChanged(track, static_cast<std::uint32_t>(playlist_->PlayedSeconds()) + track);
}

// ------------------------------------------------------------ message pump

void CThrAudioPlay::Run() {
  engine_ = std::make_unique<CWaveDataPlay>(messages_, Unowned<IBlockSource>(this),
                                            Unowned<IPositionSink>(this));
  for (;;) {
    filter_.Collect(*messages_);
    bool waitedForControl = false;
    if (filter_.Empty()) {
      platform::ThreadMessage message;
      messages_->Get(message);  // the quit message too: it ends the loop below
      filter_.Append(message);
      waitedForControl = CThrAudioPlayMessageFilter::IsControl(message.id);
    }
    filter_.Coalesce();
    if (const auto message = filter_.TakeFront()) {
      if (message->id == platform::kQuitMessage) break;
      Dispatch(*message);
    }
    if (waitedForControl) CollectBurst();
  }
  slots_->StopWorkers();
  engine_.reset();
  ended_.Set();
}

void CThrAudioPlay::CollectBurst() {
  // Commands arriving now join the list, where the next pass coalesces
  // them; a quit ends the pause at once.
  const auto deadline = std::chrono::steady_clock::now() + options_.commandPause;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return;
    const auto message = messages_->WaitFor(static_cast<std::uint32_t>(left.count()));
    if (!message) return;
    filter_.Append(*message);
    if (message->id == platform::kQuitMessage) return;
  }
}

void CThrAudioPlay::Dispatch(const platform::ThreadMessage& message) {
  switch (message.id) {
    case TM_PLAY_ITEM:
      // Wakes the maker's desktop endpoints (a sleeping DAC misses the
      // start of the music otherwise); the result is only informative.
      CWasapiAccess().WarmUpEndpoints();
      PlayItem(static_cast<std::int32_t>(message.wParam),
               {.byUser = (message.lParam & 1) != 0, .force = (message.lParam & 2) != 0});
      break;
    case TM_SEEK:
      OnSeek(static_cast<std::uint32_t>(message.wParam));
      break;
    case TM_REFRESH_TIME:
      OnRefreshTime();
      break;
    case TM_STOP:
      OnStop();
      break;
    case TM_PAUSE:
      OnPause();
      break;
    case TM_PREVIOUS:
      OnStep(true, message.wParam != 0);
      break;
    case TM_NEXT:
      OnStep(false, message.wParam != 0);
      break;
    case TM_TRACK_END:
      OnTrackEnd(message.wParam == 1, message.lParam == 1);
      break;
    case TM_OUTPUT_CHANGED:
      OnOutputChanged();
      break;
    case TM_SET_SHUFFLE:
      playlist_->RebuildOrder(message.wParam != 0, -1);
      break;
    case TM_SET_REPEAT:
      repeat_ = std::clamp<std::int32_t>(static_cast<std::int32_t>(message.wParam), 0, 2);
      break;
    case TM_NEXT_CHANGED:
      OnNextChanged();
      break;
    default:
      break;
  }
}

// ------------------------------------------------------------------ playing

void CThrAudioPlay::PlayItem(std::int32_t item, PlayOptions options) {
  const bool userFlag = options.byUser;
  if (const auto callback = notify_ ? notify_->Callback() : nullptr) callback->OnPlayRequest();

  if (!options.force && transport_ == core::Transport::kPaused && item == currentItem_) {
    TogglePause();
    return;
  }

  SetLeadInPending();
  if (const auto callback = notify_ ? notify_->Callback() : nullptr) {
    callback->OnTimeChanged(0, static_cast<std::uint32_t>(playlist_->PlayedSeconds()));
  }
  StopAll();
  currentItem_ = item;
  playlist_->SetPlayPositionToItem(item);

  const std::int32_t count = playlist_->Count();
  if (item < 0 || item >= count) {
    // Nothing to play there: the output is stopped, and the state says so.
    transport_ = core::Transport::kStopped;
    NotifyState(kNotifyStopped);
    return;
  }

  TrackInfo info;
  playlist_->GetItem(item, &info);
  if (IsMarkedUnplayable(info)) {
    if (playlist_->AllUnplayable() || repeat_ == kRepeatOne) {
      transport_ = core::Transport::kStopped;
      StopAll();
      ClearBad();
      NotifyState(kNotifyStopped);
    } else {
      ReportSkipped(userFlag);
      messages_->Post(options.backwards ? TM_PREVIOUS : TM_NEXT, 0, 0);
    }
    return;
  }

  if (slots_->QueueDepth() == 0 && !engine_->CheckDevice()) return;

  if (!slots_->OpenSlot(item, true)) {
    playlist_->MarkUnplayable(item);
    NotifyState(kNotifyStopped);
    if (playlist_->PlayPosition() == count - 1) {
      OnStop();
    } else {
      messages_->Post(options.backwards ? TM_PREVIOUS : TM_NEXT, 0, 0);
    }
    return;
  }

  const auto slot = slots_->Slot(slots_->NextSlot());
  const bool multiInstance = slot->IsMultiInstance();
  if (!slots_->StartDecoding()) {
    OnStop();
    return;
  }
  transport_ = core::Transport::kPlaying;
  NotifyPlaying(playlist_->CurrentItem(), userFlag);
  if (StartSlot(*slot, multiInstance, false) == StartResult::kFailed) {
    playlist_->MarkUnplayable(playlist_->CurrentItem());
    ReportSkipped(userFlag);
  }
}

CThrAudioPlay::StartResult CThrAudioPlay::StartSlot(core::CMusicDataAnalyze& slot,
                                                    bool multiInstance, bool paused) {
  engine_->PrepareSlot(slot.IsDsd(), slot.Format().nSamplesPerSec, multiInstance, false);
  if (!WaitForPrimed()) return StartResult::kInterrupted;
  std::uint32_t queued = 0;
  slots_->Queue().CountSlot(static_cast<std::uint32_t>(slots_->CurrentSlot()), &queued);
  if (queued == 0) {
    OnStop();
    return StartResult::kInterrupted;
  }
  // The item that follows is prepared before the output starts, so that a
  // device that plays faster than real time finds it there at the join.
  if (!IsAudioCd() && multiInstance && PrepareNextAllowed()) {
    PrepareNext(FollowingItem(), {});
  }
  const bool started = StartPrimedOutput(paused);
  if (paused) engine_->TogglePause();
  return started ? StartResult::kStarted : StartResult::kFailed;
}

bool CThrAudioPlay::WaitForPrimed() {
  while (!slots_->Primed()) {
    // The workers wake the wait when they prime the queue.
    if (auto message = messages_->WaitForMessageOr([this] { return slots_->Primed(); })) {
      filter_.Append(*message);
      filter_.Collect(*messages_);
      // The command taken below jumps the queue: first drop the older ones
      // it supersedes, or they would run after it and undo it.
      filter_.Coalesce();
    }
    const auto command =
        filter_.TakeFirstOf({TM_STOP, TM_PAUSE, TM_PREVIOUS, TM_NEXT, platform::kQuitMessage});
    if (!command || command->id == TM_PAUSE) continue;  // a pause here is discarded
    if (command->id == platform::kQuitMessage) {
      // Ending the thread does not wait for a track to load: the message
      // loop takes the quit next and stops the workers.
      filter_.Append(*command);
      return false;
    }
    Dispatch(*command);
    return false;
  }
  return true;
}

bool CThrAudioPlay::StartPrimedOutput(bool prepareOnly) {
  const auto slot = slots_->Slot(slots_->CurrentSlot());
  const WAVEFORMATEX format = slot->Format();
  const std::uint32_t code = core::SampleFormatCodeFor(format, slot->IsDsd());
  return engine_->StartOutput(format.wBitsPerSample, prepareOnly, format.nSamplesPerSec, code) !=
         -1;
}

std::int32_t CThrAudioPlay::FollowingItem() const {
  // Past the last position the order wraps: only repeating the playlist
  // (in order) plays that item next. Anything prepared otherwise would be
  // joined onto the stream and heard before the thread stops or restarts.
  const bool wraps = playlist_->PlayPosition() + 1 >= playlist_->Count();
  if (repeat_ == kRepeatOne) return -1;
  if (wraps && (repeat_ == kRepeatNone || playlist_->IsShuffle())) return -1;
  return playlist_->NextItem();
}

bool CThrAudioPlay::PrepareNextAllowed() const {
  return slots_->QueueDepth() == static_cast<std::int32_t>(core::kNormalQueueCapacity) &&
         playlist_->Count() > 1;
}

void CThrAudioPlay::PrepareNext(std::int32_t item, PrepareOptions options) {
  TrackInfo following, current;
  if (item < 0 || item >= playlist_->Count()) return;
  if (playlist_->GetItem(item, &following) != 0 || IsMarkedUnplayable(following)) return;
  if (playlist_->GetItem(playlist_->CurrentItem(), &current) == 0 &&
      DsdContainersDiffer(current.formatName, following.formatName)) {
    return;
  }
  if (!slots_->OpenSlot(item, false)) {
    if (options.markFailure) playlist_->MarkUnplayable(item);
    return;
  }
  const auto slot = slots_->Slot(slots_->NextSlot());
  const bool multiInstance = slot->IsMultiInstance();
  if (options.requireMultiInstance && !multiInstance) return;
  if (!slots_->StartDecoding()) return;
  engine_->PrepareSlot(slot->IsDsd(), slot->Format().nSamplesPerSec, multiInstance, true);
}

void CThrAudioPlay::ContinueSeamlessly() {
  if (IsAudioCd()) return;
  if (slots_->QueueDepth() == 0) {
    PlayItem(playlist_->CurrentItem(), {});
    return;
  }
  slots_->SetCurrentSlot(1 - slots_->CurrentSlot());
  currentItem_ = playlist_->CurrentItem();
  NotifyPlaying(currentItem_, false);
  PrepareNext(FollowingItem(), {.markFailure = true});
}

// ----------------------------------------------------------------- commands

void CThrAudioPlay::OnStop() {
  transport_ = core::Transport::kStopped;
  StopAll();
  ClearBad();
  NotifyState(kNotifyStopped);
}

void CThrAudioPlay::OnPause() {
  // Nothing plays while stopped: a pause there would start the device.
  if (transport_ == core::Transport::kStopped) return;
  TogglePause();
}

void CThrAudioPlay::OnStep(bool backwards, bool userFlag) {
  transport_ = core::Transport::kPlaying;
  const std::int32_t position = playlist_->PlayPosition();
  const std::int32_t count = playlist_->Count();
  const std::int32_t target = backwards ? position - 1 : position + 1;
  if (count != 0 && (repeat_ != kRepeatNone || (target >= 0 && target < count))) {
    playlist_->SetPlayPosition(target);
    PlayItem(playlist_->CurrentItem(), {.byUser = userFlag, .backwards = backwards});
    return;
  }
  OnStop();
}

void CThrAudioPlay::OnTrackEnd(bool restart, bool ranOut) {
  if (transport_ == core::Transport::kStopped) return;
  transport_ = core::Transport::kPlaying;
  const std::int32_t position = playlist_->PlayPosition();
  const std::int32_t count = playlist_->Count();
  const bool shuffle = playlist_->IsShuffle();

  // Every way on but the seamless one stops the output, to stay stopped or
  // to start it afresh: the track that ended plays to its last sample first.
  if (repeat_ == kRepeatOne) {
    PlayOut();
    PlayItem(playlist_->CurrentItem(), {});
    return;
  }
  if (repeat_ == kRepeatNone && !shuffle) {
    if (position + 1 >= count) {
      PlayOut();
      OnStop();
      playlist_->SetPlayPosition(0);
      return;
    }
    if (ranOut && !Compatible()) {
      PlayOut();
      PlayItem(position + 1, {});
      return;
    }
    playlist_->SetPlayPosition(position + 1);
    if (restart) {
      PlayOut();
      PlayItem(position + 1, {});
    } else {
      ContinueSeamlessly();
    }
    return;
  }

  std::int32_t target = position + 1;
  if (shuffle && target >= count) {
    if (repeat_ == kRepeatNone) {
      PlayOut();
      OnStop();
      playlist_->RebuildOrder(true, -1);
      playlist_->SetPlayPosition(0);
      return;
    }
    playlist_->RebuildOrder(true, -1);
    target = 0;
  }
  if (!ranOut || Compatible()) {
    playlist_->SetPlayPosition(target);
    if (!restart && !shuffle) {
      ContinueSeamlessly();
    } else {
      PlayOut();
      PlayItem(playlist_->CurrentItem(), {});
    }
    return;
  }
  PlayOut();
  PlayItem(playlist_->NextItem(), {});
}

void CThrAudioPlay::OnSeek(std::uint32_t seconds) {
  if (transport_ == core::Transport::kStopped) return;
  const int current = slots_->CurrentSlot();
  const auto slot = slots_->Slot(current);
  if (!slot) return;
  engine_->StopOutput(true);
  slots_->StopWorkers();
  TrackInfo item;
  playlist_->GetItem(playlist_->CurrentItem(), &item);
  slot->SetTrackRange(seconds * kFramesPerSecond, item.start, item.end);
  engine_->SetPosition(seconds);
  slots_->SetNextSlot(current);
  if (!slots_->StartDecoding()) {
    OnStop();
    return;
  }
  StartSlot(*slot, slot->IsMultiInstance(), transport_ == core::Transport::kPaused);
}

void CThrAudioPlay::OnNextChanged() {
  if (transport_ == core::Transport::kStopped) return;
  const int other = 1 - slots_->CurrentSlot();
  slots_->EmptySlot(other);
  engine_->RequestFlush(other);
  slots_->SetNextSlot(other);
  const auto current = slots_->Slot(slots_->CurrentSlot());
  if (!IsAudioCd() && current && current->IsMultiInstance() && PrepareNextAllowed()) {
    PrepareNext(FollowingItem(), {.markFailure = true, .requireMultiInstance = true});
  }
}

void CThrAudioPlay::OnOutputChanged() {
  // The workers write into the queue being replaced: whatever plays stops
  // first, or it would starve on the new, empty queue.
  if (transport_ != core::Transport::kStopped) OnStop();
  const EngineSettings settings = GetEngineSettings();
  SelectOutputDevice(settings.deviceName);
  ClearBad();
  slots_->StopWorkers();
  slots_->ReplaceQueue(settings.ramMode);
}

void CThrAudioPlay::OnRefreshTime() {
  if (!engine_->running()) return;
  const double rate = engine_->deviceRate(engine_->currentSlot());
  if (rate == 0) return;
  OnOutputPosition(
      static_cast<std::uint32_t>(static_cast<double>(engine_->playedSamples()) / rate));
}

// ------------------------------------------------------------------ helpers

void CThrAudioPlay::PlayOut() {
  // The stop that follows (StopAll) then finds the output stopped.
  engine_->DrainAndStop(false);
}

void CThrAudioPlay::StopAll() {
  engine_->StopOutput(false);
  slots_->StopWorkers();
  slots_->SetCurrentSlot(0);
  slots_->SetNextSlot(0);
}

void CThrAudioPlay::TogglePause() {
  const bool paused = engine_->TogglePause() == PauseResult::kPaused;
  transport_ = paused ? core::Transport::kPaused : core::Transport::kPlaying;
  NotifyState(paused ? kNotifyPaused : kNotifyResumed);
}

void CThrAudioPlay::ClearBad() {
  playlist_->ClearUnplayable();
}

void CThrAudioPlay::NotifyState(NotifyType type, std::int32_t value) {
  if (notify_) notify_->Notify(type, value, nullptr);
}

void CThrAudioPlay::NotifyPlaying(std::int32_t item, bool userFlag) {
  TrackInfo info;
  playlist_->GetItem(item, &info);
  auto record = std::make_unique<PlayingRecord>();
  record->seconds = info.length / kFramesPerSecond;
  record->item = item;
  record->userFlag = userFlag ? 1 : 0;
  trackSeconds_ = record->seconds;
  if (notify_) notify_->Notify(kNotifyPlaying, 0, std::move(record));
}

void CThrAudioPlay::ReportSkipped(bool userFlag) {
  const auto callback = notify_ ? notify_->Callback() : nullptr;
  if (!callback) return;
  TrackInfo info;
  playlist_->GetItem(playlist_->CurrentItem(), &info);
  auto text = std::make_unique<std::wstring>(!info.title.empty()      ? info.title
                                             : !info.fileName.empty() ? info.fileName
                                                                      : L"unknown track");
  callback->OnTrackSkipped(std::move(text), userFlag);
}

bool CThrAudioPlay::Compatible() const {
  TrackInfo current, following;
  if (playlist_->GetItem(playlist_->CurrentItem(), &current) != 0) return false;
  if (playlist_->GetItem(playlist_->NextItem(), &following) != 0) return false;
  if (DsdContainersDiffer(current.formatName, following.formatName)) return false;
  if (IsDsdContainer(current.formatName) != IsDsdContainer(following.formatName)) return false;
  return current.format.nSamplesPerSec == following.format.nSamplesPerSec;
}

bool CThrAudioPlay::IsAudioCd() const {
  return notify_ && notify_->IsAudioCd();
}

double CThrAudioPlay::LeadInSeconds() const {
  if (options_.leadInSeconds) return options_.leadInSeconds();
  const std::wstring device = GetEngineSettings().deviceName;
  const CDevNameInfo catalogue;
  for (std::uint32_t i = 0; i < catalogue.GetDeviceCount(); ++i) {
    if (catalogue.GetDeviceName(i) == device) return catalogue.GetLeadInSeconds(i);
  }
  return CDevNameInfo::kDefaultLeadIn;
}
