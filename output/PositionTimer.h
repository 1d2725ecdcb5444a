#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace output {

// The engine's 50 ms timer thread: a watchdog the buffer switch raises and
// every tick lowers, which reports a stalled driver once when it runs out
// (no buffer switch for about a second), and a position report for every
// new whole second played. The object owns the thread: Start runs it, Stop
// (or destruction) ends and joins it. Start and Stop are for the playback
// thread; Raise is for the buffer switch and takes no lock.
class PositionTimer {
 public:
  struct Client {
    // The watchdog ran out.
    std::function<void()> onStall;
    // The whole seconds played; -1 when no rate is known.
    std::function<std::int64_t()> playedSeconds;
    // Reports the position (a new whole second was played).
    std::function<void()> reportPosition;
  };

  explicit PositionTimer(Client client);
  ~PositionTimer();
  PositionTimer(const PositionTimer&) = delete;
  PositionTimer& operator=(const PositionTimer&) = delete;

  // (Re)starts the thread with the watchdog at its start value.
  void Start();
  // Ends and joins the thread and disarms the watchdog.
  void Stop();
  // Raises the watchdog to its running value: a buffer switch came.
  void Raise();

 private:
  void Join();
  void Loop();

  const Client client_;
  std::atomic<std::int32_t> watchdog_{0};
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::int64_t lastReportedSeconds_ = -1;
};

}  // namespace output
