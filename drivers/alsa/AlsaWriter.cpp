#include "drivers/alsa/AlsaWriter.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "drivers/alsa/RealtimePriority.h"
#include "output/AsioDriverSupport.h"

namespace {

constexpr int kRealtimePriority = 70;
// A drain's bound beyond the time the device needs to play what it holds.
constexpr auto kDrainMargin = std::chrono::milliseconds(100);

// How many frames must be free before poll() reports the PCM writable.
void SetAvailMin(snd_pcm_t* pcm, snd_pcm_uframes_t frames) {
  if (frames == 0) return;
  snd_pcm_sw_params_t* params;
  snd_pcm_sw_params_alloca(&params);
  if (snd_pcm_sw_params_current(pcm, params) >= 0 &&
      snd_pcm_sw_params_set_avail_min(pcm, params, frames) >= 0) {
    snd_pcm_sw_params(pcm, params);
  }
}

// Interleaves `frames` frames of `channels` channels, G bytes per channel
// and frame, each group reversed when asked; a null channel plays `silence`.
template <uint32_t G, bool Reversed>
void InterleaveGroups(const std::vector<const uint8_t*>& channels, uint32_t frames, uint8_t silence,
                      uint8_t* out) {
  uint8_t silent[G];
  std::memset(silent, silence, G);
  for (uint32_t frame = 0; frame < frames; ++frame) {
    for (const uint8_t* channel : channels) {
      const uint8_t* group =
          channel != nullptr ? channel + static_cast<std::size_t>(frame) * G : silent;
      if constexpr (Reversed) {
        for (uint32_t b = 0; b < G; ++b)
          out[b] = group[G - 1 - b];
      } else {
        std::memcpy(out, group, G);
      }
      out += G;
    }
  }
}

template <uint32_t G>
void InterleaveGroups(const std::vector<const uint8_t*>& channels, uint32_t frames, uint8_t silence,
                      bool reversed, uint8_t* out) {
  if (reversed)
    InterleaveGroups<G, true>(channels, frames, silence, out);
  else
    InterleaveGroups<G, false>(channels, frames, silence, out);
}

}  // namespace

AlsaWriter::AlsaWriter() : wakeFd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

AlsaWriter::~AlsaWriter() {
  Stop();
  if (wakeFd_ >= 0) close(wakeFd_);
}

bool AlsaWriter::Start(Stream stream) {
  Join();
  const int count = snd_pcm_poll_descriptors_count(stream.pcm);
  if (wakeFd_ < 0 || count < 0 || stream.halfFrames == 0) return false;
  stream_ = std::move(stream);
  const std::size_t halfBytes =
      static_cast<std::size_t>(stream_.halfFrames) * stream_.halves[0].size() * stream_.groupBytes;
  interleaved_.assign(halfBytes, stream_.silence);
  idle_.assign(halfBytes, stream_.silence);
  pcmDescriptors_ = count;
  descriptors_.assign(static_cast<std::size_t>(count) + 1, pollfd{});
  written_ = 0;
  nextDopPhase_ = 0;
  dopSample_ = -1;
  if (stream_.dop && DopMarkerOffset(stream_.sampleType) >= 0) {
    // The markers of a frame are alike: read them off a channel the host fills.
    const auto& channels = stream_.halves[0];
    const auto filled = std::find_if(channels.begin(), channels.end(),
                                     [](const uint8_t* channel) { return channel != nullptr; });
    const auto channel = filled != channels.end() ? filled - channels.begin() : 0;
    dopSample_ = static_cast<int>(static_cast<uint32_t>(channel) * stream_.groupBytes);
  }
  {
    std::lock_guard lock(positionMutex_);
    playedSamples_ = 0;
    playedTime_ = AsioNowNanoseconds();
  }
  Interleave(0);
  Place first;
  first.valid = true;
  return Launch(first);
}

bool AlsaWriter::Resume() {
  Join();
  if (!resume_.valid) return false;
  return Launch(resume_);
}

