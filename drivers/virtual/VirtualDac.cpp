#include "drivers/virtual/VirtualDac.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string_view>
#include <utility>

#include "output/AsioDriverSupport.h"

namespace {

std::vector<double> ParseRates(std::string_view text) {
  std::vector<double> rates;
  std::stringstream in{std::string(text)};
  std::string item;
  while (std::getline(in, item, ',')) {
    char* end = nullptr;
    const double rate = std::strtod(item.c_str(), &end);
    if (end != item.c_str() && rate > 0) rates.push_back(rate);
  }
  return rates;
}

// Live instances, newest last, for the manual-clock control, and how many
// steps are running on each: an instance is not destroyed under a step.
std::mutex gInstancesMutex;
std::condition_variable gStepEnded;
std::vector<CVirtualDac*> gInstances;
std::vector<CVirtualDac*> gStepping;

// The notices given so far in this process: each is given once.
std::mutex gNoticesMutex;
std::vector<std::string> gNoticesGiven;

}  // namespace

VirtualDacSettings VirtualDacSettings::Parse(const char* lines) {
  VirtualDacSettings s;
  ForEachAsioSetting(lines, [&s](std::string_view key, std::string_view value) {
    if (key == "DriverName") s.driverName = value;
    if (key == "Channels") s.channels = std::clamp(AsioSettingInt(value, 2), 1, 10);
    if (key == "Rates") s.pcmRates = ParseRates(value);
    if (key == "DsdRates") s.dsdRates = ParseRates(value);
    if (key == "BufferSize") s.pcmBufferSize = std::max(AsioSettingInt(value, 512), 8);
    if (key == "DsdBufferSize") s.dsdBufferSize = std::max(AsioSettingInt(value, 4096), 64) / 8 * 8;
    if (key == "PcmSampleType") s.pcmSampleType = AsioSettingInt(value, kAsioInt32Lsb);
    if (key == "DsdSampleType") s.dsdSampleType = AsioSettingInt(value, kAsioDsdInt8Msb1);
    if (key == "OutputReady") s.outputReady = AsioSettingInt(value, 1) != 0;
    if (key == "Clock") {
      s.clock = value == "manual" ? VirtualDacClock::kManual
                : value == "free" ? VirtualDacClock::kFree
                                  : VirtualDacClock::kReal;
    }
    if (key == "RefuseInit") s.refuseInit = AsioSettingInt(value, 0) != 0;
    if (key == "RefuseBuffers") s.refuseBuffers = AsioSettingInt(value, 0) != 0;
    if (key == "ErrorMessage") s.errorMessage = value;
    if (key == "Notice") s.notice = value;
    if (key == "UnderrunEvery") s.underrunEvery = std::max(AsioSettingInt(value, 0), 0);
    if (key == "Capture") s.capture = value;
  });
  return s;
}

CVirtualDac::CVirtualDac(VirtualDacSettings settings)
    : CAsioDriverBase(settings.driverName), settings_(std::move(settings)) {
  if (!settings_.pcmRates.empty()) rate_ = settings_.pcmRates.front();
  std::lock_guard lock(gInstancesMutex);
  gInstances.push_back(this);
}

CVirtualDac::~CVirtualDac() {
  {
    std::unique_lock lock(gInstancesMutex);
    gInstances.erase(std::remove(gInstances.begin(), gInstances.end(), this), gInstances.end());
    gStepEnded.wait(lock, [this] {
      return std::find(gStepping.begin(), gStepping.end(), this) == gStepping.end();
    });
  }
  StopClock();
  CloseCaptures();
}

int32_t CVirtualDac::StepNewest(int32_t count) {
  CVirtualDac* dac = nullptr;
  {
    std::lock_guard lock(gInstancesMutex);
    if (gInstances.empty()) return 0;
    dac = gInstances.back();
    gStepping.push_back(dac);
  }
  // Like the paced clock's thread, a step runs buffer switches without the
  // instance lock, and the instance's end waits for it.
  const int32_t played = dac->Step(count);
  {
    std::lock_guard lock(gInstancesMutex);
    gStepping.erase(std::find(gStepping.begin(), gStepping.end(), dac));
  }
  gStepEnded.notify_all();
  return played;
}

AsioBool CVirtualDac::init(void*) {
  std::lock_guard lock(mutex_);
  if (settings_.refuseInit) return kAsioFalse;
  if (state_ == State::kLoaded) state_ = State::kInitialized;
  return kAsioTrue;
}

