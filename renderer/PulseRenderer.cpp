#include "renderer/PulseRenderer.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "output/AsioDriverSupport.h"
#include "platform/TextConv.h"

namespace {

constexpr const char* kRendererName = "Desktop Audio Renderer";
constexpr int32_t kMinimumBufferSize = 64;
constexpr int32_t kMaximumBufferSize = 8192;
constexpr int32_t kPreferredBufferSize = 1024;
constexpr int32_t kSampleBytes = 4;  // S32LE, the host's Int32LSB

// UTF-16 text cut to `units` code units without splitting a surrogate pair.
std::u16string CutUtf16(std::u16string text, std::size_t units) {
  if (text.size() > units) {
    text.resize(units);
    if (!text.empty() && text.back() >= 0xD800 && text.back() <= 0xDBFF) text.pop_back();
  }
  return text;
}

template <std::size_t N>
void CopyUtf16(char16_t (&field)[N], const std::u16string& text) {
  std::copy(text.begin(), text.end(), field);
  field[text.size()] = u'\0';
}

std::u16string Utf16(const std::string& utf8) {
  return platform::ToUtf16(platform::FromUtf8(utf8));
}

// The stream's layout on a sink: its own channels and map, and at least two
// channels (the server folds a stereo stream down onto a mono sink).
void ChooseStreamLayout(const platform::PulseSink& sink, PlaybackStream::Setup& setup) {
  setup.spec.format = PA_SAMPLE_S32LE;
  setup.spec.rate = sink.spec.rate;
  setup.spec.channels = std::max<uint8_t>(sink.spec.channels, 2);
  if (setup.spec.channels == sink.channelMap.channels) {
    setup.channelMap = sink.channelMap;
  } else {
    pa_channel_map_init_auto(&setup.channelMap, setup.spec.channels, PA_CHANNEL_MAP_DEFAULT);
  }
}

}  // namespace

CPulseRenderer& CPulseRenderer::Instance() {
  static CPulseRenderer renderer;
  return renderer;
}

CPulseRenderer::~CPulseRenderer() {
  Exit();
}

int32_t CPulseRenderer::EnumerateDevices(WasapiDeviceRecord* records, int32_t capacity,
                                         int32_t* count) {
  if (count != nullptr) *count = 0;
  if (records == nullptr || count == nullptr || capacity < 0) return 0;
  const auto sinks = platform::ListPulseSinks();
  if (!sinks) return 0;
  const int32_t limit = std::min(capacity, kWasapiMaxDevices);
  int32_t filled = 0;
  for (const platform::PulseSink& sink : *sinks) {
    if (filled == limit) break;
    const std::u16string name = Utf16(sink.description);
    // A name that does not fit could never be selected by it.
    if (name.size() >= std::size(records->name)) continue;
    WasapiDeviceRecord& record = records[filled++];
    record = {};
    CopyUtf16(record.name, name);
    CopyUtf16(record.hardwareId,
              CutUtf16(Utf16(sink.hardwareId), std::size(record.hardwareId) - 1));
  }
  *count = filled;
  return 1;
}

int32_t CPulseRenderer::SelectDevice(const char16_t* name, int32_t flags) {
  std::string found;
  if (name != nullptr) {
    const std::string wanted = platform::ToUtf8(platform::FromUtf16(name));
    if (const auto sinks = platform::ListPulseSinks()) {
      const auto sink = std::find_if(sinks->begin(), sinks->end(),
                                     [&](const auto& s) { return s.description == wanted; });
      if (sink != sinks->end()) found = sink->name;
    }
  }
  std::lock_guard lock(mutex_);
  // A failed selection leaves nothing selected, so Init cannot open a stale one.
  selectedSink_ = found;
  selectedFlags_ = found.empty() ? 0 : flags;
  return found.empty() ? 0 : 1;
}

int32_t CPulseRenderer::SelectedFlags() {
  std::lock_guard lock(mutex_);
  return selectedFlags_;
}

AsioError CPulseRenderer::CheckOpen() {
  if (state_ == State::kClosed || !client_->IsConnected()) return kAsioNotPresent;
  if (stream_ && stream_->Failed()) return kAsioNotPresent;
  return kAsioOk;
}

void CPulseRenderer::EndStream(bool drain) {
  std::unique_ptr<PlaybackStream> stream;
  {
    std::lock_guard lock(mutex_);
    stream = std::move(stream_);
    drainOnStop_ = false;
    if (state_ == State::kRunning) state_ = State::kPrepared;
  }
  if (stream) stream->Close(drain);
}

int32_t CPulseRenderer::BufferSizeOrPreferred() const {
  return state_ == State::kPrepared || state_ == State::kRunning ? setup_.bufferSize
                                                                 : kPreferredBufferSize;
}

