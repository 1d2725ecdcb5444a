#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "core/PlayerNotify.h"
#include "platform/ErrorReport.h"

namespace play {

// One report of the player, as the terminal player hands it on.
struct PlayEvent {
  enum class Kind {
    kPlayRequest,
    kPlaying,
    kTime,
    kPaused,
    kResumed,
    kLoading,
    kStopped,
    kSkipped,
    kError,
    kPlaylistChanged
  };
  Kind kind = Kind::kStopped;
  std::int32_t row = 0;       // kPlaying
  std::uint32_t seconds = 0;  // kPlaying: the item's length; kTime: played seconds
  std::int32_t percent = 0;   // kLoading
  std::wstring text;          // kSkipped, kError
};

// Collects the player's callbacks and error texts from every thread in the
// order they happen, for the terminal player's main thread. Every call only
// queues and wakes: nothing waits for the main thread.
class CPlayEvents : public ITkCallback, public IAppErrorManager {
 public:
  // A pipe whose read end becomes readable whenever an event is queued, so
  // that the main thread can wait for events, keys and signals at once.
  CPlayEvents();
  ~CPlayEvents() override;
  CPlayEvents(const CPlayEvents&) = delete;
  CPlayEvents& operator=(const CPlayEvents&) = delete;

  int WakeFd() const { return wakeRead_; }
  // The oldest queued event; empties the wake pipe once the queue is empty.
  std::optional<PlayEvent> Take();

  // ITkCallback
  void OnPlayRequest() override;
  void OnStateChanged(std::int32_t code, std::intptr_t value,
                      std::unique_ptr<PlayingRecord> playing) override;
  void OnTimeChanged(std::uint32_t trackSeconds, std::uint32_t playlistSeconds) override;
  void OnPlaylistChanged(std::int32_t kind) override;
  void OnTrackSkipped(std::unique_ptr<std::wstring> text, bool clearSelection) override;

  // IAppErrorManager
  void ReportError(const std::wstring& text) override;

 private:
  void Push(PlayEvent event);

  std::mutex mutex_;
  std::deque<PlayEvent> events_;
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
};

}  // namespace play
