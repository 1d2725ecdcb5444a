#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "tests/fixtures/ChildProcess.h"
#include "tests/fixtures/WavWriter.h"

namespace pulsetest {

// parec recording a source (a sink's monitor) in S32LE at a given rate and
// channel count, unconverted, into memory. A reader thread, joined when the
// object goes, drains parec's output and its status lines.
class MonitorCapture {
 public:
  // Returns once parec's stream is recording (or parec failed).
  MonitorCapture(const std::string& source, uint32_t rate, int channels);
  ~MonitorCapture();
  MonitorCapture(const MonitorCapture&) = delete;
  MonitorCapture& operator=(const MonitorCapture&) = delete;

  bool IsRecording() const { return recording_; }
  // Waits until `enough` holds for what is captured, at most `timeout`;
  // returns what was captured by then.
  fixtures::Bytes WaitFor(const std::function<bool(const fixtures::Bytes&)>& enough,
                          std::chrono::milliseconds timeout);

 private:
  void Read(int out, int err);

  std::unique_ptr<ChildProcess> parec_;
  std::thread reader_;
  int wake_[2] = {-1, -1};  // tells the reader to finish
  std::mutex mutex_;
  std::condition_variable changed_;
  fixtures::Bytes data_;
  bool recording_ = false;
  bool ended_ = false;
};

}  // namespace pulsetest