void CVirtualDac::getErrorMessage(char* message) {
  std::string text = "No error";
  if (settings_.refuseInit || settings_.refuseBuffers) {
    text = !settings_.errorMessage.empty() ? settings_.errorMessage
           : settings_.refuseInit          ? "The virtual DAC is set to refuse init"
                                           : "The virtual DAC is set to refuse buffers";
  }
  CopyAsioText(message, kAsioMessageBytes, text);
}

int32_t CVirtualDac::BufferSize() const {
  return IsDsd() ? settings_.dsdBufferSize : settings_.pcmBufferSize;
}

int32_t CVirtualDac::SampleType() const {
  return IsDsd() ? settings_.dsdSampleType : settings_.pcmSampleType;
}

bool CVirtualDac::Supports(double rate, int32_t format) const {
  const auto& rates = format == kAsioFormatDsd ? settings_.dsdRates : settings_.pcmRates;
  return std::any_of(rates.begin(), rates.end(),
                     [rate](double r) { return std::fabs(r - rate) < 0.5; });
}

bool CVirtualDac::BufferSizes(BufferLimits& limits) const {
  limits = {BufferSize(), BufferSize(), BufferSize(), 0};
  return true;
}

AsioError CVirtualDac::OutputLatency(int32_t& samples) const {
  samples = BufferSize();
  return kAsioOk;
}

void CVirtualDac::SamplePosition(int64_t& position, int64_t& timestamp) const {
  position = samplesPlayed_;
  timestamp = AsioNowNanoseconds();
}

AsioError CVirtualDac::PrepareHalves(int32_t bufferSize, std::size_t& halfBytes,
                                     std::uint8_t& fill) {
  if (settings_.refuseBuffers) return kAsioHwMalfunction;
  halfBytes = static_cast<std::size_t>(bufferSize) * AsioSampleTypeBits(SampleType()) / 8;
  fill = 0;
  return kAsioOk;
}

AsioError CVirtualDac::disposeBuffers() {
  StopClock();
  std::lock_guard lock(mutex_);
  if (state_ != State::kPrepared && state_ != State::kRunning) return kAsioInvalidMode;
  CloseCaptures();
  channels_.clear();
  callbacks_ = {};
  paused_ = false;
  dopStream_ = false;
  state_ = State::kInitialized;
  return kAsioOk;
}

AsioError CVirtualDac::start() {
  {
    std::lock_guard lock(mutex_);
    if (state_ != State::kPrepared) return kAsioInvalidMode;
    // After a pause stop the half due is the one the host filled last and
    // the device had not played: it plays first. Otherwise afresh from the
    // host's prefill of half 0.
    if (!std::exchange(paused_, false)) {
      playHalf_ = 0;
      samplesPlayed_ = 0;
      periods_ = 0;
      dopPhase_ = 0;
    }
    stopMode_ = {};
    if (!settings_.capture.empty()) {
      captures_.resize(channels_.size(), nullptr);
      for (std::size_t i = 0; i < channels_.size(); ++i) {
        if (captures_[i] == nullptr) {
          const std::string path =
              settings_.capture + "." + std::to_string(channels_[i].number) + ".raw";
          captures_[i] = std::fopen(path.c_str(), "ab");
        }
      }
      if (std::FILE* log = std::fopen((settings_.capture + ".log").c_str(), "a")) {
        std::fprintf(log, "start rate=%.0f format=%s type=%d buffer=%d channels=%zu\n", rate_,
                     IsDsd() ? "dsd" : "pcm", SampleType(), bufferSize_, channels_.size());
        std::fclose(log);
      }
    }
    state_ = State::kRunning;
    clockStop_ = false;
  }
  if (settings_.clock == VirtualDacClock::kReal) {
    clock_ = std::thread(&CVirtualDac::RunClock, this);
  } else if (settings_.clock == VirtualDacClock::kFree) {
    clock_ = std::thread(&CVirtualDac::RunFreeClock, this);
  }
  return kAsioOk;
}

