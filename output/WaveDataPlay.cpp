#include "output/WaveDataPlay.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "output/AsioHost.h"
#include "output/DeviceSelection.h"
#include "output/EngineSettings.h"
#include "output/PlaybackMessages.h"
#include "output/RendererApi.h"
#include "output/SamplePacking.h"
#include "platform/ErrorReport.h"
#include "platform/StringTable.h"

using output::ChunkElement;
using output::kChunkBytes;
using output::kMaxOutputChannels;
using output::kSlotCount;

namespace {

std::atomic<CWaveDataPlay*> gEngine{nullptr};

constexpr int32_t kWatchdogStart = 40;    // ticks of 50 ms right after a start
constexpr int32_t kWatchdogRunning = 20;  // raised to this by every buffer switch
constexpr auto kTimerPeriod = std::chrono::milliseconds(50);
constexpr auto kTimerMinimumGap = std::chrono::milliseconds(25);
constexpr std::uint32_t kReadyChunks = 29;
constexpr std::size_t kFeederScratchBytes = 3072000;
// A half the device was handed at switch N plays from switch N + 1 on and
// has played by switch N + 2.
constexpr int64_t kPlayOutSwitches = 2;
// Beyond the time of those halves: a late clock, a busy machine.
constexpr auto kPlayOutMargin = std::chrono::milliseconds(200);

void ReportNoDevice() {
  platform::ReportAppError(platform::LoadResString(platform::IDS_ERR_NO_DEVICE));
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

// Bytes one converter write produces: one PCM sample, or 32 DSD bits.
std::size_t BytesPerWrite(const output::SampleTypeConverter& converter) {
  const bool dsd = converter.type == output::kSampleDSDInt8LSB1 ||
                   converter.type == output::kSampleDSDInt8MSB1 ||
                   converter.type == output::kSampleDSDInt8NER8;
  return (dsd ? 32 : 1) * converter.bits / 8;
}

// The feeder runs above normal priority where the system lets us, at normal
// priority elsewhere.
void RaiseThreadPriority() {
  setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), -5);
}

}  // namespace

CWaveDataPlay::CWaveDataPlay(std::shared_ptr<platform::ThreadMessageQueue> playbackThread,
                             std::shared_ptr<IBlockSource> blocks,
                             std::shared_ptr<IPositionSink> position)
    : playbackThread_(std::move(playbackThread)),
      blocks_(std::move(blocks)),
      position_(std::move(position)) {
  callbacks_ = {OnBufferSwitch, OnSampleRateChange, OnMessage, OnBufferSwitchTimeInfo};
  gEngine = this;
}

