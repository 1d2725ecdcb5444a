#include "output/WaveDataPlay.h"

#include <chrono>
#include <optional>

#include "output/AsioHost.h"
#include "output/DeviceSelection.h"
#include "output/EngineSettings.h"
#include "output/PlaybackMessages.h"
#include "output/RendererApi.h"
#include "platform/ErrorReport.h"
#include "platform/StringTable.h"
#include "platform/TextConv.h"

using output::DeviceSession;
using output::kSlotCount;

namespace {

std::atomic<CWaveDataPlay*> gEngine{nullptr};

// A half the device was handed at switch N plays from switch N + 1 on and
// has played by switch N + 2.
constexpr int64_t kPlayOutSwitches = 2;
// Beyond the time of those halves: a late clock, a busy machine.
constexpr auto kPlayOutMargin = std::chrono::milliseconds(200);

// "Playback was interrupted N times: ...", for N > 0.
void ReportInterrupted(int32_t count) {
  if (count <= 0) return;
  std::wstring text = platform::LoadResString(platform::IDS_ERR_PLAYBACK_INTERRUPTED);
  const auto at = text.find(L"%d");
  if (at != std::wstring::npos) text.replace(at, 2, std::to_wstring(count));
  platform::ReportAppError(text);
}

// Whether a driver's error text says anything: not empty, not one of the
// texts drivers and the host give when there was no error.
bool SaysSomething(const std::string& driverText) {
  const auto first = driverText.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return false;
  const auto last = driverText.find_last_not_of(" \t\r\n");
  const std::string text = driverText.substr(first, last - first + 1);
  return text != "No error" && text != "No ASIO Driver Error";
}

// "No output device has been selected.", and on a line of its own what the
// driver said, when it said anything.
void ReportNoDevice(const std::string& driverText = {}) {
  std::wstring text = platform::LoadResString(platform::IDS_ERR_NO_DEVICE);
  if (SaysSomething(driverText)) text += L"\n" + platform::FromUtf8(driverText);
  platform::ReportAppError(text);
}

void ReportNonPlayable() {
  platform::ReportAppError(platform::LoadResString(platform::IDS_ERR_NON_PLAYABLE));
}

void ReportDeviceError(int32_t code) {
  std::wstring text = platform::LoadResString(platform::IDS_ERR_AUDIO_DEVICE);
  const auto at = text.find(L"%d");
  if (at != std::wstring::npos) text.replace(at, 2, std::to_wstring(code));
  platform::ReportAppError(text);
}

}  // namespace

CWaveDataPlay::CWaveDataPlay(std::shared_ptr<platform::ThreadMessageQueue> playbackThread,
                             std::shared_ptr<IBlockSource> blocks,
                             std::shared_ptr<IPositionSink> position)
    : playbackThread_(std::move(playbackThread)),
      position_(std::move(position)),
      filler_(queues_, device_),
      feeder_(queues_, device_, std::move(blocks),
              [this](int slot) {
                std::lock_guard lock(engineLock_);
                return filler_.SilenceByte(slot);
              }),
      timer_({[this] { PostMessage(TM_STOP, 0, 0); },
              [this] {
                std::lock_guard lock(engineLock_);
                return PlayedSecondsLocked();
              },
              [this] { ReportPosition(); }}) {
  callbacks_ = {OnBufferSwitch, OnSampleRateChange, OnMessage, OnBufferSwitchTimeInfo};
  gEngine = this;
}

CWaveDataPlay::~CWaveDataPlay() {
  // Stopping first, outside the lock: the driver's stop may wait for a
  // buffer switch that needs the engine lock.
  StopOutput(false);
  CloseDevice();
  ReleaseAsioDrivers();
  gEngine = nullptr;
}

void CWaveDataPlay::PostMessage(std::uint32_t id, std::intptr_t wParam, std::intptr_t lParam) {
  if (playbackThread_) playbackThread_->Post(id, wParam, lParam);
}

int CWaveDataPlay::currentSlot() const {
  std::lock_guard lock(engineLock_);
  return filler_.currentSlot();
}

double CWaveDataPlay::deviceRate(int slot) const {
  std::lock_guard lock(engineLock_);
  return filler_.deviceRate(slot & 1);
}

// ---------------------------------------------------------------- device

int32_t CWaveDataPlay::OpenDevice(int32_t dsdMode, const std::wstring& deviceName) {
  return device_.Open(dsdMode, device_.sampleRate(), deviceName, &callbacks_);
}

void CWaveDataPlay::CloseDevice() {
  device_.Close();
}

int64_t CWaveDataPlay::PlayedSecondsLocked() const {
  const double rate = device_.sampleRate();
  return rate != 0 ? static_cast<int64_t>(filler_.played() / rate) : -1;
}

bool CWaveDataPlay::CheckDevice() {
  std::string driverText;
  if (CanOpenDevice(GetEngineSettings().deviceName, &driverText)) return true;
  ReportNoDevice(driverText);
  PostMessage(TM_STOP, 0, 0);
  return false;
}

// ------------------------------------------------------------- transport

