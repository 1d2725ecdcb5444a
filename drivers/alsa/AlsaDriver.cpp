#include "drivers/alsa/AlsaDriver.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <set>
#include <sstream>
#include <utility>

#include "drivers/alsa/AlsaDeviceName.h"
#include "drivers/alsa/AlsaPcmCache.h"
#include "output/SamplePacking.h"

namespace {

// The rates a fresh driver or a format switch starts at: the first the
// device takes.
constexpr double kPcmRates[] = {44100,  48000,  88200,  96000,  176400,
                                192000, 352800, 384000, 705600, 768000};
constexpr double kDsdRates[] = {2822400, 5644800, 11289600, 22579200, 45158400};

// Buffer halves below this many host samples cost more in switches than
// they save in latency.
constexpr int32_t kMinimumHalfSamples = 32;

// The ALSA rate for a host rate: DSD carries several one-bit samples per
// frame. 0 when the rate does not divide into whole frames.
unsigned AlsaRate(double rate, const AlsaStreamFormat& format) {
  if (!(rate >= 1) || rate > 1e9 || std::fabs(rate - std::round(rate)) > 1e-6) return 0;
  const auto whole = static_cast<unsigned long>(std::llround(rate));
  return whole % format.samplesPerFrame == 0 ? static_cast<unsigned>(whole / format.samplesPerFrame)
                                             : 0;
}

// Whether the user has not yet been told that `pcmName` may not be
// bit-perfect; told once per program run.
bool FirstNotice(const std::string& pcmName) {
  static std::mutex mutex;
  static std::set<std::string> told;
  std::lock_guard lock(mutex);
  return told.insert(pcmName).second;
}

std::string OpenFailure(const std::string& pcmName, int error) {
  if (error == -EBUSY) {
    return pcmName +
           " is busy: another program holds it (PulseAudio or PipeWire?). Release it: pactl "
           "set-card-profile CARD off";
  }
  return "Cannot open " + pcmName + ": " + snd_strerror(error);
}

}  // namespace

AlsaDriverSettings AlsaDriverSettings::Parse(const char* lines) {
  AlsaDriverSettings settings;
  ForEachAsioSetting(lines, [&settings](std::string_view key, std::string_view value) {
    if (key == "Device") settings.device = value;
    if (key == "DriverName") settings.driverName = value;
    if (key == "Channels") settings.channels = static_cast<uint32_t>(AsioSettingInt(value, 0));
    if (key == "KeepOpen")
      settings.keepOpen = std::chrono::milliseconds(std::max(AsioSettingInt(value, 0), 0));
  });
  if (settings.driverName.empty()) settings.driverName = "ALSA " + settings.device;
  return settings;
}

CAlsaDriver::CAlsaDriver(AlsaDriverSettings settings)
    : CAsioDriverBase(settings.driverName), settings_(std::move(settings)) {}

CAlsaDriver::~CAlsaDriver() {
  writer_.Stop();
  if (pcm_) {
    snd_pcm_drop(pcm_->handle());
    AlsaPcmCache::Instance().Release(std::move(pcm_), settings_.keepOpen);
  }
}

AsioBool CAlsaDriver::init(void*) {
  std::lock_guard lock(mutex_);
  if (state_ != State::kLoaded) return kAsioTrue;
  const AlsaDeviceName device = ResolveAlsaDevice(settings_.device);
  if (!device.found) {
    error_ = device.error;
    return kAsioFalse;
  }
  pcmName_ = device.pcmName;
  if (const int error = AlsaPcmCache::Instance().Acquire(pcmName_, pcm_); error < 0) {
    error_ = OpenFailure(pcmName_, error);
    return kAsioFalse;
  }
  if (!pcm_->IsHardware() && FirstNotice(pcmName_)) {
    notice_ = "Output through " + pcmName_ +
              " may not be bit-perfect: it is not the sound card itself, and ALSA may convert "
              "the audio on the way. Choose a hw: device for bit-perfect playback.";
  }
  SwitchIoFormat(kAsioFormatPcm);
  if (outputs_ == 0) {
    error_ = settings_.channels > 0
                 ? pcmName_ + " does not play " + std::to_string(settings_.channels) +
                       " channels of S32_LE, S24_3LE or S16_LE"
                 : pcmName_ + " plays none of S32_LE, S24_3LE, S16_LE";
    AlsaPcmCache::Instance().Release(std::move(pcm_), settings_.keepOpen);
    return kAsioFalse;
  }
  error_ = "No error";
  state_ = State::kInitialized;
  return kAsioTrue;
}

