#include "output/PositionTimer.h"

#include <chrono>
#include <utility>

namespace output {
namespace {

constexpr std::int32_t kWatchdogStart = 40;    // ticks of 50 ms right after a start
constexpr std::int32_t kWatchdogRunning = 20;  // raised to this by every buffer switch
constexpr auto kTimerPeriod = std::chrono::milliseconds(50);
constexpr auto kTimerMinimumGap = std::chrono::milliseconds(25);

}  // namespace

PositionTimer::PositionTimer(Client client) : client_(std::move(client)) {}

PositionTimer::~PositionTimer() {
  Stop();
}

void PositionTimer::Start() {
  Join();
  watchdog_ = kWatchdogStart;
  lastReportedSeconds_ = -1;
  {
    std::lock_guard lock(mutex_);
    stop_ = false;
  }
  thread_ = std::thread(&PositionTimer::Loop, this);
}

void PositionTimer::Stop() {
  Join();
  watchdog_ = 0;
}

void PositionTimer::Join() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void PositionTimer::Raise() {
  std::int32_t value = watchdog_.load();
  for (int tries = 0; tries < 100 && value < kWatchdogRunning; ++tries) {
    if (watchdog_.compare_exchange_weak(value, kWatchdogRunning)) break;
  }
}

void PositionTimer::Loop() {
  using Clock = std::chrono::steady_clock;
  auto previous = Clock::now();
  auto next = previous;
  for (;;) {
    next += kTimerPeriod;
    {
      std::unique_lock lock(mutex_);
      if (wake_.wait_until(lock, next, [this] { return stop_; })) return;
    }
    const auto now = Clock::now();
    if (now - previous < kTimerMinimumGap) continue;
    previous = now;

    std::int32_t value = watchdog_.load();
    while (value > 0 && !watchdog_.compare_exchange_weak(value, value - 1)) {
    }
    if (value <= 0) continue;  // already fired
    if (value == 1) {          // reached 0: no buffer switch for about a second
      client_.onStall();
      continue;
    }
    const std::int64_t seconds = client_.playedSeconds();
    if (seconds >= 0 && seconds != lastReportedSeconds_) {
      lastReportedSeconds_ = seconds;
      client_.reportPosition();
    }
  }
}

}  // namespace output
