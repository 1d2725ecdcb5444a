#pragma once

#include <cstdint>
#include <deque>
#include <initializer_list>
#include <mutex>
#include <optional>

#include "platform/ThreadMessageQueue.h"

// The playback thread's private list of commands waiting to be handled. A
// burst of commands collects here, and a newer command drops the older ones
// it makes pointless (a newer seek drops an older seek; next drops a queued
// play, seek, stop or pause; stop and quit drop every transport command).
// Settings (shuffle, repeat, output changed) are never dropped: a stop does
// not undo a setting the user made before it.
class CThrAudioPlayMessageFilter {
 public:
  // Quit, play, seek, stop, previous and next: after one of these the
  // thread pauses so that a burst collects.
  static bool IsControl(std::uint32_t id);
  // Whether the newer command `newer` makes the older `older` pointless.
  static bool Supersedes(std::uint32_t newer, std::uint32_t older);

  // Moves every message waiting in `queue` to the end of the list.
  void Collect(platform::ThreadMessageQueue& queue);
  void Append(const platform::ThreadMessage& message);
  bool Empty() const;
  // Drops the records superseded by newer control messages, walking back
  // from the newest to the first record already dropped; then removes the
  // dropped records at the front.
  void Coalesce();
  // The front record, removed from the list (dropped ones behind it are
  // removed when they reach the front).
  std::optional<platform::ThreadMessage> TakeFront();
  // The first live record with one of the ids, removed from the list.
  std::optional<platform::ThreadMessage> TakeFirstOf(std::initializer_list<std::uint32_t> ids);

 private:
  struct Record {
    platform::ThreadMessage message;
    bool dropped = false;
  };
  void RemoveDroppedFront();

  mutable std::mutex lock_;
  std::deque<Record> records_;
};
