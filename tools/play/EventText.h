#pragma once

#include <cstdint>
#include <string>

#include "tools/play/PlayEvents.h"

struct TrackInfo;

namespace play {

// How an item sounds at the device: its rate in Hz (DSD items at their bit
// rate), PCM or DSD, and its bits per sample (1 for DSD).
struct ItemSound {
  std::uint64_t rate = 0;
  bool dsd = false;
  std::uint32_t bits = 0;
};
ItemSound SoundOf(const TrackInfo& item);

// One event as a line without its line feed: a JSON object, or readable
// text. `item` is the playing item for kPlaying (may be null otherwise);
// `native` tells DSD sent natively from DSD over PCM in the text.
std::string EventLine(const PlayEvent& event, const TrackInfo* item, bool json, bool native);

// "m:ss", or "h:mm:ss" from one hour on.
std::string ClockText(std::uint32_t seconds);

}  // namespace play