AsioError CPulseRenderer::Init(AsioDriverInfo* info) {
  if (info == nullptr) return kAsioInvalidParameter;
  info->asioVersion = 2;
  info->driverVersion = 1;
  CopyAsioText(info->name, sizeof info->name, kRendererName);
  {
    std::lock_guard lock(mutex_);
    if (state_ != State::kClosed && CheckOpen() == kAsioOk) {
      CopyAsioText(info->errorMessage, sizeof info->errorMessage, "No error");
      return kAsioOk;
    }
  }
  Exit();  // whatever is left of a device whose server went away

  std::lock_guard lock(mutex_);
  auto fail = [info](const char* why) {
    CopyAsioText(info->errorMessage, sizeof info->errorMessage, why);
    return kAsioNotPresent;
  };
  if (selectedSink_.empty()) return fail("No desktop audio device is selected");
  auto client = std::make_unique<platform::PulseClient>();
  if (!client->Connect()) return fail("The desktop sound server does not answer");
  const auto sinks = client->ListSinks();
  if (!sinks) return fail("The desktop sound server does not answer");
  const auto sink = std::find_if(sinks->begin(), sinks->end(),
                                 [&](const auto& s) { return s.name == selectedSink_; });
  if (sink == sinks->end()) return fail("The selected desktop audio device is gone");

  setup_ = PlaybackStream::Setup();
  setup_.sink = sink->name;
  ChooseStreamLayout(*sink, setup_);
  client_ = std::move(client);
  state_ = State::kInitialized;
  CopyAsioText(info->errorMessage, sizeof info->errorMessage, "No error");
  return kAsioOk;
}

AsioError CPulseRenderer::Exit() {
  EndStream(false);
  std::unique_ptr<platform::PulseClient> client;
  {
    std::lock_guard lock(mutex_);
    channels_.clear();
    setup_ = PlaybackStream::Setup();
    client = std::move(client_);
    state_ = State::kClosed;
  }
  return kAsioOk;  // the connection and its mainloop thread end here
}

AsioError CPulseRenderer::Start() {
  std::lock_guard lock(mutex_);
  if (const AsioError open = CheckOpen(); open != kAsioOk) return open;
  if (state_ != State::kPrepared) return kAsioInvalidMode;
  drainOnStop_ = false;
  const AsioError result = PlaybackStream::Open(*client_, setup_, stream_);
  if (result == kAsioOk) state_ = State::kRunning;
  return result;
}

AsioError CPulseRenderer::Stop() {
  AsioError result;
  bool drain = false;
  {
    std::lock_guard lock(mutex_);
    result = CheckOpen();
    if (result == kAsioOk && state_ == State::kInitialized) result = kAsioInvalidMode;
    drain = drainOnStop_;
  }
  // A plain stop cuts what the server still holds; a drain stop plays it.
  EndStream(drain);
  return result;
}

AsioError CPulseRenderer::GetChannels(int32_t* inputs, int32_t* outputs) {
  std::lock_guard lock(mutex_);
  if (const AsioError open = CheckOpen(); open != kAsioOk) return open;
  if (inputs == nullptr || outputs == nullptr) return kAsioInvalidParameter;
  *inputs = 0;
  *outputs = setup_.spec.channels;
  return kAsioOk;
}

AsioError CPulseRenderer::GetLatencies(int32_t* input, int32_t* output) {
  std::lock_guard lock(mutex_);
  if (const AsioError open = CheckOpen(); open != kAsioOk) return open;
  if (input == nullptr || output == nullptr) return kAsioInvalidParameter;
  *input = 0;
  *output = static_cast<int32_t>(PlaybackStream::TargetBytes(setup_.spec, BufferSizeOrPreferred()) /
                                 pa_frame_size(&setup_.spec));
  return kAsioOk;
}

AsioError CPulseRenderer::GetBufferSize(int32_t* minimum, int32_t* maximum, int32_t* preferred,
                                        int32_t* granularity) {
  std::lock_guard lock(mutex_);
  if (const AsioError open = CheckOpen(); open != kAsioOk) return open;
  if (minimum == nullptr || maximum == nullptr || preferred == nullptr || granularity == nullptr) {
    return kAsioInvalidParameter;
  }
  *minimum = kMinimumBufferSize;
  *maximum = kMaximumBufferSize;
  *preferred = kPreferredBufferSize;
  *granularity = 1;
  return kAsioOk;
}

AsioError CPulseRenderer::CanSampleRate(AsioSampleRate rate) {
  std::lock_guard lock(mutex_);
  if (const AsioError open = CheckOpen(); open != kAsioOk) return open;
  // Any whole rate the server takes plays; it resamples where the sink's differs.
  const bool valid = rate >= 1 && rate <= PA_RATE_MAX && std::floor(rate) == rate &&
                     pa_sample_rate_valid(static_cast<uint32_t>(rate));
  return valid ? kAsioOk : kAsioNoClock;
}

AsioError CPulseRenderer::GetSampleRate(AsioSampleRate* rate) {
  std::lock_guard lock(mutex_);
  if (const AsioError open = CheckOpen(); open != kAsioOk) return open;
  if (rate == nullptr) return kAsioInvalidParameter;
  *rate = setup_.spec.rate;
  return kAsioOk;
}

AsioError CPulseRenderer::SetSampleRate(AsioSampleRate rate) {
  const AsioError supported = CanSampleRate(rate);
  if (supported != kAsioOk) return supported;
  std::lock_guard lock(mutex_);
  if (state_ == State::kRunning) return kAsioInvalidMode;
  setup_.spec.rate = static_cast<uint32_t>(rate);
  return kAsioOk;
}

