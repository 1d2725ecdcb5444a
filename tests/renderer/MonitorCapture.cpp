#include "tests/renderer/MonitorCapture.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace pulsetest {

MonitorCapture::MonitorCapture(const std::string& source, uint32_t rate, int channels) {
  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0 || pipe2(wake_, O_CLOEXEC) != 0) {
    return;
  }
  // -v reports "Stream successfully created." once the recording stream runs.
  parec_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{"parec", "-v", "--raw", "--device=" + source, "--format=s32le",
                               "--rate=" + std::to_string(rate),
                               "--channels=" + std::to_string(channels), "--latency-msec=10"},
      std::vector<std::string>{}, out[1], err[1]);
  close(out[1]);
  close(err[1]);
  reader_ = std::thread(&MonitorCapture::Read, this, out[0], err[0]);
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, std::chrono::seconds(10), [this] { return recording_ || ended_; });
}

MonitorCapture::~MonitorCapture() {
  if (wake_[1] >= 0) {
    const char stop = 1;
    (void)write(wake_[1], &stop, 1);
  }
  if (reader_.joinable()) reader_.join();
  parec_.reset();
  for (int fd : wake_) {
    if (fd >= 0) close(fd);
  }
}

fixtures::Bytes MonitorCapture::WaitFor(const std::function<bool(const fixtures::Bytes&)>& enough,
                                        std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, timeout, [&] { return ended_ || enough(data_); });
  return data_;
}

void MonitorCapture::Read(int out, int err) {
  std::string status;
  pollfd fds[3] = {{out, POLLIN, 0}, {err, POLLIN, 0}, {wake_[0], POLLIN, 0}};
  std::uint8_t buffer[65536];
  while (fds[0].fd >= 0 || fds[1].fd >= 0) {
    if (poll(fds, 3, -1) < 0) continue;
    if (fds[2].revents != 0) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got <= 0) {
        close(fds[i].fd);
        fds[i].fd = -1;  // poll ignores negative descriptors
        continue;
      }
      std::lock_guard lock(mutex_);
      if (i == 0) {
        data_.insert(data_.end(), buffer, buffer + got);
      } else if (!recording_) {
        status.append(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(got));
        recording_ = status.find("Stream successfully created") != std::string::npos;
      }
      changed_.notify_all();
    }
  }
  for (int fd : {fds[0].fd, fds[1].fd}) {
    if (fd >= 0) close(fd);
  }
  std::lock_guard lock(mutex_);
  ended_ = true;
  changed_.notify_all();
}

}  // namespace pulsetest
