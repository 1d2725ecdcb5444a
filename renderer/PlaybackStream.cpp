#include "renderer/PlaybackStream.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "output/AsioDriverSupport.h"

namespace {

constexpr pa_usec_t kMinimumQueue = 100 * PA_USEC_PER_MSEC;
// A drain's bound beyond the time of the queue at the server: the sink's own
// latency, a busy server.
constexpr std::chrono::milliseconds kDrainMargin{1000};

}  // namespace

uint32_t PlaybackStream::TargetBytes(const pa_sample_spec& spec, int32_t bufferSize) {
  const auto halves = static_cast<uint32_t>(4 * bufferSize * pa_frame_size(&spec));
  return std::max(halves, static_cast<uint32_t>(pa_usec_to_bytes(kMinimumQueue, &spec)));
}

PlaybackStream::PlaybackStream(platform::PulseClient& client, Setup setup)
    : client_(client),
      setup_(std::move(setup)),
      interleaved_(static_cast<std::size_t>(setup_.bufferSize) * pa_frame_size(&setup_.spec), 0) {}

AsioError PlaybackStream::Open(platform::PulseClient& client, Setup setup,
                               std::unique_ptr<PlaybackStream>& stream) {
  std::unique_ptr<PlaybackStream> opened(new PlaybackStream(client, std::move(setup)));
  PlaybackStream& s = *opened;
  {
    platform::PulseClient::Lock lock(client);
    pa_context* context = client.context();
    s.stream_ = pa_stream_new(context, "Playback", &s.setup_.spec, &s.setup_.channelMap);
    if (s.stream_ == nullptr) {
      return pa_context_get_state(context) == PA_CONTEXT_READY ? kAsioHwMalfunction
                                                               : kAsioNotPresent;
    }
    pa_stream_set_state_callback(s.stream_, &PlaybackStream::OnChange, &s);
    pa_stream_set_write_callback(s.stream_, &PlaybackStream::OnRoom, &s);

    pa_buffer_attr attributes;
    attributes.maxlength = static_cast<uint32_t>(-1);
    attributes.tlength = TargetBytes(s.setup_.spec, s.setup_.bufferSize);
    attributes.prebuf = static_cast<uint32_t>(-1);
    attributes.minreq = static_cast<uint32_t>(s.interleaved_.size());
    attributes.fragsize = static_cast<uint32_t>(-1);
    // Relative volume: 100 % of the sink leaves the samples alone, and with
    // flat volumes it does not turn the sink up either. The stream stays on
    // its sink: if the sink goes, the stream fails rather than moving.
    pa_cvolume volume;
    pa_cvolume_set(&volume, s.setup_.spec.channels, PA_VOLUME_NORM);
    const auto flags =
        static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE |
                                       PA_STREAM_START_UNMUTED | PA_STREAM_RELATIVE_VOLUME);
    if (pa_stream_connect_playback(s.stream_, s.setup_.sink.c_str(), &attributes, flags, &volume,
                                   nullptr) < 0) {
      return pa_context_get_state(context) == PA_CONTEXT_READY ? kAsioHwMalfunction
                                                               : kAsioNotPresent;
    }
    client.Wait(
        [&s] {
          const pa_stream_state_t state = pa_stream_get_state(s.stream_);
          return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
        },
        platform::PulseDeadline(platform::kPulseTimeout));
    if (!s.IsGood()) {
      const bool gone = pa_context_get_state(context) != PA_CONTEXT_READY ||
                        pa_context_errno(context) == PA_ERR_NOENTITY;
      return gone ? kAsioNotPresent : kAsioHwMalfunction;
    }
  }
  s.thread_ = std::thread(&PlaybackStream::Render, &s);
  stream = std::move(opened);
  return kAsioOk;
}

PlaybackStream::~PlaybackStream() {
  Close(false);
}