void CAlsaDriver::getErrorMessage(char* message) {
  std::lock_guard lock(mutex_);
  CopyAsioText(message, kAsioMessageBytes, error_);
}

std::span<const AlsaStreamFormat> CAlsaDriver::Formats(int32_t ioFormat) const {
  if (ioFormat == kAsioFormatDsd) return kDsdFormats;
  return kPcmFormats;
}

uint32_t CAlsaDriver::ChannelsFor(int32_t ioFormat) const {
  const auto formats = Formats(ioFormat);
  const auto takes = [&](unsigned channels) {
    return std::any_of(formats.begin(), formats.end(), [&](const AlsaStreamFormat& format) {
      return pcm_->Accepts(format.format, channels, 0);
    });
  };
  unsigned minimum = 0, maximum = 0;
  if (!pcm_->ChannelRange(formats, minimum, maximum)) return 0;
  if (settings_.channels > 0) return takes(settings_.channels) ? settings_.channels : 0;
  return takes(2) ? 2 : minimum;
}

const AlsaStreamFormat* CAlsaDriver::StreamFormat(double rate) const {
  if (outputs_ == 0) return nullptr;
  for (const auto& format : Formats(ioFormat_)) {
    const unsigned alsaRate = AlsaRate(rate, format);
    if (alsaRate != 0 && pcm_->Accepts(format.format, outputs_, alsaRate)) return &format;
  }
  return nullptr;
}

double CAlsaDriver::DefaultRate() const {
  const std::span<const double> rates =
      IsDsd() ? std::span<const double>(kDsdRates) : std::span<const double>(kPcmRates);
  for (const double rate : rates) {
    if (StreamFormat(rate) != nullptr) return rate;
  }
  return rates.front();
}

void CAlsaDriver::SwitchIoFormat(int32_t ioFormat) {
  ioFormat_ = ioFormat;
  outputs_ = ChannelsFor(ioFormat);
  rate_ = DefaultRate();
}

bool CAlsaDriver::LimitsFor(const AlsaStreamFormat& format, BufferLimits& limits) const {
  const unsigned alsaRate = AlsaRate(rate_, format);
  const auto perFrame = static_cast<int64_t>(format.samplesPerFrame);
  // Two halves must fit the device's buffer; a half longer than a second
  // only adds latency.
  const int64_t maximumFrames = std::min<int64_t>(
      static_cast<int64_t>(pcm_->MaxBufferFrames(format.format, outputs_, alsaRate) / 2), alsaRate);
  const int64_t minimumFrames = (kMinimumHalfSamples + perFrame - 1) / perFrame;
  if (maximumFrames < minimumFrames) return false;
  // About 10 ms; PCM halves in whole multiples of 32 frames, so the same
  // count also splits into whole DSD frames.
  int64_t preferredFrames = std::max<int64_t>(alsaRate / 100, 1);
  if (format.samplesPerFrame == 1) preferredFrames = (preferredFrames + 31) / 32 * 32;
  preferredFrames = std::clamp(preferredFrames, minimumFrames, maximumFrames);
  const auto samples = [&](int64_t frames) {
    return static_cast<int32_t>(std::min<int64_t>(frames * perFrame, INT32_MAX / 2));
  };
  limits = {samples(minimumFrames), samples(maximumFrames), samples(preferredFrames),
            static_cast<int32_t>(perFrame)};
  return true;
}

bool CAlsaDriver::BufferSizes(BufferLimits& limits) const {
  const AlsaStreamFormat* format = StreamFormat(rate_);
  return format != nullptr && LimitsFor(*format, limits);
}