CWaveDataPlay::~CWaveDataPlay() {
  // Stopping first, outside the lock: the driver's stop may wait for a
  // buffer switch that needs the engine lock.
  StopOutput(false);
  {
    std::lock_guard lock(engineLock_);
    for (int slot = 0; slot < kSlotCount; ++slot) {
      ReleaseFeederChunks(slot);
      std::fill(std::begin(slots_[slot].channelActive), std::end(slots_[slot].channelActive),
                false);
    }
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
  return slot.isDsd != 0 && decodeMode == kDecodeNative ? 1 : 0;
}

std::uint8_t CWaveDataPlay::SilenceByte(const Slot& slot) const {
  return output::SilenceFillByte(SlotDsdMode(slot, decodeMode_) == 1);
}

// ---------------------------------------------------------------- device

int32_t CWaveDataPlay::OpenDevice(int32_t dsdMode, const std::wstring& deviceName) {
  CloseDevice();
  if (!SelectOutputDevice(deviceName)) return -2;
  auto fail = [this](int32_t code) {
    CloseDevice();
    return code;
  };
  std::memset(&info_, 0, sizeof info_);
  info_.asioVersion = 2;
  if (HostInit(&info_) != kAsioOk) return fail(-2);
  if (HostGetChannels(&inputChannels_, &outputChannels_) != kAsioOk) return fail(-2);
  if (HostGetBufferSize(&minSize_, &maxSize_, &preferredSize_, &granularity_) != kAsioOk) {
    return fail(-2);
  }
  postOutput_ = HostOutputReady() == kAsioOk;
  if (inputChannels_ == 0 && outputChannels_ == 0) return fail(-2);

  if (dsdMode == -1) dsdMode = lastMode_;
  AsioIoFormat format{};
  format.formatType = dsdMode == 1 ? kAsioFormatDsd : kAsioFormatPcm;
  if (HostFuture(kAsioCanDoIoFormat, &format) == kAsioSuccess &&
      HostFuture(kAsioSetIoFormat, &format) == kAsioSuccess) {
    // A driver may size its buffers differently for the other format.
    if (HostGetBufferSize(&minSize_, &maxSize_, &preferredSize_, &granularity_) != kAsioOk) {
      return fail(-2);
    }
  }
  lastMode_ = dsdMode;

  if (HostCanSampleRate(sampleRate_) != kAsioOk) return fail(-1);
  HostSetSampleRate(sampleRate_);

  outputBuffers_ = std::min(outputChannels_, kMaxOutputChannels);
  for (int i = 0; i < outputBuffers_; ++i)
    buffers_[i] = AsioBufferInfo{kAsioFalse, i, {}};
  if (HostCreateBuffers(buffers_, outputBuffers_, preferredSize_, &callbacks_) != kAsioOk) {
    return fail(-2);
  }
  buffersCreated_ = true;  // so that a failure below disposes them
  for (int i = 0; i < outputBuffers_; ++i) {
    channels_[i] = AsioChannelInfo{};
    channels_[i].channel = buffers_[i].channelNum;
    if (HostGetChannelInfo(&channels_[i]) != kAsioOk) return fail(-2);
    converters_[i] = output::FindSampleTypeConverter(channels_[i].type);
    const std::size_t half =
        static_cast<std::size_t>(preferredSize_) * AsioSampleTypeBits(channels_[i].type) / 8;
    for (void* buffer : buffers_[i].buffers) {
      if (buffer != nullptr) std::memset(buffer, 0, half);
    }
  }
  if (HostGetLatencies(&inputLatency_, &outputLatency_) != kAsioOk) return fail(-2);
  lastRate_ = sampleRate_;
  return 0;
}

void CWaveDataPlay::CloseDevice() {
  if (buffersCreated_) HostDisposeBuffers();
  HostExit();
  std::fill(std::begin(converters_), std::end(converters_), nullptr);
  std::fill(std::begin(buffers_), std::end(buffers_), AsioBufferInfo{});
  outputBuffers_ = 0;
  lastRate_ = 0;
  buffersCreated_ = false;
}

bool CWaveDataPlay::CheckDevice() {
  if (CanOpenDevice(GetEngineSettings().deviceName)) return true;
  ReportNoDevice();
  PostMessage(TM_STOP, 0, 0);
  return false;
}

// ------------------------------------------------------------- transport

void CWaveDataPlay::PrepareSlot(bool isDsd, double sourceRate, bool gaplessJoin, bool nextSlot) {
  // Always under the lock: the buffer switch reads the other slot at a join.
  std::lock_guard lock(engineLock_);
  Slot& slot = slots_[nextSlot ? 1 - current_ : current_];
  const int32_t decodeMode = GetEngineSettings().decodeMode;
  slot.isDsd = isDsd ? 1 : 0;
  slot.gaplessJoin = gaplessJoin ? 1 : 0;
  slot.deviceRate = !isDsd ? sourceRate : sourceRate * (decodeMode == kDecodeNative ? 32 : 2);
  std::fill(std::begin(slot.channelActive), std::end(slot.channelActive), true);
  for (auto& consumer : slot.consumers) {
    consumer.readOffset = 0;
    consumer.bytesLeft = 0;
  }
  slot.endState = -1;
  slot.endKind = 0;
}

int32_t CWaveDataPlay::StartOutput(int32_t bitsPerSample, bool prepareOnly, double sourceRate,
                                   std::uint32_t formatCode) {
  if (running_) StopOutput(false);
  const EngineSettings settings = GetEngineSettings();
  double rate = 0;
  int32_t mode = 0;
  {
    std::lock_guard lock(engineLock_);
    decodeMode_ = settings.decodeMode;
    const Slot& slot = slots_[current_];
    rate = slot.isDsd == 0 ? sourceRate : sourceRate * (decodeMode_ == kDecodeNative ? 32 : 2);
    mode = SlotDsdMode(slot, decodeMode_);
    if (slot.isDsd != 0 && HostIsWasapi() != 0) {
      ReportNonPlayable();
      PostMessage(TM_TRACK_END, 1, 0);
      return -1;
    }
  }
  if (bitsPerSample <= 15 || formatCode == output::kFormatNone) {
    ReportNonPlayable();
    lastRate_ = 0;
    PostMessage(TM_TRACK_END, 1, 0);
    return -1;
  }
  if (!buffersCreated_ || settings.ramMode != 0 || rate != lastRate_ || mode != lastMode_) {
    sampleRate_ = rate;
    const int32_t result = OpenDevice(mode, settings.deviceName);
    if (result == -1) {
      ReportNonPlayable();
      PostMessage(TM_TRACK_END, 1, 0);
      return -1;
    }
    if (result != 0) {
      ReportNoDevice();
      PostMessage(TM_STOP, 0, 0);
      return result;
    }
  }

  {
    std::lock_guard lock(engineLock_);
    switches_ = 0;
    lastSoundSwitch_ = -1;
  }
  stopEvent_.Reset();
  ready_.Reset();
  try {
    feeder_ = std::thread(&CWaveDataPlay::FeederLoop, this);
  } catch (const std::system_error&) {
    return -1;
  }
  Prefill();
  if (!prepareOnly) {
    ready_.WaitFor(std::chrono::milliseconds(100));
    if (StartWithRecovery() != kAsioOk) {
      lastRate_ = 0;
      PostMessage(TM_TRACK_END, 1, 0);
      return -1;
    }
  }
  running_ = true;
  StartTimer();
  return 0;
}

int32_t CWaveDataPlay::StartWithRecovery() {
  AsioError result = kAsioNotPresent;
  for (int attempt = 0; attempt < 2; ++attempt) {
    result = HostStart();
    if (result == kAsioOk) return result;
    if (result != kAsioNotPresent) {
      ReportDeviceError(result);
      return result;
    }
    // The driver reset itself: open it again and try once more.
    if (OpenDevice(lastMode_, GetEngineSettings().deviceName) != 0) return kAsioNotPresent;
    Prefill();
  }
  return result;
}

int32_t CWaveDataPlay::TogglePause() {
  if (running_) {
    KillTimer();
    watchdog_ = 0;
    HostStop();
    running_ = false;
    return 2;
  }
  StartWithRecovery();
  running_ = true;
  StartTimer();
  return 1;
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
      const double halfSeconds =
          sampleRate_ > 0 ? static_cast<double>(preferredSize_) / sampleRate_ : 0.0;
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
  KillTimer();
  watchdog_ = 0;
  if (running_) {
    // Drivers that do not know the selector refuse it and stop as always.
    if (drain) HostFuture(kQpFutureDrainOnStop, nullptr);
    HostStop();
  }
  stopEvent_.Set();
  if (feeder_.joinable()) feeder_.join();
  stopEvent_.Reset();
  const bool keepOpen =
      keepDevice || (HostIsWasapi() != 0 && (HostGetSelectedFlags() & kWasapiKeepOpenFlag) != 0);
  if (!keepOpen && buffersCreated_) CloseDevice();
  std::lock_guard lock(engineLock_);
  for (int slot = 0; slot < kSlotCount; ++slot) {
    queues_.FlushSlot(slot);
    // A track prepared before the stop is gone with its data: the next
    // start must not join onto it at the end of its track.
    slots_[slot].gaplessJoin = 0;
  }
  running_ = false;
  ReleaseConsumers();
  played_ = 0;
  endedSlot_ = -1;
  switches_ = 0;
  lastSoundSwitch_ = -1;
  if (!keepDevice) current_ = 0;
}

int32_t CWaveDataPlay::SetPosition(double seconds) {
  {
    std::lock_guard lock(engineLock_);
    if (sampleRate_ == 0) return -1;
    queues_.FlushSlot(current_);
    for (auto& consumer : slots_[current_].consumers) {
      queues_.Release(consumer.chunk);
      consumer = Consumer{};
    }
    played_ = static_cast<int64_t>(static_cast<int64_t>(sampleRate_) * seconds);
    slots_[0].gaplessJoin = slots_[1].gaplessJoin = 0;
  }
  ReportPosition();
  return 0;
}

void CWaveDataPlay::ReportPosition() {
  int64_t seconds = -1;
  {
    std::lock_guard lock(engineLock_);
    if (running_ && sampleRate_ != 0) seconds = static_cast<int64_t>(played_ / sampleRate_);
  }
  if (seconds >= 0 && position_) position_->OnOutputPosition(static_cast<uint32_t>(seconds));
}

void CWaveDataPlay::RequestFlush(int slot) {
  flushRequest_[slot & 1] = true;
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
                     value == kAsioSupportsInputMonitor || value == kQpMessageHalfReady
                 ? 1
                 : 0;
    case kAsioEngineVersion:
      return 2;
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

void CWaveDataPlay::RaiseWatchdog() {
  int32_t value = watchdog_.load();
  for (int tries = 0; tries < 100 && value < kWatchdogRunning; ++tries) {
    if (watchdog_.compare_exchange_weak(value, kWatchdogRunning)) break;
  }
}

bool CWaveDataPlay::NextHalfReady() {
  // Taken as the buffer switch takes it: nothing holds it across a call
  // that waits for the device.
  std::lock_guard lock(engineLock_);
  const Slot& slot = slots_[current_];
  if (slot.endState != -1) return true;
  // Every channel needs a whole half: what its consumer still holds and
  // what is queued behind it, or the end of the track.
  for (int i = 0; i < outputBuffers_ && i < kMaxOutputChannels; ++i) {
    const output::SampleTypeConverter* converter = converters_[i];
    if (converter == nullptr) continue;
    const std::size_t halfBytes =
        static_cast<std::size_t>(preferredSize_) * AsioSampleTypeBits(channels_[i].type) / 8;
    const std::size_t needed = halfBytes / BytesPerWrite(*converter) * 4;
    const std::size_t held = slot.consumers[i].chunk != nullptr ? slot.consumers[i].bytesLeft : 0;
    if (held < needed && !queues_.Covers(current_, i, needed - held)) return false;
  }
  return true;
}

bool CWaveDataPlay::OtherSlotJoins(int slot) const {
  const Slot& other = slots_[1 - slot];
  return other.gaplessJoin == 1 && other.deviceRate == lastRate_ &&
         SlotDsdMode(other, decodeMode_) == lastMode_;
}

void CWaveDataPlay::BufferSwitch(int32_t half) {
  std::lock_guard lock(engineLock_);
  RaiseWatchdog();
  if (!AsioDriverListExists() || half < 0 || half > 1) return;
  ++switches_;
  const int ended = current_;
  Slot& slot = slots_[ended];
  const bool playing = slot.endState == -1;
  // Starving: some channel has nothing queued, so none takes a new chunk and
  // the channels stay in step.
  const bool starving = queues_.AnyEmpty(ended, outputBuffers_);
  bool reachedEnd = false;
  bool wroteSamples = false;

  for (int i = 0; i < outputBuffers_; ++i) {
    if (buffers_[i].channelNum >= kMaxOutputChannels) continue;
    auto* destination = static_cast<std::uint8_t*>(buffers_[i].buffers[half]);
    if (destination == nullptr) continue;
    const output::SampleTypeConverter* converter = converters_[i];
    const std::size_t bytes =
        static_cast<std::size_t>(preferredSize_) * AsioSampleTypeBits(channels_[i].type) / 8;
    std::memset(destination, converter != nullptr ? SilenceByte(slot) : 0, bytes);
    const bool last = i == outputBuffers_ - 1;
    bool wrote = false;
    if (playing && converter != nullptr && FillHalf(i, destination, bytes, last, starving, wrote) &&
        last) {
      reachedEnd = true;
    }
    if (last && wrote) wroteSamples = true;
  }
  if (postOutput_) HostOutputReady();
  if (wroteSamples) lastSoundSwitch_ = switches_;

  if (reachedEnd) {
    slot.deviceRate = 0;
    std::fill(std::begin(slot.channelActive), std::end(slot.channelActive), false);
    if (OtherSlotJoins(ended)) {
      slot.endState = 1;
      slot.endKind = 0;
      current_ = 1 - ended;
    } else {
      slot.endKind = 1;
      slot.endState = postOutput_ ? 1 : 2;
    }
    endedSlot_ = ended;
  }
  if (endedSlot_ >= 0 && slots_[endedSlot_].endState > 0) {
    Slot& finished = slots_[endedSlot_];
    if (--finished.endState == 0) {
      if (finished.endKind == 1) played_ = 0;
      PostMessage(TM_TRACK_END, finished.endKind, 1);
      endedSlot_ = -1;
    }
  }
  switched_.notify_all();
}

bool CWaveDataPlay::FillHalf(int index, std::uint8_t* destination, std::size_t bytes, bool last,
                             bool starving, bool& wrote) {
  const output::SampleTypeConverter& converter = *converters_[index];
  const std::size_t step = BytesPerWrite(converter);
  const int channel = index;
  int slotIndex = current_;
  bool joined = false;
  bool reachedEnd = false;
  std::size_t written = 0;
  std::size_t counted = 0;  // bytes that count as played in the current track

  // Stop when less than one converter write still fits; the silence fill
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
    const std::size_t out = converter.writeRun(
        destination + written,
        reinterpret_cast<const std::uint32_t*>(consumer.chunk + consumer.readOffset), samples);
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
  wrote = written > 0;
  return reachedEnd;
}

void CWaveDataPlay::Prefill() {
  std::lock_guard lock(engineLock_);
  const Slot& slot = slots_[current_];
  for (int i = 0; i < outputBuffers_; ++i) {
    if (i < kMaxOutputChannels && !slot.channelActive[i]) break;
    const std::size_t bytes =
        static_cast<std::size_t>(preferredSize_) * AsioSampleTypeBits(channels_[i].type) / 8;
    const std::uint8_t fill = converters_[i] != nullptr ? SilenceByte(slot) : 0;
    for (void* buffer : buffers_[i].buffers) {
      if (buffer != nullptr) std::memset(buffer, fill, bytes);
    }
  }
}

void CWaveDataPlay::ReleaseConsumers() {
  for (auto& slot : slots_) {
    for (auto& consumer : slot.consumers) {
      queues_.Release(consumer.chunk);
      consumer = Consumer{};
    }
  }
}

// ------------------------------------------------------------------ feeder

bool CWaveDataPlay::WaitForRoom(int slot, int channel) {
  while (!queues_.HasRoom(slot, channel)) {
    if (stopEvent_.WaitFor(std::chrono::milliseconds(1))) return false;
  }
  return true;
}

std::uint8_t* CWaveDataPlay::NewFeederChunk(int slot) {
  std::uint8_t silence = 0;
  {
    std::lock_guard lock(engineLock_);
    silence = SilenceByte(slots_[slot]);
  }
  // A channel must never go without a chunk: retry until memory comes back
  // or the output stops.
  for (;;) {
    if (std::uint8_t* chunk = queues_.NewChunk(silence)) return chunk;
    if (stopEvent_.WaitFor(std::chrono::milliseconds(1))) return nullptr;
  }
}

void CWaveDataPlay::ReleaseFeederChunks(int slot) {
  for (auto& chunk : feederChunks_[slot]) {
    queues_.Release(chunk);
    chunk = nullptr;
  }
}

// Queues the full chunks of every channel and gives each a fresh one; false
// when the output stops or the slot is being flushed.
bool CWaveDataPlay::PushFullChunks(int slot) {
  writeOffset_ = 0;
  for (int channel = 0; channel < outputBuffers_; ++channel) {
    if (flushRequest_[slot].exchange(false)) {
      queues_.FlushSlot(slot);
      FeedInto(slot);
      return false;
    }
    if (!WaitForRoom(slot, channel)) return false;
    queues_.Push(slot, channel, ChunkElement{feederChunks_[slot][channel], kChunkBytes});
    feederChunks_[slot][channel] = NewFeederChunk(slot);
    if (feederChunks_[slot][channel] == nullptr) return false;
    if (queues_.Size(slot, channel) > kReadyChunks) ready_.Set();
  }
  queues_.TrimPool();
  return true;
}

void CWaveDataPlay::EndTrack(int& feedSlot) {
  for (int channel = 0; channel < outputBuffers_; ++channel) {
    if (!WaitForRoom(feedSlot, channel)) return;
    queues_.Push(feedSlot, channel, ChunkElement{feederChunks_[feedSlot][channel], writeOffset_});
    feederChunks_[feedSlot][channel] = NewFeederChunk(feedSlot);
  }
  for (int channel = 0; channel < outputBuffers_; ++channel) {
    if (!WaitForRoom(feedSlot, channel)) return;
    queues_.Push(feedSlot, channel, ChunkElement{});
  }
  // The track after it feeds the other slot; the DoP phase carries on.
  feedSlot = 1 - feedSlot;
  FeedInto(feedSlot);
}

void CWaveDataPlay::FeedInto(int slot) {
  ReleaseFeederChunks(slot);
  for (int channel = 0; channel < outputBuffers_; ++channel) {
    feederChunks_[slot][channel] = NewFeederChunk(slot);
  }
  writeOffset_ = 0;
}

void CWaveDataPlay::HandleFlushRequests(int& feedSlot) {
  // Looked at before every block, so a request never waits until the
  // feeder gets to the slot with a new track. A flushed slot loses what was
  // fed of it and is fed again from its new track when the feeder had got
  // to it; a slot not reached yet (the feeder still feeds the track
  // playing) has nothing to lose, and the feeder stays where it is.
  for (int slot = 0; slot < kSlotCount; ++slot) {
    if (!flushRequest_[slot].exchange(false)) continue;
    const bool reached = slot == feedSlot || !queues_.AllEmpty(slot, outputBuffers_);
    queues_.FlushSlot(slot);
    if (reached) {
      feedSlot = slot;
      FeedInto(feedSlot);
    }
  }
}

void CWaveDataPlay::FeederLoop() {
  RaiseThreadPriority();
  int feedSlot = currentSlot();
  const bool dop = decodeMode_ == kDecodeDop;
  queues_.FlushSlot(feedSlot);
  FeedInto(feedSlot);
  std::vector<std::uint8_t> scratch;
  scratch.reserve(kFeederScratchBytes);

  while (!stopEvent_.IsSet()) {
    HandleFlushRequests(feedSlot);
    output::BlockDescription block;
    if (!blocks_ || blocks_->PopBlock(&block, &scratch, static_cast<uint32_t>(feedSlot)) != 0) {
      stopEvent_.WaitFor(std::chrono::milliseconds(1));
      continue;
    }
    const std::uint32_t frames = output::FrameCountOf(block);
    if (frames == 0) {
      EndTrack(feedSlot);
      continue;
    }
    output::SampleReader reader =
        output::MakeSampleReader(block, dop && output::IsDsdFormat(block.formatCode), dopPhase_);
    std::size_t remaining = static_cast<std::size_t>(frames) * (reader.dop ? 2 : 1);
    while (remaining > 0 && !stopEvent_.IsSet()) {
      const std::size_t run = std::min<std::size_t>(remaining, (kChunkBytes - writeOffset_) / 4);
      for (int channel = 0; channel < outputBuffers_; ++channel) {
        auto* out =
            reinterpret_cast<std::uint32_t*>(feederChunks_[feedSlot][channel] + writeOffset_);
        output::ReadIntermediateRun(static_cast<uint32_t>(channel), reader, run, out);
      }
      output::AdvanceOutputSamples(reader, static_cast<uint32_t>(run));
      remaining -= run;
      writeOffset_ += static_cast<std::uint32_t>(run * 4);
      if (writeOffset_ == kChunkBytes && !PushFullChunks(feedSlot)) break;
    }
    dopPhase_ = reader.dopPhase;
  }
  ready_.Set();
  flushRequest_[0] = flushRequest_[1] = false;
  for (int slot = 0; slot < kSlotCount; ++slot)
    ReleaseFeederChunks(slot);
}

// ------------------------------------------------------------------- timer

void CWaveDataPlay::StartTimer() {
  KillTimer();
  watchdog_ = kWatchdogStart;
  lastReportedSeconds_ = -1;
  {
    std::lock_guard lock(timerMutex_);
    timerStop_ = false;
  }
  timer_ = std::thread(&CWaveDataPlay::TimerLoop, this);
}

void CWaveDataPlay::KillTimer() {
  {
    std::lock_guard lock(timerMutex_);
    timerStop_ = true;
  }
  timerWake_.notify_all();
  if (timer_.joinable()) timer_.join();
}

void CWaveDataPlay::TimerLoop() {
  using Clock = std::chrono::steady_clock;
  auto previous = Clock::now();
  auto next = previous;
  for (;;) {
    next += kTimerPeriod;
    {
      std::unique_lock lock(timerMutex_);
      if (timerWake_.wait_until(lock, next, [this] { return timerStop_; })) return;
    }
    const auto now = Clock::now();
    if (now - previous < kTimerMinimumGap) continue;
    previous = now;

    int32_t value = watchdog_.load();
    while (value > 0 && !watchdog_.compare_exchange_weak(value, value - 1)) {
    }
    if (value <= 0) continue;  // already fired
    if (value == 1) {          // reached 0: no buffer switch for about a second
      PostMessage(TM_STOP, 0, 0);
      continue;
    }
    int64_t seconds = -1;
    {
      std::lock_guard lock(engineLock_);
      if (sampleRate_ != 0) seconds = static_cast<int64_t>(played_ / sampleRate_);
    }
    if (seconds >= 0 && seconds != lastReportedSeconds_) {
      lastReportedSeconds_ = seconds;
      ReportPosition();
    }
  }
}