AsioError CPulseRenderer::GetClockSources(AsioClockSource* clocks, int32_t* count) {
  return GetInternalClock(clocks, count);
}

AsioError CPulseRenderer::SetClockSource(int32_t reference) {
  return SetInternalClock(reference);
}

AsioError CPulseRenderer::GetSamplePosition(int64_t* position, int64_t* timestamp) {
  std::lock_guard lock(mutex_);
  if (const AsioError open = CheckOpen(); open != kAsioOk) return open;
  if (position == nullptr || timestamp == nullptr) return kAsioInvalidParameter;
  if (state_ != State::kRunning || !stream_) return kAsioSpNotAdvancing;
  *position = stream_->FramesWritten();
  *timestamp = AsioNowNanoseconds();
  return kAsioOk;
}

AsioError CPulseRenderer::GetChannelInfo(AsioChannelInfo* info) {
  std::lock_guard lock(mutex_);
  if (const AsioError open = CheckOpen(); open != kAsioOk) return open;
  if (info == nullptr || info->isInput != kAsioFalse || info->channel < 0 ||
      info->channel >= setup_.spec.channels) {
    return kAsioInvalidParameter;
  }
  info->isActive = std::any_of(channels_.begin(), channels_.end(),
                               [&](const Channel& c) { return c.number == info->channel; });
  info->channelGroup = 0;
  info->type = kAsioInt32Lsb;
  const char* position = pa_channel_position_to_string(setup_.channelMap.map[info->channel]);
  CopyAsioText(info->name, sizeof info->name, position != nullptr ? position : "");
  return kAsioOk;
}

AsioError CPulseRenderer::CreateBuffers(AsioBufferInfo* infos, int32_t count, int32_t bufferSize,
                                        AsioCallbacks* callbacks) {
  std::lock_guard lock(mutex_);
  if (const AsioError open = CheckOpen(); open != kAsioOk) return open;
  if (state_ != State::kInitialized) return kAsioInvalidMode;
  if (callbacks == nullptr || callbacks->bufferSwitch == nullptr ||
      !IsValidOutputRequest(infos, count, setup_.spec.channels) ||
      bufferSize < kMinimumBufferSize || bufferSize > kMaximumBufferSize) {
    return kAsioInvalidParameter;
  }
  channels_.assign(static_cast<std::size_t>(count), Channel());
  setup_.channels.clear();
  for (int32_t i = 0; i < count; ++i) {
    Channel& channel = channels_[static_cast<std::size_t>(i)];
    channel.number = infos[i].channelNum;
    const auto bytes = static_cast<std::size_t>(bufferSize) * kSampleBytes;
    channel.halves[0].assign(bytes, 0);
    channel.halves[1].assign(bytes, 0);
    infos[i].buffers[0] = channel.halves[0].data();
    infos[i].buffers[1] = channel.halves[1].data();
    setup_.channels.push_back(
        {channel.number, {channel.halves[0].data(), channel.halves[1].data()}});
  }
  setup_.bufferSize = bufferSize;
  setup_.callbacks = *callbacks;
  setup_.timeInfo = HostTakesTimeInfo(*callbacks);
  state_ = State::kPrepared;
  return kAsioOk;
}

AsioError CPulseRenderer::DisposeBuffers() {
  EndStream(false);
  std::lock_guard lock(mutex_);
  const AsioError open = CheckOpen();
  const bool prepared = state_ == State::kPrepared;
  if (state_ != State::kClosed) {
    channels_.clear();
    setup_.channels.clear();
    setup_.callbacks = {};
    state_ = State::kInitialized;
  }
  if (open != kAsioOk) return open;
  return prepared ? kAsioOk : kAsioInvalidMode;
}

AsioError CPulseRenderer::ControlPanel() {
  return kAsioNotPresent;
}

AsioError CPulseRenderer::Future(int32_t selector, void* argument) {
  std::lock_guard lock(mutex_);
  if (const AsioError open = CheckOpen(); open != kAsioOk) return open;
  switch (selector) {
    case kQpFutureDrainOnStop:
      if (state_ != State::kRunning || !stream_) return kAsioInvalidMode;
      drainOnStop_ = true;
      return kAsioSuccess;
    case kAsioCanDoIoFormat:
    case kAsioSetIoFormat:
    case kAsioGetIoFormat: {
      auto* format = static_cast<AsioIoFormat*>(argument);
      if (format == nullptr) return kAsioInvalidParameter;
      if (selector == kAsioGetIoFormat) {
        format->formatType = kAsioFormatPcm;
        return kAsioSuccess;
      }
      // PCM only: the desktop route carries no DSD.
      return format->formatType == kAsioFormatPcm ? kAsioSuccess : kAsioNotPresent;
    }
    default:
      return kAsioInvalidParameter;
  }
}

AsioError CPulseRenderer::OutputReady() {
  // Each half goes to the server as soon as the host returns from the buffer
  // switch; there is nothing to hurry.
  return kAsioNotPresent;
}