bool AlsaWriter::Launch(Place place) {
  uint64_t signalled = 0;
  if (read(wakeFd_, &signalled, sizeof signalled) < 0) {
    // Not signalled since the last run.
  }
  resume_ = Place{};
  stopping_ = false;
  stopKind_ = static_cast<int>(StopKind::kDrop);
  thread_ = std::thread(&AlsaWriter::Run, this, place);
  return true;
}

bool AlsaWriter::Stop(StopKind kind) {
  if (thread_.joinable() && !stopping_) {
    if (kind != StopKind::kDrop) {
      // Everything the device holds, the half given and the idle half play
      // within this.
      const double seconds =
          stream_.alsaRate > 0
              ? static_cast<double>(stream_.bufferFrames + 2 * stream_.halfFrames) /
                    stream_.alsaRate
              : 0.0;
      drainDeadline_ = AsioNowNanoseconds() + static_cast<int64_t>(seconds * 1e9) +
                       std::chrono::nanoseconds(kDrainMargin).count();
    }
    stopKind_ = static_cast<int>(kind);  // before stopping_: the writer sees both or neither
    stopping_ = true;
  }
  const uint64_t one = 1;
  if (wakeFd_ >= 0 && write(wakeFd_, &one, sizeof one) < 0) {
    // The counter is already signalled; nothing more to do.
  }
  Join();
  return !thread_.joinable();
}

void AlsaWriter::Join() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void AlsaWriter::Position(int64_t& samples, int64_t& time) const {
  std::lock_guard lock(positionMutex_);
  samples = playedSamples_;
  time = playedTime_;
}

void AlsaWriter::UpdatePosition() {
  snd_pcm_status_t* status;
  snd_pcm_status_alloca(&status);
  int64_t delayFrames = 0;
  int64_t time = AsioNowNanoseconds();
  if (snd_pcm_status(stream_.pcm, status) >= 0) {
    // Before the stream starts, everything written is still to play.
    delayFrames = snd_pcm_status_get_state(status) == SND_PCM_STATE_PREPARED
                      ? static_cast<int64_t>(stream_.bufferFrames) -
                            static_cast<int64_t>(snd_pcm_status_get_avail(status))
                      : snd_pcm_status_get_delay(status);
    snd_htimestamp_t stamp;
    snd_pcm_status_get_htstamp(status, &stamp);
    if (stamp.tv_sec != 0 || stamp.tv_nsec != 0)
      time = static_cast<int64_t>(stamp.tv_sec) * 1000000000 + stamp.tv_nsec;
  }
  const int64_t played =
      std::max<int64_t>(0, written_ - std::max<int64_t>(delayFrames, 0) * stream_.samplesPerFrame);
  std::lock_guard lock(positionMutex_);
  playedSamples_ = played;
  playedTime_ = time;
}

void AlsaWriter::DeviceFailed() {
  // The device is gone; a driver that reset itself answers the next start
  // with "not present", and the host reopens it.
  gone_ = true;
  if (stream_.callbacks.asioMessage != nullptr)
    stream_.callbacks.asioMessage(kAsioResetRequest, 0, nullptr, nullptr);
}

void AlsaWriter::Run(Place place) {
  RaiseWriterThreadToRealtime(kRealtimePriority);
  const int64_t samplesPerHalf = static_cast<int64_t>(stream_.halfFrames) * stream_.samplesPerFrame;
  int half = place.half;
  snd_pcm_uframes_t offset = place.offset;
  bool switchFirst = place.switchFirst;
  int result = kWritten;
  for (;;) {
    if (switchFirst) {
      SwitchTo(half);
      Interleave(half);
      offset = 0;
      switchFirst = false;
    }
    result = Write(interleaved_.data(), offset, false);
    if (result == kStopped) {
      resume_ = Place{true, half, offset, false};
      break;
    }
    if (result < 0) {
      DeviceFailed();
      return;
    }
    written_ += samplesPerHalf;
    UpdatePosition();
    half = 1 - half;
    switchFirst = true;
    if (stopping_) {
      resume_ = Place{true, half, 0, true};
      break;
    }
  }
  const StopKind kind = Kind();
  if (kind != StopKind::kPause) resume_ = Place{};
  if (!PlaysOut()) return;  // a plain stop: the driver drops; a pause: it pauses
  // A drain plays the half it was given to the end; a pause keeps the rest
  // of its half for the resume.
  if (result == kWritten || kind == StopKind::kPause) PlayOut();
  snd_pcm_drop(stream_.pcm);
  // The next run wakes a period at a time again.
  SetAvailMin(stream_.pcm, stream_.periodFrames);
}

