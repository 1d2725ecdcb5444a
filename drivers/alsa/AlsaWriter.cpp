#include "drivers/alsa/AlsaWriter.h"

#include <pthread.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "drivers/AsioDriverBase.h"
#include "drivers/alsa/RealtimePriority.h"

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
// and frame; a null channel plays `silence`.
template <uint32_t G>
void InterleaveGroups(const std::vector<const uint8_t*>& channels, uint32_t frames, uint8_t silence,
                      uint8_t* out) {
  uint8_t silent[G];
  std::memset(silent, silence, G);
  for (uint32_t frame = 0; frame < frames; ++frame) {
    for (const uint8_t* channel : channels) {
      std::memcpy(out, channel != nullptr ? channel + static_cast<std::size_t>(frame) * G : silent,
                  G);
      out += G;
    }
  }
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
  interleaved_.assign(
      static_cast<std::size_t>(stream_.halfFrames) * stream_.halves[0].size() * stream_.groupBytes,
      stream_.silence);
  pcmDescriptors_ = count;
  descriptors_.assign(static_cast<std::size_t>(count) + 1, pollfd{});
  uint64_t signalled = 0;
  if (read(wakeFd_, &signalled, sizeof signalled) < 0) {
    // Not signalled since the last run.
  }
  {
    std::lock_guard lock(positionMutex_);
    samples_ = 0;
    time_ = CAsioDriverBase::NowNanoseconds();
  }
  stopping_ = false;
  draining_ = false;
  thread_ = std::thread(&AlsaWriter::Run, this);
  return true;
}

bool AlsaWriter::Stop(bool drain) {
  if (drain && thread_.joinable() && !stopping_) {
    // Everything the device holds, the half given and the idle half play
    // within this.
    const double seconds =
        stream_.alsaRate > 0
            ? static_cast<double>(stream_.bufferFrames + 2 * stream_.halfFrames) / stream_.alsaRate
            : 0.0;
    drainDeadline_ = CAsioDriverBase::NowNanoseconds() + static_cast<int64_t>(seconds * 1e9) +
                     std::chrono::nanoseconds(kDrainMargin).count();
    draining_ = true;  // before stopping_: the writer sees both or neither
  }
  stopping_ = true;
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
  samples = samples_;
  time = time_;
}

void AlsaWriter::DeviceFailed() {
  // The device is gone; a driver that reset itself answers the next start
  // with "not present", and the host reopens it.
  gone_ = true;
  if (stream_.callbacks.asioMessage != nullptr)
    stream_.callbacks.asioMessage(kAsioResetRequest, 0, nullptr, nullptr);
}

void AlsaWriter::Run() {
  RaiseWriterThreadToRealtime(kRealtimePriority);
  const int64_t samplesPerHalf = static_cast<int64_t>(stream_.halfFrames) * stream_.samplesPerFrame;
  int half = 0;
  int result = kWritten;
  for (;;) {
    Interleave(half);
    result = WriteHalf();
    if (result == kStopped) break;
    if (result < 0) {
      DeviceFailed();
      return;
    }
    int64_t position;
    {
      std::lock_guard lock(positionMutex_);
      samples_ += samplesPerHalf;
      time_ = CAsioDriverBase::NowNanoseconds();
      position = samples_;
    }
    if (stopping_) break;
    half = 1 - half;
    SwitchTo(half, position);
  }
  if (!Draining()) return;  // a plain stop: the driver drops
  if (result == kWritten) Drain();
  snd_pcm_drop(stream_.pcm);
  // The next run wakes a period at a time again.
  SetAvailMin(stream_.pcm, stream_.periodFrames);
}

void AlsaWriter::Drain() {
  snd_pcm_t* pcm = stream_.pcm;
  std::fill(interleaved_.begin(), interleaved_.end(), stream_.silence);
  const int result = WriteHalf();
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

void AlsaWriter::SwitchTo(int half, int64_t position) {
  if (!stream_.timeInfo) {
    stream_.callbacks.bufferSwitch(half, kAsioTrue);
    return;
  }
  AsioTime time{};
  time.timeInfo.samplePosition = position;
  time.timeInfo.systemTime = CAsioDriverBase::NowNanoseconds();
  time.timeInfo.sampleRate = stream_.sampleRate;
  time.timeInfo.flags = kAsioSystemTimeValid | kAsioSamplePositionValid | kAsioSampleRateValid;
  stream_.callbacks.bufferSwitchTimeInfo(&time, half, kAsioTrue);
}

void AlsaWriter::Interleave(int half) {
  const auto& channels = stream_.halves[half];
  uint8_t* out = interleaved_.data();
  switch (stream_.groupBytes) {
    case 1:
      return InterleaveGroups<1>(channels, stream_.halfFrames, stream_.silence, out);
    case 2:
      return InterleaveGroups<2>(channels, stream_.halfFrames, stream_.silence, out);
    case 3:
      return InterleaveGroups<3>(channels, stream_.halfFrames, stream_.silence, out);
    case 4:
      return InterleaveGroups<4>(channels, stream_.halfFrames, stream_.silence, out);
  }
}

int AlsaWriter::WriteHalf() {
  const uint8_t* data = interleaved_.data();
  snd_pcm_uframes_t left = stream_.halfFrames;
  while (left > 0) {
    if (stopping_ && !Draining()) return kStopped;
    const snd_pcm_sframes_t written = snd_pcm_writei(stream_.pcm, data, left);
    if (written > 0) {
      data += snd_pcm_frames_to_bytes(stream_.pcm, written);
      left -= static_cast<snd_pcm_uframes_t>(written);
    } else if (written == 0 || written == -EAGAIN) {
      const int waited = WaitForRoom();
      if (waited != kWritten) return waited;
    } else if (const int recovered = snd_pcm_recover(stream_.pcm, static_cast<int>(written), 1);
               recovered < 0) {
      return recovered;
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
    // Once a drain stop is asked for, the wake-up descriptor stays signalled:
    // it is left out, and the drain's deadline bounds the wait instead.
    const bool draining = Draining();
    int timeout = -1;
    if (draining) {
      const int64_t left = drainDeadline_ - CAsioDriverBase::NowNanoseconds();
      if (left <= 0) return kStopped;
      timeout = static_cast<int>((left + 999999) / 1000000);
    }
    nfds_t watched = static_cast<nfds_t>(count);
    if (!draining) {
      descriptors_[static_cast<std::size_t>(count)] = pollfd{wakeFd_, POLLIN, 0};
      ++watched;
    }
    const int ready = poll(descriptors_.data(), watched, timeout);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return -errno;
    }
    if (ready == 0) continue;  // the deadline, seen above
    if (!draining && (descriptors_[static_cast<std::size_t>(count)].revents & POLLIN) != 0) {
      if (Draining()) continue;  // a drain stop: go on writing
      return kStopped;
    }
    const int error = snd_pcm_poll_descriptors_revents(stream_.pcm, descriptors_.data(),
                                                       static_cast<unsigned>(count), &events);
    return error < 0 ? error : kWritten;
  }
}