void CWaveDataPlay::PrepareSlot(bool isDsd, double sourceRate, bool gaplessJoin, bool nextSlot) {
  // Always under the lock: the buffer switch reads the other slot at a join.
  std::lock_guard lock(engineLock_);
  const int current = filler_.currentSlot();
  filler_.PrepareSlot(nextSlot ? 1 - current : current, isDsd,
                      DeviceSession::DeviceRate(isDsd, sourceRate, GetEngineSettings().decodeMode),
                      gaplessJoin);
}

int32_t CWaveDataPlay::StartOutput(int32_t bitsPerSample, bool prepareOnly, double sourceRate,
                                   std::uint32_t formatCode) {
  if (running_) StopOutput(false);
  const EngineSettings settings = GetEngineSettings();
  double rate = 0;
  int32_t mode = 0;
  bool dop = false;
  {
    std::lock_guard lock(engineLock_);
    filler_.BeginRun(settings.decodeMode);
    const int slot = filler_.currentSlot();
    rate = DeviceSession::DeviceRate(filler_.isDsd(slot), sourceRate, settings.decodeMode);
    mode = filler_.DsdMode(slot);
    dop = filler_.dopStream();
    finalEndReported_ = false;
    if (filler_.isDsd(slot) && HostIsWasapi() != 0) {
      ReportNonPlayable();
      PostMessage(TM_TRACK_END, 1, 0);
      return -1;
    }
  }
  if (bitsPerSample <= 15 || formatCode == output::kFormatNone) {
    ReportNonPlayable();
    device_.ForgetRate();
    PostMessage(TM_TRACK_END, 1, 0);
    return -1;
  }
  if (device_.NeedsOpen(rate, mode, settings.ramMode != 0)) {
    const int32_t result = device_.Open(mode, rate, settings.deviceName, &callbacks_);
    if (result == -1) {
      ReportNonPlayable();
      PostMessage(TM_TRACK_END, 1, 0);
      return -1;
    }
    if (result != 0) {
      ReportNoDevice(device_.driverMessage());
      PostMessage(TM_STOP, 0, 0);
      return result;
    }
  }
  // The marker and two DSD bytes need 24 bits: on fewer the marker would
  // play as noise.
  if (dop && !device_.CarriesDop()) {
    ReportNonPlayable();
    PostMessage(TM_TRACK_END, 1, 0);
    return -1;
  }
  // Underruns of an earlier run that came after its report belong to no
  // track.
  underruns_ = 0;

  int firstSlot = 0;
  bool dopDecode = false;
  {
    std::lock_guard lock(engineLock_);
    filler_.ResetSwitchCount();
    firstSlot = filler_.currentSlot();
    dopDecode = filler_.decodeMode() == kDecodeDop;
  }
  if (!feeder_.Start(firstSlot, dopDecode)) return -1;
  Prefill();
  if (!prepareOnly) {
    feeder_.WaitUntilReady(std::chrono::milliseconds(100));
    if (StartWithRecovery() != kAsioOk) {
      device_.ForgetRate();
      PostMessage(TM_TRACK_END, 1, 0);
      return -1;
    }
  }
  running_ = true;
  timer_.Start();
  return 0;
}

int32_t CWaveDataPlay::StartWithRecovery() {
  AsioError result = kAsioNotPresent;
  for (int attempt = 0; attempt < 2; ++attempt) {
    // What the stream carries; drivers that do not know the selector refuse it.
    int32_t dopStream = 0;
    {
      std::lock_guard lock(engineLock_);
      dopStream = filler_.dopStream() ? 1 : 0;
    }
    HostFuture(kQpFutureDopStream, &dopStream);
    result = HostStart();
    if (result == kAsioOk) return result;
    if (result != kAsioNotPresent) {
      ReportDeviceError(result);
      return result;
    }
    // The driver reset itself: open it again and try once more.
    if (device_.Open(device_.dsdMode(), device_.sampleRate(), GetEngineSettings().deviceName,
                     &callbacks_) != 0) {
      return kAsioNotPresent;
    }
    Prefill();
  }
  return result;
}

PauseResult CWaveDataPlay::TogglePause() {
  if (running_) {
    timer_.Stop();
    // A pause stop: a driver that knows it keeps the half filled last and
    // not played yet, and resumes with it.
    HostFuture(kQpFuturePauseOnStop, nullptr);
    HostStop();
    running_ = false;
    return PauseResult::kPaused;
  }
  StartWithRecovery();
  running_ = true;
  timer_.Start();
  return PauseResult::kResumed;
}

void CWaveDataPlay::StopOutput(bool keepDevice) {
  Stop(keepDevice, false);
}

void CWaveDataPlay::DrainAndStop(bool keepDevice) {
  if (running_) {
    using Clock = std::chrono::steady_clock;
    std::unique_lock lock(engineLock_);
    const double halfSeconds = device_.HalfSeconds();
    const auto deadline = Clock::now() +
                          std::chrono::duration_cast<Clock::duration>(
                              std::chrono::duration<double>(kPlayOutSwitches * halfSeconds)) +
                          kPlayOutMargin;
    filler_.WaitForSwitchesAfterSound(lock, kPlayOutSwitches, deadline);
  }
  Stop(keepDevice, true);
}