void AlsaWriter::PlayOut() {
  snd_pcm_t* pcm = stream_.pcm;
  FillIdle(idle_.data(), stream_.halfFrames);
  snd_pcm_uframes_t offset = 0;
  const int result = Write(idle_.data(), offset, true);
  if (result < 0) DeviceFailed();
  if (result != kWritten) return;
  // The stream starts once its buffer is full; one that never filled it (a
  // short run) is started here, or it would never play.
  if (snd_pcm_state(pcm) == SND_PCM_STATE_PREPARED && snd_pcm_start(pcm) < 0) return;
  // Woken when the whole buffer is free, that is played, rather than every
  // period; a device that does not play is given up at the deadline.
  if (stream_.bufferFrames > 0) SetAvailMin(pcm, stream_.bufferFrames);
  for (;;) {
    // Anything but running: it ran dry (an underrun at the stop threshold
    // means everything was played) or failed; either way it is done.
    if (snd_pcm_state(pcm) != SND_PCM_STATE_RUNNING) return;
    snd_pcm_sframes_t delay = 0;
    if (snd_pcm_delay(pcm, &delay) < 0 || delay <= 0) return;
    unsigned short events = 0;
    if (PollPcm(events) != kWritten) return;
  }
}

void AlsaWriter::SwitchTo(int half) {
  if (!stream_.timeInfo) {
    stream_.callbacks.bufferSwitch(half, kAsioTrue);
    return;
  }
  AsioTime time{};
  Position(time.timeInfo.samplePosition, time.timeInfo.systemTime);
  time.timeInfo.sampleRate = stream_.sampleRate;
  time.timeInfo.flags = kAsioSystemTimeValid | kAsioSamplePositionValid | kAsioSampleRateValid;
  stream_.callbacks.bufferSwitchTimeInfo(&time, half, kAsioTrue);
}

void AlsaWriter::Interleave(int half) {
  const auto& channels = stream_.halves[half];
  uint8_t* out = interleaved_.data();
  const uint32_t frames = stream_.halfFrames;
  const uint8_t silence = stream_.silence;
  const bool reversed = stream_.reversed;
  switch (stream_.groupBytes) {
    case 1:
      InterleaveGroups<1>(channels, frames, silence, reversed, out);
      break;
    case 2:
      InterleaveGroups<2>(channels, frames, silence, reversed, out);
      break;
    case 3:
      InterleaveGroups<3>(channels, frames, silence, reversed, out);
      break;
    case 4:
      InterleaveGroups<4>(channels, frames, silence, reversed, out);
      break;
  }
  if (dopSample_ < 0) return;
  // A channel without a host buffer idles in DoP in its frame's phase.
  const std::size_t group = stream_.groupBytes;
  const std::size_t frameBytes = channels.size() * group;
  for (uint32_t frame = 0; frame < frames; ++frame) {
    uint8_t* at = interleaved_.data() + frame * frameBytes;
    const uint32_t phase = DopPhaseAfter(stream_.sampleType, at + dopSample_) ^ 1;
    for (std::size_t c = 0; c < channels.size(); ++c) {
      if (channels[c] == nullptr) WriteDopIdleSample(stream_.sampleType, phase, at + c * group);
    }
  }
}

