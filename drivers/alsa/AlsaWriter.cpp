#include "drivers/alsa/AlsaWriter.h"

#include <pthread.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "drivers/AsioDriverBase.h"

namespace {

constexpr int kRealtimePriority = 70;

// SCHED_FIFO where the user may have it (root, CAP_SYS_NICE or an RTPRIO
// limit), at the limit when that is lower; otherwise the thread stays normal.
void RaiseToRealtime() {
  sched_param param{};
  param.sched_priority = kRealtimePriority;
  if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0) return;
  rlimit limit{};
  if (getrlimit(RLIMIT_RTPRIO, &limit) == 0 && limit.rlim_cur > 0) {
    param.sched_priority = static_cast<int>(std::min<rlim_t>(limit.rlim_cur, kRealtimePriority));
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
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
  thread_ = std::thread(&AlsaWriter::Run, this);
  return true;
}

void AlsaWriter::Stop() {
  stopping_ = true;
  const uint64_t one = 1;
  if (wakeFd_ >= 0 && write(wakeFd_, &one, sizeof one) < 0) {
    // The counter is already signalled; nothing more to do.
  }
  Join();
}

void AlsaWriter::Join() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void AlsaWriter::Position(int64_t& samples, int64_t& time) const {
  std::lock_guard lock(positionMutex_);
  samples = samples_;
  time = time_;
}

void AlsaWriter::Run() {
  RaiseToRealtime();
  const int64_t samplesPerHalf = static_cast<int64_t>(stream_.halfFrames) * stream_.samplesPerFrame;
  int half = 0;
  for (;;) {
    Interleave(half);
    const int result = WriteHalf();
    if (result == kStopped) return;
    if (result < 0) {
      // The device is gone; a driver that reset itself answers the next
      // start with "not present", and the host reopens it.
      gone_ = true;
      if (stream_.callbacks.asioMessage != nullptr)
        stream_.callbacks.asioMessage(kAsioResetRequest, 0, nullptr, nullptr);
      return;
    }
    int64_t position;
    {
      std::lock_guard lock(positionMutex_);
      samples_ += samplesPerHalf;
      time_ = CAsioDriverBase::NowNanoseconds();
      position = samples_;
    }
    if (stopping_) return;
    half = 1 - half;
    SwitchTo(half, position);
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
    if (stopping_) return kStopped;
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
  const int count = snd_pcm_poll_descriptors(stream_.pcm, descriptors_.data(),
                                             static_cast<unsigned>(pcmDescriptors_));
  if (count < 0) return count;
  pollfd& wake = descriptors_[static_cast<std::size_t>(count)];
  wake = pollfd{wakeFd_, POLLIN, 0};
  for (;;) {
    if (poll(descriptors_.data(), static_cast<nfds_t>(count) + 1, -1) < 0) {
      if (errno == EINTR) continue;
      return -errno;
    }
    if ((wake.revents & POLLIN) != 0) return kStopped;
    unsigned short events = 0;
    const int error = snd_pcm_poll_descriptors_revents(stream_.pcm, descriptors_.data(),
                                                       static_cast<unsigned>(count), &events);
    if (error < 0) return error;
    if ((events & POLLERR) != 0 && snd_pcm_state(stream_.pcm) == SND_PCM_STATE_DISCONNECTED)
      return -ENODEV;
    // Room, or an error state the next write reports and recovers from.
    if ((events & (POLLOUT | POLLERR)) != 0) return kWritten;
  }
}
