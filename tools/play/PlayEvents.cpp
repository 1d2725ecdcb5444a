#include "tools/play/PlayEvents.h"

#include <fcntl.h>
#include <unistd.h>

namespace play {

CPlayEvents::CPlayEvents() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
    wakeRead_ = fds[0];
    wakeWrite_ = fds[1];
  }
}

CPlayEvents::~CPlayEvents() {
  if (wakeRead_ >= 0) close(wakeRead_);
  if (wakeWrite_ >= 0) close(wakeWrite_);
}

void CPlayEvents::Push(PlayEvent event) {
  std::lock_guard lock(mutex_);
  events_.push_back(std::move(event));
  const char byte = 1;
  // A full pipe already wakes the reader.
  [[maybe_unused]] const auto written = write(wakeWrite_, &byte, 1);
}

std::optional<PlayEvent> CPlayEvents::Take() {
  std::lock_guard lock(mutex_);
  if (events_.empty()) {
    char buffer[256];
    while (read(wakeRead_, buffer, sizeof buffer) > 0) {
    }
    return std::nullopt;
  }
  PlayEvent event = std::move(events_.front());
  events_.pop_front();
  return event;
}

void CPlayEvents::OnPlayRequest() {
  Push({.kind = PlayEvent::Kind::kPlayRequest});
}

void CPlayEvents::OnStateChanged(std::int32_t code, std::intptr_t value,
                                 std::unique_ptr<PlayingRecord> playing) {
  switch (code) {
    case 0:
      Push({.kind = PlayEvent::Kind::kStopped});
      break;
    case 1:
      if (playing) {
        Push(
            {.kind = PlayEvent::Kind::kPlaying, .row = playing->item, .seconds = playing->seconds});
      }
      break;
    case 2:
      Push({.kind = value == 0 ? PlayEvent::Kind::kPaused : PlayEvent::Kind::kResumed});
      break;
    case 3:
      Push({.kind = PlayEvent::Kind::kLoading, .percent = static_cast<std::int32_t>(value)});
      break;
    default:
      break;
  }
}

void CPlayEvents::OnTimeChanged(std::uint32_t trackSeconds, std::uint32_t) {
  Push({.kind = PlayEvent::Kind::kTime, .seconds = trackSeconds});
}

void CPlayEvents::OnPlaylistChanged(std::int32_t) {
  Push({.kind = PlayEvent::Kind::kPlaylistChanged});
}

void CPlayEvents::OnTrackSkipped(std::unique_ptr<std::wstring> text, bool) {
  Push({.kind = PlayEvent::Kind::kSkipped, .text = text ? *text : L""});
}

void CPlayEvents::ReportError(const std::wstring& text) {
  Push({.kind = PlayEvent::Kind::kError, .text = text});
}

}  // namespace play
