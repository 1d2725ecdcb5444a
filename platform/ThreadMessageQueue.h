#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

namespace platform {

// One posted message: an id and two parameters.
struct ThreadMessage {
  std::uint32_t id = 0;
  std::intptr_t wParam = 0;
  std::intptr_t lParam = 0;
};

inline constexpr std::uint32_t kQuitMessage = 0x0012;

// A thread's message queue: any thread posts, the owning thread takes the
// messages in order. Quit makes Get answer false once the messages posted
// before it have been taken.
class ThreadMessageQueue {
 public:
  void Post(std::uint32_t id, std::intptr_t wParam = 0, std::intptr_t lParam = 0);
  void PostQuit() { Post(kQuitMessage); }

  // Waits for the next message; false for the quit message.
  bool Get(ThreadMessage& message);
  // The next message if there is one, taken off the queue.
  std::optional<ThreadMessage> TryTake();
  // The next message if one arrives within `milliseconds`.
  std::optional<ThreadMessage> WaitFor(std::uint32_t milliseconds);
  // The next message, or nothing once `done()` holds: it is asked before
  // waiting and again on every Wake, so whoever makes it true calls Wake.
  std::optional<ThreadMessage> WaitForMessageOr(const std::function<bool()>& done);
  // Lets the owning thread's WaitForMessageOr look at its condition again.
  void Wake();
  std::size_t Size() const;
  // Waits until the owning thread waits in Get on an empty queue: it has
  // handled everything posted so far. False when `limit` passes first.
  bool WaitUntilIdle(std::chrono::milliseconds limit);

 private:
  mutable std::mutex mutex_;
  std::condition_variable posted_;
  std::condition_variable idle_;
  int waitingInGet_ = 0;
  std::deque<ThreadMessage> messages_;
};

}  // namespace platform
