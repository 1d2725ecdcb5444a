#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/PlayerNotify.h"
#include "platform/ErrorReport.h"
#include "platform/TextConv.h"

namespace playertest {

// The application's error report, recording the texts from any thread.
class RecordingErrors : public IAppErrorManager {
 public:
  void ReportError(const std::wstring& text) override {
    std::lock_guard lock(mutex_);
    texts_.push_back(text);
  }
  std::vector<std::wstring> Texts() {
    std::lock_guard lock(mutex_);
    return texts_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::wstring> texts_;
};

// Stands for the facade and the user interface: records every notification
// and callback in order ("playing 1 user", "stopped", "paused", "resumed",
// "loading 40", "skipped <text>", "request"); time reports go to a list of
// their own. Waits let a test follow the playback thread.
class RecordingPlayer : public IPlayerNotify,
                        public ITkCallback,
                        public std::enable_shared_from_this<RecordingPlayer> {
 public:
  void Notify(NotifyType type, std::int32_t value,
              std::unique_ptr<PlayingRecord> playing) override {
    switch (type) {
      case kNotifyStopped:
        Add("stopped");
        break;
      case kNotifyPlaying:
        ++playingRecords;
        Add("playing " + std::to_string(playing->item) + (playing->userFlag ? " user" : ""));
        break;
      case kNotifyPaused:
        Add("paused");
        break;
      case kNotifyResumed:
        Add("resumed");
        break;
      case kNotifyLoading:
        Add("loading " + std::to_string(value));
        break;
    }
  }
  std::shared_ptr<ITkCallback> Callback() override { return shared_from_this(); }
  bool IsAudioCd() override { return false; }

  void OnPlayRequest() override { Add("request"); }
  void OnStateChanged(std::int32_t, std::intptr_t, std::unique_ptr<PlayingRecord>) override {}
  void OnTimeChanged(std::uint32_t track, std::uint32_t playlist) override {
    {
      std::lock_guard lock(mutex_);
      times_.emplace_back(track, playlist);
    }
    changed_.notify_all();
  }
  void OnPlaylistChanged(std::int32_t) override {}
  void OnTrackSkipped(std::unique_ptr<std::wstring> text, bool) override {
    Add("skipped " + platform::ToUtf8(*text));
  }

  std::vector<std::string> Events() {
    std::lock_guard lock(mutex_);
    return events_;
  }
  // The events without the play requests.
  std::vector<std::string> States() {
    std::vector<std::string> out;
    for (auto& event : Events())
      if (event != "request") out.push_back(event);
    return out;
  }
  std::vector<std::pair<std::uint32_t, std::uint32_t>> Times() {
    std::lock_guard lock(mutex_);
    return times_;
  }
  // Waits until `count` events equal to `event` have been recorded.
  bool WaitFor(const std::string& event, int count = 1,
               std::chrono::seconds timeout = std::chrono::seconds(20)) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(
        lock, timeout, [&] { return std::count(events_.begin(), events_.end(), event) >= count; });
  }

  // Waits for the output to run: its timer reports the time, after the
  // report each play request makes.
  bool WaitForOutput(std::size_t reports = 2) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(20),
                             [&] { return times_.size() >= reports; });
  }

  // Waits for a time report of at least `seconds` into the track.
  bool WaitForSecond(std::uint32_t seconds) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(20), [&] {
      return std::any_of(times_.begin(), times_.end(),
                         [&](const auto& time) { return time.first >= seconds; });
    });
  }

  std::atomic<int> playingRecords{0};

 private:
  void Add(std::string event) {
    {
      std::lock_guard lock(mutex_);
      events_.push_back(std::move(event));
    }
    changed_.notify_all();
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> events_;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> times_;
};

}  // namespace playertest
