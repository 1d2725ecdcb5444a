#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "drivers/alsa/AlsaPcm.h"

// The PCMs of this process, kept open for a while after a driver lets one
// go. The host makes a new driver object for every open of the device, and
// closing the PCM between two tracks costs what a user hears: the USB
// interface falls back to zero bandwidth, relay DACs click, DACs that mute
// after a stream starts lose the first beat, and a desktop sound server may
// take the card in the gap. A PCM taken back within its grace period comes
// with its hardware parameters still set. One thread, owned by the cache,
// closes what is not taken back in time; the rest closes with the cache
// (the library's unload, at the latest at the program's end).
class AlsaPcmCache {
 public:
  static AlsaPcmCache& Instance();
  ~AlsaPcmCache();
  AlsaPcmCache(const AlsaPcmCache&) = delete;
  AlsaPcmCache& operator=(const AlsaPcmCache&) = delete;

  // The PCM called `name`: the one kept open, or a new open; the negative
  // errno of the open on failure.
  int Acquire(const std::string& name, std::unique_ptr<AlsaPcm>& pcm);
  // Keeps `pcm` open for `grace` (closed at once when zero).
  void Release(std::unique_ptr<AlsaPcm> pcm, std::chrono::milliseconds grace);

 private:
  using Clock = std::chrono::steady_clock;
  struct Kept {
    std::unique_ptr<AlsaPcm> pcm;
    Clock::time_point until;
  };

  AlsaPcmCache() = default;
  void CloseExpired();

  std::mutex mutex_;  // a leaf lock: no ALSA call is made under it
  std::condition_variable changed_;
  std::vector<Kept> kept_;
  bool stopping_ = false;
  std::thread closer_;
};