AsioError CAlsaDriver::OutputLatency(int32_t& samples) const {
  if (format_ != nullptr) {
    // Everything the device buffer holds, plus the half being filled.
    samples = static_cast<int32_t>(config_.bufferFrames * format_->samplesPerFrame) + bufferSize_;
    return kAsioOk;
  }
  BufferLimits limits{};
  if (!BufferSizes(limits)) return kAsioNotPresent;
  samples = 5 * limits.preferred;  // the buffer of four periods a start would set, plus a half
  return kAsioOk;
}

int32_t CAlsaDriver::ChannelSampleType() const {
  const AlsaStreamFormat* format = format_ != nullptr ? format_ : StreamFormat(rate_);
  return (format != nullptr ? *format : Formats(ioFormat_).front()).sampleType;
}

void CAlsaDriver::SamplePosition(int64_t& position, int64_t& timestamp) const {
  writer_.Position(position, timestamp);
}

AsioError CAlsaDriver::PrepareHalves(int32_t bufferSize, std::size_t& halfBytes,
                                     std::uint8_t& fill) {
  const AlsaStreamFormat* format = StreamFormat(rate_);
  BufferLimits limits{};
  if (format == nullptr || !LimitsFor(*format, limits)) return kAsioNoClock;
  // The device period is about 10 ms whatever the half, so the writer wakes
  // about a hundred times a second at any rate (it writes as many halves as
  // a period frees); the device buffer holds at least 40 ms and two halves,
  // so a slow buffer switch does not starve it.
  const unsigned alsaRate = AlsaRate(rate_, *format);
  const auto halfFrames = static_cast<snd_pcm_uframes_t>(bufferSize / limits.granularity);
  const snd_pcm_uframes_t tenMs = std::max<snd_pcm_uframes_t>(alsaRate / 100, 1);
  AlsaPcm::Config config{format->format, outputs_, alsaRate, tenMs,
                         std::max(4 * tenMs, 2 * halfFrames)};
  if (const int error = pcm_->Configure(config); error < 0) {
    pcm_->Unconfigure();
    error_ = pcmName_ + " refuses " + snd_pcm_format_name(format->format) + ", " +
             std::to_string(outputs_) + " channels at " + std::to_string(alsaRate) +
             " Hz: " + snd_strerror(error);
    return kAsioHwMalfunction;
  }
  halfBytes = static_cast<std::size_t>(bufferSize) * AsioSampleTypeBits(format->sampleType) / 8;
  fill = output::SilenceFillByte(IsDsd());
  format_ = format;
  config_ = config;
  dop_ = false;
  return kAsioOk;
}

AsioError CAlsaDriver::disposeBuffers() {
  writer_.Stop();
  writer_.ForgetPause();
  std::lock_guard lock(mutex_);
  if (state_ != State::kPrepared && state_ != State::kRunning) return kAsioInvalidMode;
  // The hardware parameters stay for the next createBuffers of the format.
  snd_pcm_drop(pcm_->handle());
  channels_.clear();
  callbacks_ = {};
  format_ = nullptr;
  bufferSize_ = 0;
  state_ = State::kInitialized;
  return kAsioOk;
}