void AlsaWriter::FillIdle(uint8_t* out, uint32_t frames) {
  const std::size_t channels = stream_.halves[0].size();
  const std::size_t group = stream_.groupBytes;
  if (dopSample_ < 0) {
    std::memset(out, stream_.silence, frames * channels * group);
    return;
  }
  for (uint32_t frame = 0; frame < frames; ++frame, nextDopPhase_ ^= 1) {
    for (std::size_t c = 0; c < channels; ++c, out += group)
      WriteDopIdleSample(stream_.sampleType, nextDopPhase_, out);
  }
}

int AlsaWriter::Write(const uint8_t* data, snd_pcm_uframes_t& offset, bool toTheEnd) {
  const auto frameBytes = static_cast<std::size_t>(snd_pcm_frames_to_bytes(stream_.pcm, 1));
  while (offset < stream_.halfFrames) {
    if (stopping_ && !toTheEnd && Kind() != StopKind::kDrain) return kStopped;
    const snd_pcm_sframes_t written =
        snd_pcm_writei(stream_.pcm, data + offset * frameBytes, stream_.halfFrames - offset);
    if (written > 0) {
      offset += static_cast<snd_pcm_uframes_t>(written);
      if (dopSample_ >= 0)
        nextDopPhase_ = DopPhaseAfter(stream_.sampleType, data + (offset - 1) * frameBytes +
                                                              static_cast<std::size_t>(dopSample_));
    } else if (written == 0 || written == -EAGAIN) {
      const int waited = WaitForRoom();
      if (waited != kWritten) return waited;
    } else if (const int recovered = snd_pcm_recover(stream_.pcm, static_cast<int>(written), 1);
               recovered < 0) {
      return recovered;
    } else if (written == -EPIPE && stream_.callbacks.asioMessage != nullptr) {
      // The device ran dry: the host hears of every time.
      stream_.callbacks.asioMessage(kAsioOverload, 0, nullptr, nullptr);
    }
  }
  return kWritten;
}

int AlsaWriter::WaitForRoom() {
  for (;;) {
    unsigned short events = 0;
    if (const int polled = PollPcm(events); polled != kWritten) return polled;
    if ((events & POLLERR) != 0 && snd_pcm_state(stream_.pcm) == SND_PCM_STATE_DISCONNECTED)
      return -ENODEV;
    // Room, or an error state the next write reports and recovers from.
    if ((events & (POLLOUT | POLLERR)) != 0) return kWritten;
  }
}

int AlsaWriter::PollPcm(unsigned short& events) {
  const int count = snd_pcm_poll_descriptors(stream_.pcm, descriptors_.data(),
                                             static_cast<unsigned>(pcmDescriptors_));
  if (count < 0) return count;
  for (;;) {
    // Once a stop that plays out is asked for, the wake-up descriptor stays
    // signalled: it is left out, and the deadline bounds the wait instead.
    const bool playingOut = PlaysOut();
    int timeout = -1;
    if (playingOut) {
      const int64_t left = drainDeadline_ - AsioNowNanoseconds();
      if (left <= 0) return kStopped;
      timeout = static_cast<int>((left + 999999) / 1000000);
    }
    nfds_t watched = static_cast<nfds_t>(count);
    if (!playingOut) {
      descriptors_[static_cast<std::size_t>(count)] = pollfd{wakeFd_, POLLIN, 0};
      ++watched;
    }
    const int ready = poll(descriptors_.data(), watched, timeout);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return -errno;
    }
    if (ready == 0) continue;  // the deadline, seen above
    if (!playingOut && (descriptors_[static_cast<std::size_t>(count)].revents & POLLIN) != 0) {
      if (Kind() == StopKind::kDrain) continue;  // a drain stop: go on writing
      return kStopped;
    }
    const int error = snd_pcm_poll_descriptors_revents(stream_.pcm, descriptors_.data(),
                                                       static_cast<unsigned>(count), &events);
    return error < 0 ? error : kWritten;
  }
}
