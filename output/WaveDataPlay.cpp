#include "output/WaveDataPlay.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "output/AsioHost.h"
#include "output/DeviceSelection.h"
#include "output/DopStamping.h"
#include "output/EngineSettings.h"
#include "output/PlaybackMessages.h"
#include "output/RendererApi.h"
#include "output/SamplePacking.h"
#include "platform/ErrorReport.h"
#include "platform/StringTable.h"
#include "platform/TextConv.h"

using output::DeviceSession;

using output::ChunkElement;
using output::kChunkBytes;
using output::kMaxOutputChannels;
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
      feeder_(queues_, device_, std::move(blocks),
              [this](int slot) {
                std::lock_guard lock(engineLock_);
                return SilenceByte(slots_[slot]);
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
  {
    std::lock_guard lock(engineLock_);
    for (auto& slot : slots_)
      std::fill(std::begin(slot.channelActive), std::end(slot.channelActive), false);
  }
  CloseDevice();
  ReleaseAsioDrivers();
  gEngine = nullptr;
}

void CWaveDataPlay::PostMessage(std::uint32_t id, std::intptr_t wParam, std::intptr_t lParam) {
  if (playbackThread_) playbackThread_->Post(id, wParam, lParam);
}

int CWaveDataPlay::currentSlot() const {
  std::lock_guard lock(engineLock_);
  return current_;
}

double CWaveDataPlay::deviceRate(int slot) const {
  std::lock_guard lock(engineLock_);
  return slots_[slot & 1].deviceRate;
}

int32_t CWaveDataPlay::SlotDsdMode(const Slot& slot, int32_t decodeMode) const {
  return slot.isDsd && decodeMode == kDecodeNative ? 1 : 0;
}

std::uint8_t CWaveDataPlay::SilenceByte(const Slot& slot) const {
  return output::SilenceFillByte(SlotDsdMode(slot, decodeMode_) == 1);
}

bool CWaveDataPlay::SlotIsDop(const Slot& slot) const {
  return slot.isDsd && decodeMode_ == kDecodeDop;
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
  return rate != 0 ? static_cast<int64_t>(played_ / rate) : -1;
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
  Slot& slot = slots_[nextSlot ? 1 - current_ : current_];
  const int32_t decodeMode = GetEngineSettings().decodeMode;
  slot.isDsd = isDsd;
  slot.gaplessJoin = gaplessJoin;
  slot.deviceRate = DeviceSession::DeviceRate(isDsd, sourceRate, decodeMode);
  std::fill(std::begin(slot.channelActive), std::end(slot.channelActive), true);
  for (auto& consumer : slot.consumers) {
    consumer.readOffset = 0;
    consumer.bytesLeft = 0;
  }
  slot.endPhase = EndPhase::kPlaying;
  slot.switchesToEndMessage = 0;
  slot.endKind = EndKind::kOtherSlotTookOver;
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
    decodeMode_ = settings.decodeMode;
    const Slot& slot = slots_[current_];
    rate = DeviceSession::DeviceRate(slot.isDsd, sourceRate, decodeMode_);
    mode = SlotDsdMode(slot, decodeMode_);
    dop = SlotIsDop(slot);
    dopStream_ = dop;
    finalEndReported_ = false;
    if (slot.isDsd && HostIsWasapi() != 0) {
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

  {
    std::lock_guard lock(engineLock_);
    switches_ = 0;
    lastSoundSwitch_ = -1;
  }
  int firstSlot = 0;
  {
    std::lock_guard lock(engineLock_);
    firstSlot = current_;
  }
  if (!feeder_.Start(firstSlot, decodeMode_ == kDecodeDop)) return -1;
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
    int32_t dopStream = dopStream_ ? 1 : 0;
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
    std::unique_lock lock(engineLock_);
    if (lastSoundSwitch_ >= 0) {
      using Clock = std::chrono::steady_clock;
      const int64_t target = lastSoundSwitch_ + kPlayOutSwitches;
      const double halfSeconds = device_.HalfSeconds();
      const auto deadline = Clock::now() +
                            std::chrono::duration_cast<Clock::duration>(
                                std::chrono::duration<double>(kPlayOutSwitches * halfSeconds)) +
                            kPlayOutMargin;
      switched_.wait_until(lock, deadline, [&] { return switches_ >= target; });
    }
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
    for (int slot = 0; slot < kSlotCount; ++slot) {
      queues_.FlushSlot(slot);
      // A track prepared before the stop is gone with its data: the next
      // start must not join onto it at the end of its track.
      slots_[slot].gaplessJoin = false;
    }
    running_ = false;
    ReleaseConsumers();
    played_ = 0;
    endedSlot_ = -1;
    switches_ = 0;
    lastSoundSwitch_ = -1;
    if (!keepDevice) current_ = 0;
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
    queues_.FlushSlot(current_);
    for (auto& consumer : slots_[current_].consumers) {
      queues_.Release(consumer.chunk);
      consumer = Consumer{};
    }
    played_ = static_cast<int64_t>(static_cast<int64_t>(device_.sampleRate()) * seconds);
    slots_[0].gaplessJoin = slots_[1].gaplessJoin = false;
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
  const Slot& slot = slots_[current_];
  if (slot.endPhase != EndPhase::kPlaying) return true;
  // Every channel needs a whole half: what its consumer still holds and
  // what is queued behind it, or the end of the track.
  for (int i = 0; i < device_.outputBuffers() && i < kMaxOutputChannels; ++i) {
    const output::SampleTypeConverter* converter = device_.converter(i);
    if (converter == nullptr) continue;
    const std::size_t needed = device_.HalfBytes(i) / output::BytesPerWrite(*converter) * 4;
    const std::size_t held = slot.consumers[i].chunk != nullptr ? slot.consumers[i].bytesLeft : 0;
    if (held < needed && !queues_.Covers(current_, i, needed - held)) return false;
  }
  return true;
}

bool CWaveDataPlay::OtherSlotJoins(int slot) const {
  // A DoP stream and a PCM one of the same rate do not join: the stream's
  // kind holds from start to stop (the driver was told it).
  const Slot& other = slots_[1 - slot];
  return other.gaplessJoin && other.deviceRate == device_.openRate() &&
         SlotDsdMode(other, decodeMode_) == device_.dsdMode() && SlotIsDop(other) == dopStream_;
}

void CWaveDataPlay::BufferSwitch(int32_t half) {
  int32_t interrupted = 0;  // underruns of a track that ended in this switch
  {
    std::lock_guard lock(engineLock_);
    timer_.Raise();
    if (!AsioDriverListExists() || half < 0 || half > 1) return;
    ++switches_;
    const int ended = current_;
    Slot& slot = slots_[ended];
    const bool playing = slot.endPhase == EndPhase::kPlaying;
    // Starving: some channel has nothing queued, so none takes a new chunk
    // and the channels stay in step.
    const int channels = device_.outputBuffers();
    const bool starving = queues_.AnyEmpty(ended, channels);
    const std::uint8_t silence = SilenceByte(slot);
    bool reachedEnd = false;
    bool wroteSamples = false;

    for (int i = 0; i < channels; ++i) {
      const AsioBufferInfo& buffer = device_.buffer(i);
      if (buffer.channelNum >= kMaxOutputChannels) continue;
      auto* destination = static_cast<std::uint8_t*>(buffer.buffers[half]);
      if (destination == nullptr) continue;
      const output::SampleTypeConverter* converter = device_.converter(i);
      const std::size_t bytes = device_.HalfBytes(i);
      const bool last = i == channels - 1;
      std::size_t filled = 0;
      if (playing && converter != nullptr &&
          FillHalf(i, destination, bytes, last, starving, filled) && last) {
        reachedEnd = true;
      }
      // The rest of the half idles, in a DoP stream with the markers going on.
      WriteIdle(i, destination, filled, bytes, silence, dopOutPhase_);
      if (last && filled > 0) wroteSamples = true;
    }
    if (device_.postOutput()) HostOutputReady();
    if (wroteSamples) lastSoundSwitch_ = switches_;
    // The next half's first frame follows this half's last.
    dopOutPhase_ = (dopOutPhase_ + static_cast<std::uint32_t>(device_.preferredSize())) & 1;

    if (reachedEnd) {
      slot.deviceRate = 0;
      std::fill(std::begin(slot.channelActive), std::end(slot.channelActive), false);
      if (OtherSlotJoins(ended)) {
        slot.endPhase = EndPhase::kCountingDown;
        slot.switchesToEndMessage = 1;
        slot.endKind = EndKind::kOtherSlotTookOver;
        current_ = 1 - ended;
      } else {
        slot.endKind = EndKind::kPlaybackStops;
        slot.endPhase = EndPhase::kCountingDown;
        slot.switchesToEndMessage = device_.postOutput() ? 1 : 2;
      }
      endedSlot_ = ended;
    }
    if (endedSlot_ >= 0 && slots_[endedSlot_].endPhase == EndPhase::kCountingDown) {
      Slot& finished = slots_[endedSlot_];
      if (--finished.switchesToEndMessage == 0) {
        finished.endPhase = EndPhase::kEnded;
        const bool stops = finished.endKind == EndKind::kPlaybackStops;
        if (stops) played_ = 0;
        PostMessage(TM_TRACK_END, static_cast<std::intptr_t>(finished.endKind), 1);
        endedSlot_ = -1;
        // The track's underruns, once; after the last track of the run
        // nothing more is counted.
        interrupted = finalEndReported_ ? 0 : underruns_.exchange(0);
        if (stops) finalEndReported_ = true;
      }
    }
    switched_.notify_all();
  }
  // Reported outside the engine lock.
  ReportInterrupted(interrupted);
}

bool CWaveDataPlay::FillHalf(int index, std::uint8_t* destination, std::size_t bytes, bool last,
                             bool starving, std::size_t& filled) {
  const output::SampleTypeConverter& converter = *device_.converter(index);
  const std::size_t step = output::BytesPerWrite(converter);
  const int channel = index;
  int slotIndex = current_;
  bool joined = false;
  bool reachedEnd = false;
  std::size_t written = 0;
  std::size_t counted = 0;  // bytes that count as played in the current track

  // Stop when less than one converter write still fits; the idle fill
  // covers the rest.
  while (bytes - written >= step) {
    Consumer& consumer = slots_[slotIndex].consumers[channel];
    if (consumer.chunk == nullptr) {
      if (starving && !joined) break;
      ChunkElement element;
      if (!queues_.TakeChunk(slotIndex, channel, element)) break;
      if (element.data == nullptr) {  // the end of the slot's track
        reachedEnd = true;
        if (last) queues_.FlushSlot(slotIndex);
        if (joined || !OtherSlotJoins(slotIndex)) break;
        slotIndex = 1 - slotIndex;
        joined = true;
        if (last) {
          played_ = 0;
          counted = 0;
        }
        continue;
      }
      if (element.bytes == 0) {
        queues_.Release(element.data);
        continue;
      }
      consumer = Consumer{element.data, 0, element.bytes};
    }
    const std::size_t samples =
        std::min<std::size_t>(consumer.bytesLeft / 4, (bytes - written) / step);
    if (samples == 0) {  // a chunk tail shorter than one sample
      queues_.Release(consumer.chunk);
      consumer = Consumer{};
      continue;
    }
    const auto* words =
        reinterpret_cast<const std::uint32_t*>(consumer.chunk + consumer.readOffset);
    // A DoP word takes the marker of its place in the output stream.
    const std::size_t out =
        dopStream_
            ? output::WriteStampedDop(converter, destination + written, words, samples,
                                      dopOutPhase_ + static_cast<std::uint32_t>(written / step))
            : converter.writeRun(destination + written, words, samples);
    written += out;
    counted += out;
    consumer.readOffset += static_cast<std::uint32_t>(samples * 4);
    consumer.bytesLeft -= static_cast<std::uint32_t>(samples * 4);
    if (consumer.bytesLeft < 4) {
      queues_.Release(consumer.chunk);
      consumer = Consumer{};
    }
  }
  if (last) played_ += static_cast<int64_t>(counted * 8 / converter.bits);
  filled = written;
  return reachedEnd;
}

void CWaveDataPlay::WriteIdle(int index, std::uint8_t* destination, std::size_t from,
                              std::size_t bytes, std::uint8_t silence, std::uint32_t phase) const {
  if (from >= bytes) return;
  const output::SampleTypeConverter* converter = device_.converter(index);
  if (converter == nullptr || !dopStream_) {
    std::memset(destination + from, converter != nullptr ? silence : 0, bytes - from);
    return;
  }
  output::WriteDopIdle(*converter, destination, from, bytes, phase);
}

void CWaveDataPlay::Prefill() {
  std::lock_guard lock(engineLock_);
  const Slot& slot = slots_[current_];
  // A DoP stream begins at phase 0 with half 0; half 1 follows it, and so
  // does the first half the buffer switch fills.
  const auto next = static_cast<std::uint32_t>(device_.preferredSize()) & 1;
  for (int i = 0; i < device_.outputBuffers(); ++i) {
    if (i < kMaxOutputChannels && !slot.channelActive[i]) break;
    const std::size_t bytes = device_.HalfBytes(i);
    for (int h = 0; h < 2; ++h) {
      auto* buffer = static_cast<std::uint8_t*>(device_.buffer(i).buffers[h]);
      if (buffer != nullptr) WriteIdle(i, buffer, 0, bytes, SilenceByte(slot), h == 0 ? 0 : next);
    }
  }
  dopOutPhase_ = next;
}

void CWaveDataPlay::ReleaseConsumers() {
  for (auto& slot : slots_) {
    for (auto& consumer : slot.consumers) {
      queues_.Release(consumer.chunk);
      consumer = Consumer{};
    }
  }
}
