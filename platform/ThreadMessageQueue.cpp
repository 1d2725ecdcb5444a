#include "platform/ThreadMessageQueue.h"

#include <chrono>

namespace platform {

void ThreadMessageQueue::Post(std::uint32_t id, std::intptr_t wParam, std::intptr_t lParam) {
  {
    std::lock_guard lock(mutex_);
    messages_.push_back({id, wParam, lParam});
  }
  posted_.notify_one();
}

bool ThreadMessageQueue::Get(ThreadMessage& message) {
  std::unique_lock lock(mutex_);
  ++waitingInGet_;
  if (messages_.empty()) idle_.notify_all();
  posted_.wait(lock, [this] { return !messages_.empty(); });
  --waitingInGet_;
  message = messages_.front();
  messages_.pop_front();
  return message.id != kQuitMessage;
}

std::optional<ThreadMessage> ThreadMessageQueue::TryTake() {
  std::lock_guard lock(mutex_);
  if (messages_.empty()) return std::nullopt;
  ThreadMessage message = messages_.front();
  messages_.pop_front();
  return message;
}

std::optional<ThreadMessage> ThreadMessageQueue::WaitFor(std::uint32_t milliseconds) {
  std::unique_lock lock(mutex_);
  if (!posted_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                        [this] { return !messages_.empty(); })) {
    return std::nullopt;
  }
  ThreadMessage message = messages_.front();
  messages_.pop_front();
  return message;
}

std::optional<ThreadMessage> ThreadMessageQueue::WaitForMessageOr(
    const std::function<bool()>& done) {
  std::unique_lock lock(mutex_);
  posted_.wait(lock, [&] { return !messages_.empty() || done(); });
  if (messages_.empty()) return std::nullopt;
  ThreadMessage message = messages_.front();
  messages_.pop_front();
  return message;
}

void ThreadMessageQueue::Wake() {
  std::lock_guard lock(mutex_);
  posted_.notify_all();
}

std::size_t ThreadMessageQueue::Size() const {
  std::lock_guard lock(mutex_);
  return messages_.size();
}

bool ThreadMessageQueue::WaitUntilIdle(std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  return idle_.wait_for(lock, limit, [this] { return waitingInGet_ > 0 && messages_.empty(); });
}

}  // namespace platform