AsioError CVirtualDac::stop() {
  StopClock();
  std::lock_guard lock(mutex_);
  if (state_ == State::kLoaded || state_ == State::kInitialized) return kAsioInvalidMode;
  if (state_ == State::kRunning) {
    // A drain stop plays what the device was given: the half the host
    // filled at the last buffer switch (the prefill when none came yet).
    if (std::exchange(stopMode_.drain, false)) {
      PlayHalfDue();
      stopMode_.pause = false;
    }
    // A pause stop keeps the half due (filled, not played) for the start.
    paused_ = std::exchange(stopMode_.pause, false);
    state_ = State::kPrepared;
  } else {
    paused_ = false;  // a plain stop forgets a pause
  }
  for (std::FILE* capture : captures_) {
    if (capture != nullptr) std::fflush(capture);
  }
  return kAsioOk;
}

AsioError CVirtualDac::FutureCall(int32_t selector, void* argument) {
  switch (selector) {
    case kQpFutureDopStream:
      if (argument == nullptr) return kAsioInvalidParameter;
      if (state_ != State::kPrepared && state_ != State::kRunning) return kAsioInvalidMode;
      dopStream_ = !IsDsd() && *static_cast<const int32_t*>(argument) != 0;
      return kAsioSuccess;
    case kQpFutureNotice: {
      if (argument == nullptr) return kAsioInvalidParameter;
      if (settings_.notice.empty()) return kAsioInvalidMode;
      std::lock_guard notices(gNoticesMutex);
      if (std::find(gNoticesGiven.begin(), gNoticesGiven.end(), settings_.notice) !=
          gNoticesGiven.end()) {
        return kAsioInvalidMode;
      }
      gNoticesGiven.push_back(settings_.notice);
      CopyAsioText(static_cast<char*>(argument), kAsioMessageBytes, settings_.notice);
      return kAsioSuccess;
    }
    default:
      return kAsioInvalidParameter;
  }
}

bool CVirtualDac::OffersIoFormat(int32_t format) const {
  return !(format == kAsioFormatDsd ? settings_.dsdRates : settings_.pcmRates).empty();
}

void CVirtualDac::SwitchIoFormat(int32_t format) {
  ioFormat_ = format;
  rate_ = (IsDsd() ? settings_.dsdRates : settings_.pcmRates).front();
}

AsioError CVirtualDac::outputReady() {
  if (!settings_.outputReady) return kAsioNotPresent;
  std::lock_guard lock(mutex_);
  ++outputReadyCalls_;
  return kAsioOk;
}

void CVirtualDac::Tick() {
  int half = 0;
  int64_t position = 0;
  AsioCallbacks callbacks;
  bool timeInfo = false;
  bool underrun = false;
  {
    std::lock_guard lock(mutex_);
    if (state_ != State::kRunning) return;
    ++periods_;
    underrun = settings_.underrunEvery > 0 && periods_ % settings_.underrunEvery == 0;
    // Run dry: a half the host never filled, before the one it did.
    if (underrun) PlayIdleHalf();
    PlayHalfDue();
    half = 1 - playHalf_;
    playHalf_ = half;
    position = samplesPlayed_;
    callbacks = callbacks_;
    timeInfo = useTimeInfo_;
  }
  // No lock held: the host may call back into us.
  if (underrun && callbacks.asioMessage != nullptr) {
    callbacks.asioMessage(kAsioOverload, 0, nullptr, nullptr);
  }
  // The host fills the other half.
  if (timeInfo) {
    AsioTime time{};
    time.timeInfo.samplePosition = position;
    time.timeInfo.systemTime = AsioNowNanoseconds();
    time.timeInfo.sampleRate = rate_;
    time.timeInfo.flags = kAsioSystemTimeValid | kAsioSamplePositionValid | kAsioSampleRateValid;
    callbacks.bufferSwitchTimeInfo(&time, half, kAsioTrue);
  } else {
    callbacks.bufferSwitch(half, kAsioTrue);
  }
}

void CVirtualDac::PlayHalfDue() {
  // What the host put there is what comes out.
  for (std::size_t i = 0; i < channels_.size(); ++i)
    Capture(i, channels_[i].halves[playHalf_]);
  // A DoP stream goes on from the marker of the last word played.
  const int32_t type = SampleType();
  const std::size_t sampleBytes = static_cast<std::size_t>(AsioSampleTypeBits(type)) / 8;
  if (dopStream_ && !channels_.empty() && sampleBytes > 0) {
    const auto& bytes = channels_.front().halves[playHalf_];
    if (bytes.size() >= sampleBytes) {
      dopPhase_ = DopPhaseAfter(type, bytes.data() + bytes.size() - sampleBytes);
    }
  }
  samplesPlayed_ += bufferSize_;
}

