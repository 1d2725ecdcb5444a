#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// What the player core tells the user interface. The calls come from the
// playback thread, the decoder workers and the output's timer, never only
// from the window thread: implementations post or take their own locks.

// An item that started playing; the receiver of OnStateChanged(1) owns it.
struct PlayingRecord {
  std::uint32_t seconds = 0;  // the item's length in whole seconds
  std::int32_t item = 0;      // its playlist index
  std::int32_t userFlag = 0;  // non-zero: the user started it (clear the selection)
};

// The user interface's callbacks (the player view implements them).
class ITkCallback {
 public:
  virtual ~ITkCallback() = default;
  // A play request is being handled.
  virtual void OnPlayRequest() = 0;
  // Code 0 stopped (value: the audio-CD flag); 1 playing (`playing` set);
  // 2 paused (value 0) or resumed (value 1); 3 RAM-mode loading (value:
  // percent, 1 to 100).
  virtual void OnStateChanged(std::int32_t code, std::intptr_t value,
                              std::unique_ptr<PlayingRecord> playing) = 0;
  // Played seconds of the current item (capped at its length) and of the
  // playlist (the items before the play position plus the first value).
  virtual void OnTimeChanged(std::uint32_t trackSeconds, std::uint32_t playlistSeconds) = 0;
  // 0 same kind as before, 1 now an audio CD, 2 now files.
  virtual void OnPlaylistChanged(std::int32_t kind) = 0;
  // An item was skipped as unplayable: its title, file name or
  // "unknown track"; `clearSelection` when the user asked for it.
  virtual void OnTrackSkipped(std::unique_ptr<std::wstring> text, bool clearSelection) = 0;
  // Unlike the others, called on the window thread, in the middle of long
  // work there (adding files, reading a playlist): `done` of `total` steps,
  // after each step, ending with done == total. The window may repaint here;
  // the playlist and the list agree whenever it is called.
  virtual void OnWorkProgress(std::size_t /*done*/, std::size_t /*total*/) {}
};

// The types of the facade's notification dispatcher.
enum NotifyType : std::int32_t {
  kNotifyStopped = 0,
  kNotifyPlaying = 1,
  kNotifyPaused = 2,
  kNotifyResumed = 3,
  kNotifyLoading = 4,
};

// What the playback thread needs of the facade above it: its notification
// dispatcher (which keeps the player state and the list's row images, then
// calls the callback), the callback itself for the direct reports, and the
// audio-CD flag.
class IPlayerNotify {
 public:
  virtual ~IPlayerNotify() = default;
  // `value`: the loading percentage for kNotifyLoading; `playing` is set for
  // kNotifyPlaying only.
  virtual void Notify(NotifyType type, std::int32_t value,
                      std::unique_ptr<PlayingRecord> playing) = 0;
  // Null when the user interface has not set one.
  virtual std::shared_ptr<ITkCallback> Callback() = 0;
  virtual bool IsAudioCd() = 0;
};