AsioError CAlsaDriver::start() {
  // A writer still draining after a stop from inside the buffer switch ends
  // first (within its bound); joined without the lock, as always.
  writer_.Join();
  std::lock_guard lock(mutex_);
  if (state_ != State::kPrepared) return kAsioInvalidMode;
  stopMode_ = {};
  // A device that vanished is not there to start: the host reopens it.
  if (writer_.DeviceGone()) return kAsioNotPresent;
  snd_pcm_t* pcm = pcm_->handle();
  if (writer_.Paused()) {
    // A paused device goes on with what it holds, and so does one paused
    // before its stream started; one that played out (or could not pause)
    // starts again from the writer's place.
    const snd_pcm_state_t pcmState = snd_pcm_state(pcm);
    int error = 0;
    if (pcmState == SND_PCM_STATE_PAUSED)
      error = snd_pcm_pause(pcm, 0);
    else if (pcmState != SND_PCM_STATE_PREPARED)
      error = snd_pcm_prepare(pcm);
    if (error < 0 && snd_pcm_prepare(pcm) < 0) return kAsioHwMalfunction;
    if (!writer_.Resume()) return kAsioHwMalfunction;
    state_ = State::kRunning;
    return kAsioOk;
  }
  if (const int error = snd_pcm_prepare(pcm); error < 0)
    return error == -ENODEV ? kAsioNotPresent : kAsioHwMalfunction;

  AlsaWriter::Stream stream;
  stream.pcm = pcm;
  for (int half = 0; half < 2; ++half) {
    stream.halves[half].assign(outputs_, nullptr);
    for (const auto& channel : channels_)
      stream.halves[half][static_cast<std::size_t>(channel.number)] = channel.halves[half].data();
  }
  stream.groupBytes = format_->groupBytes;
  stream.reversed = format_->reversed;
  stream.halfFrames = static_cast<uint32_t>(bufferSize_) / format_->samplesPerFrame;
  stream.samplesPerFrame = format_->samplesPerFrame;
  stream.bufferFrames = static_cast<uint32_t>(config_.bufferFrames);
  stream.periodFrames = static_cast<uint32_t>(config_.periodFrames);
  stream.alsaRate = config_.rate;
  stream.silence = output::SilenceFillByte(IsDsd());
  stream.sampleType = format_->sampleType;
  stream.dop = dop_ && !IsDsd();
  stream.canPause = pcm_->CanPause();
  stream.callbacks = callbacks_;
  stream.timeInfo = useTimeInfo_;
  stream.sampleRate = rate_;
  if (!writer_.Start(std::move(stream))) return kAsioHwMalfunction;
  state_ = State::kRunning;
  return kAsioOk;
}

AsioError CAlsaDriver::stop() {
  AlsaWriter::StopKind kind = AlsaWriter::StopKind::kDrop;
  {
    std::lock_guard lock(mutex_);
    if (state_ == State::kLoaded || state_ == State::kInitialized) return kAsioInvalidMode;
    const bool running = state_ == State::kRunning;
    if (std::exchange(stopMode_.pause, false) && running) kind = AlsaWriter::StopKind::kPause;
    if (std::exchange(stopMode_.drain, false) && running) kind = AlsaWriter::StopKind::kDrain;
  }
  // Without the lock: the writer may be inside the host's buffer switch,
  // and the host may be calling us from there. A drain stop returns once
  // the device has played out (or its bound ran out).
  const bool ended = writer_.Stop(kind);
  std::lock_guard lock(mutex_);
  snd_pcm_t* pcm = pcm_->handle();
  if (state_ == State::kRunning) {
    if (kind == AlsaWriter::StopKind::kPause && ended) {
      // The device keeps what it holds where it can pause; a writer that
      // played out has dropped the stream itself.
      if (pcm_->CanPause() && snd_pcm_state(pcm) == SND_PCM_STATE_RUNNING &&
          snd_pcm_pause(pcm, 1) < 0) {
        snd_pcm_drop(pcm);
      }
    } else if (ended || kind == AlsaWriter::StopKind::kDrop) {
      // A writer still draining (the host stopped from its buffer switch)
      // drops the stream itself when it is done.
      snd_pcm_drop(pcm);
    }
    state_ = State::kPrepared;
  } else if (writer_.Paused()) {
    // A plain stop while paused ends the pause.
    writer_.ForgetPause();
    snd_pcm_drop(pcm);
  }
  return kAsioOk;
}

AsioError CAlsaDriver::FutureCall(int32_t selector, void* argument) {
  switch (selector) {
    case kQpFutureDopStream:
      if (argument == nullptr) return kAsioInvalidParameter;
      if (state_ != State::kPrepared) return kAsioInvalidMode;
      dop_ = *static_cast<const int32_t*>(argument) != 0;
      return kAsioSuccess;
    case kQpFutureNotice:
      if (argument == nullptr) return kAsioInvalidParameter;
      if (notice_.empty()) return kAsioInvalidMode;
      CopyAsioText(static_cast<char*>(argument), kAsioMessageBytes, notice_);
      notice_.clear();
      return kAsioSuccess;
    default:
      return kAsioInvalidParameter;
  }
}

AsioError CAlsaDriver::outputReady() {
  // Each half goes to the device as soon as the buffer switch returns.
  return kAsioOk;
}