void PlaybackStream::Close(bool drain) {
  if (stream_ == nullptr) return;
  {
    platform::PulseClient::Lock lock(client_);
    stopping_ = true;
    client_.Signal();
  }
  if (thread_.joinable()) thread_.join();

  platform::PulseClient::Lock lock(client_);
  if (drain && !failed_ && IsGood()) {
    // What was written plays to its end: the last halves of a track are
    // still queued at the server when the host stops. A server or sink that
    // does not play is given up after the queue's time and a margin.
    const pa_usec_t queued =
        pa_bytes_to_usec(TargetBytes(setup_.spec, setup_.bufferSize), &setup_.spec);
    const auto bound =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::microseconds(queued)) +
        kDrainMargin;
    pa_operation* operation = pa_stream_drain(
        stream_,
        [](pa_stream*, int, void* self) { static_cast<PlaybackStream*>(self)->client_.Signal(); },
        this);
    if (operation != nullptr) {
      client_.Wait(
          [this, operation] {
            return pa_operation_get_state(operation) != PA_OPERATION_RUNNING || !IsGood();
          },
          platform::PulseDeadline(bound));
      if (pa_operation_get_state(operation) == PA_OPERATION_RUNNING) pa_operation_cancel(operation);
      pa_operation_unref(operation);
    }
  }
  // Disconnecting drops whatever the server still holds of the stream.
  pa_stream_set_state_callback(stream_, nullptr, nullptr);
  pa_stream_set_write_callback(stream_, nullptr, nullptr);
  pa_stream_disconnect(stream_);
  pa_stream_unref(stream_);
  stream_ = nullptr;
}

bool PlaybackStream::IsGood() const {
  return pa_context_get_state(client_.context()) == PA_CONTEXT_READY &&
         pa_stream_get_state(stream_) == PA_STREAM_READY;
}

void PlaybackStream::Render() {
  const std::size_t halfBytes = interleaved_.size();
  int half = 0;  // the host prefilled half 0 before the start
  for (;;) {
    Interleave(half);
    {
      platform::PulseClient::Lock lock(client_);
      while (!stopping_ && IsGood()) {
        const size_t room = pa_stream_writable_size(stream_);
        if (room != static_cast<size_t>(-1) && room >= halfBytes) break;
        client_.WaitForSignal();  // room, a state change or the stop
      }
      if (stopping_) return;
      if (!IsGood() || pa_stream_write(stream_, interleaved_.data(), halfBytes, nullptr, 0,
                                       PA_SEEK_RELATIVE) < 0) {
        break;
      }
    }
    framesWritten_ += setup_.bufferSize;
    half = 1 - half;
    HandOver(half);
  }
  // The server or the sink went away: no more buffer switches. A host that
  // listens learns it through a reset request; the next call answers "not
  // present".
  failed_ = true;
  const auto message = setup_.callbacks.asioMessage;
  if (message != nullptr &&
      message(kAsioSelectorSupported, kAsioResetRequest, nullptr, nullptr) == 1) {
    message(kAsioResetRequest, 0, nullptr, nullptr);
  }
}

void PlaybackStream::Interleave(int half) {
  const std::size_t frameBytes = pa_frame_size(&setup_.spec);
  for (const Channel& channel : setup_.channels) {
    const std::uint8_t* in = channel.halves[half];
    std::uint8_t* out = interleaved_.data() + static_cast<std::size_t>(channel.streamChannel) * 4;
    for (int32_t frame = 0; frame < setup_.bufferSize; ++frame, in += 4, out += frameBytes) {
      std::memcpy(out, in, 4);
    }
  }
}

void PlaybackStream::HandOver(int half) {
  if (setup_.timeInfo) {
    AsioTime time{};
    time.timeInfo.speed = 1.0;
    time.timeInfo.samplePosition = framesWritten_;
    time.timeInfo.systemTime = AsioNowNanoseconds();
    time.timeInfo.sampleRate = setup_.spec.rate;
    time.timeInfo.flags = kAsioSystemTimeValid | kAsioSamplePositionValid | kAsioSampleRateValid;
    setup_.callbacks.bufferSwitchTimeInfo(&time, half, kAsioTrue);
  } else {
    setup_.callbacks.bufferSwitch(half, kAsioTrue);
  }
}

void PlaybackStream::OnChange(pa_stream*, void* self) {
  static_cast<PlaybackStream*>(self)->client_.Signal();
}

void PlaybackStream::OnRoom(pa_stream*, size_t, void* self) {
  static_cast<PlaybackStream*>(self)->client_.Signal();
}