void CVirtualDac::PlayIdleHalf() {
  const int32_t type = SampleType();
  const std::size_t sampleBytes = static_cast<std::size_t>(AsioSampleTypeBits(type)) / 8;
  const bool dop = dopStream_ && DopMarkerOffset(type) >= 0;
  for (std::size_t i = 0; i < channels_.size(); ++i) {
    // PCM zeros, the DSD idle byte, or DoP idle words carrying on the phase.
    std::vector<std::uint8_t> idle(channels_[i].halves[0].size(), IsDsd() ? 0x96 : 0x00);
    if (dop) {
      for (std::size_t at = 0, word = 0; at + sampleBytes <= idle.size(); at += sampleBytes, ++word)
        WriteDopIdleSample(type, static_cast<uint32_t>((dopPhase_ + word) & 1), &idle[at]);
    }
    Capture(i, idle);
  }
  if (dop) dopPhase_ = static_cast<uint32_t>((dopPhase_ + static_cast<uint32_t>(bufferSize_)) & 1);
  samplesPlayed_ += bufferSize_;
}

int32_t CVirtualDac::Step(int32_t count) {
  int32_t played = 0;
  for (; played < count; ++played) {
    {
      std::lock_guard lock(mutex_);
      if (state_ != State::kRunning) break;
    }
    Tick();
  }
  return played;
}

void CVirtualDac::RunClock() {
  using Clock = std::chrono::steady_clock;
  const auto period = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(static_cast<double>(bufferSize_) / rate_));
  auto deadline = Clock::now();
  for (;;) {
    deadline += period;
    {
      std::unique_lock lock(mutex_);
      if (clockWake_.wait_until(lock, deadline, [this] { return clockStop_; })) return;
    }
    Tick();
  }
}

void CVirtualDac::RunFreeClock() {
  // No pacing: each period begins as soon as the host returned from the
  // buffer switch before it (by then it has called outputReady, when it
  // does) and has the audio of the next half queued. The host's speed is
  // the device's: silence it never meant (a track still opening) is not
  // played, unless the host has kept nothing queued for a long while.
  AsioCallbacks callbacks;
  {
    std::lock_guard lock(mutex_);
    callbacks = callbacks_;
  }
  const bool asks =
      callbacks.asioMessage != nullptr &&
      callbacks.asioMessage(kAsioSelectorSupported, kQpMessageHalfReady, nullptr, nullptr) == 1;
  for (;;) {
    if (asks) WaitForHostAudio(callbacks);
    {
      std::lock_guard lock(mutex_);
      if (clockStop_) return;
    }
    Tick();
  }
}

void CVirtualDac::WaitForHostAudio(const AsioCallbacks& callbacks) {
  using Clock = std::chrono::steady_clock;
  constexpr auto kPatience = std::chrono::milliseconds(250);
  constexpr auto kLook = std::chrono::microseconds(200);
  const auto deadline = Clock::now() + kPatience;
  while (callbacks.asioMessage(kQpMessageHalfReady, 0, nullptr, nullptr) == 0) {
    const auto now = Clock::now();
    if (now >= deadline) return;
    // The host has no way to wake us when audio arrives: look again soon,
    // or at once when the clock is stopped.
    std::unique_lock lock(mutex_);
    if (clockWake_.wait_until(lock, std::min(now + kLook, deadline),
                              [this] { return clockStop_; })) {
      return;
    }
  }
}

void CVirtualDac::StopClock() {
  {
    std::lock_guard lock(mutex_);
    clockStop_ = true;
  }
  clockWake_.notify_all();
  if (clock_.joinable() && clock_.get_id() != std::this_thread::get_id()) clock_.join();
}

void CVirtualDac::Capture(std::size_t channel, const std::vector<std::uint8_t>& bytes) {
  if (channel >= captures_.size() || captures_[channel] == nullptr) return;
  // Flushed at once so the capture can be read while the DAC plays.
  std::fwrite(bytes.data(), 1, bytes.size(), captures_[channel]);
  std::fflush(captures_[channel]);
}

void CVirtualDac::CloseCaptures() {
  for (std::FILE* capture : captures_) {
    if (capture != nullptr) std::fclose(capture);
  }
  captures_.clear();
}