void CWaveDataPlay::Stop(bool keepDevice, bool drain) {
  timer_.Stop();
  if (running_) {
    // Drivers that do not know the selector refuse it and stop as always.
    if (drain) HostFuture(kQpFutureDrainOnStop, nullptr);
    HostStop();
  }
  feeder_.Stop();
  const bool keepOpen =
      keepDevice || (HostIsWasapi() != 0 && (HostGetSelectedFlags() & kWasapiKeepOpenFlag) != 0);
  if (!keepOpen && device_.buffersCreated()) device_.Close();
  {
    std::lock_guard lock(engineLock_);
    for (int slot = 0; slot < kSlotCount; ++slot)
      queues_.FlushSlot(slot);
    // A track prepared before the stop is gone with its data: the next
    // start must not join onto it at the end of its track.
    filler_.CancelJoins();
    running_ = false;
    filler_.EndRun(keepDevice);
  }
  // The track the stop cut short: its underruns, once.
  ReportUnderruns();
}

void CWaveDataPlay::ReportUnderruns() {
  const int32_t count = underruns_.exchange(0);
  {
    std::lock_guard lock(engineLock_);
    if (finalEndReported_) return;
  }
  ReportInterrupted(count);
}

int32_t CWaveDataPlay::SetPosition(double seconds) {
  {
    std::lock_guard lock(engineLock_);
    if (device_.sampleRate() == 0) return -1;
    const int current = filler_.currentSlot();
    queues_.FlushSlot(current);
    filler_.DropConsumers(current);
    filler_.SetPlayed(static_cast<int64_t>(static_cast<int64_t>(device_.sampleRate()) * seconds));
    filler_.CancelJoins();
  }
  ReportPosition();
  return 0;
}

void CWaveDataPlay::ReportPosition() {
  int64_t seconds = -1;
  {
    std::lock_guard lock(engineLock_);
    if (running_) seconds = PlayedSecondsLocked();
  }
  if (seconds >= 0 && position_) position_->OnOutputPosition(static_cast<uint32_t>(seconds));
}

void CWaveDataPlay::RequestFlush(int slot) {
  feeder_.RequestFlush(slot);
}

// ------------------------------------------------------------ buffer switch

void CWaveDataPlay::OnBufferSwitch(int32_t half, AsioBool) {
  if (CWaveDataPlay* engine = gEngine) engine->BufferSwitch(half);
}

AsioTime* CWaveDataPlay::OnBufferSwitchTimeInfo(AsioTime* time, int32_t half, AsioBool) {
  if (CWaveDataPlay* engine = gEngine) engine->BufferSwitch(half);
  return time;
}

void CWaveDataPlay::OnSampleRateChange(AsioSampleRate) {}

int32_t CWaveDataPlay::OnMessage(int32_t selector, int32_t value, void*, double*) {
  switch (selector) {
    case kAsioSelectorSupported:
      return value == kAsioEngineVersion || value == kAsioResetRequest ||
                     value == kAsioResyncRequest || value == kAsioLatenciesChanged ||
                     value == kAsioSupportsTimeInfo || value == kAsioSupportsTimeCode ||
                     value == kAsioSupportsInputMonitor || value == kQpMessageHalfReady ||
                     value == kAsioOverload
                 ? 1
                 : 0;
    case kAsioEngineVersion:
      return 2;
    case kAsioOverload: {
      // An underrun; counted for the track playing, reported at its end.
      CWaveDataPlay* engine = gEngine;
      if (engine == nullptr) return 0;
      engine->underruns_.fetch_add(1);
      return 1;
    }
    case kQpMessageHalfReady: {
      CWaveDataPlay* engine = gEngine;
      return engine == nullptr || engine->NextHalfReady() ? 1 : 0;
    }
    case kAsioResetRequest:
    case kAsioResyncRequest:
    case kAsioLatenciesChanged:
    case kAsioSupportsTimeInfo:
      return 1;
    default:
      return 0;
  }
}

bool CWaveDataPlay::NextHalfReady() {
  // Taken as the buffer switch takes it: nothing holds it across a call
  // that waits for the device.
  std::lock_guard lock(engineLock_);
  return filler_.NextHalfReady();
}

void CWaveDataPlay::BufferSwitch(int32_t half) {
  int32_t interrupted = 0;  // underruns of a track that ended in this switch
  {
    std::lock_guard lock(engineLock_);
    timer_.Raise();
    if (!AsioDriverListExists() || half < 0 || half > 1) return;
    if (const std::optional<output::TrackEnd> end = filler_.BufferSwitch(half)) {
      PostMessage(TM_TRACK_END, static_cast<std::intptr_t>(*end), 1);
      // The track's underruns, once; after the last track of the run
      // nothing more is counted.
      interrupted = finalEndReported_ ? 0 : underruns_.exchange(0);
      if (*end == output::TrackEnd::kPlaybackStops) finalEndReported_ = true;
    }
  }
  // Reported outside the engine lock.
  ReportInterrupted(interrupted);
}

void CWaveDataPlay::Prefill() {
  std::lock_guard lock(engineLock_);
  filler_.Prefill();
}
