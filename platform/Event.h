#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace platform {

// A signal threads wait on: manual reset stays set until Reset; auto reset
// lets one waiter through and clears itself.
class Event {
 public:
  explicit Event(bool manualReset) : manualReset_(manualReset) {}

  void Set() {
    {
      std::lock_guard lock(mutex_);
      set_ = true;
    }
    if (manualReset_) {
      changed_.notify_all();
    } else {
      changed_.notify_one();
    }
  }
  void Reset() {
    std::lock_guard lock(mutex_);
    set_ = false;
  }
  bool IsSet() const {
    std::lock_guard lock(mutex_);
    return set_;
  }
  // True when the event is (or becomes) set within the time.
  template <typename Rep, typename Period>
  bool WaitFor(std::chrono::duration<Rep, Period> timeout) {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, timeout, [this] { return set_; })) return false;
    if (!manualReset_) set_ = false;
    return true;
  }
  void Wait() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return set_; });
    if (!manualReset_) set_ = false;
  }

 private:
  const bool manualReset_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool set_ = false;
};

}  // namespace platform
