#include "tools/play/EventText.h"

#include <cstdio>

#include "core/TkText.h"
#include "platform/TextConv.h"
#include "sources/TrackInfo.h"
#include "tools/common/Json.h"

namespace play {
namespace {

std::string RateText(const ItemSound& sound) {
  char text[32];
  if (sound.rate >= 1000000) {
    std::snprintf(text, sizeof text, "%.4g MHz", static_cast<double>(sound.rate) / 1e6);
  } else {
    std::snprintf(text, sizeof text, "%.4g kHz", static_cast<double>(sound.rate) / 1e3);
  }
  return text;
}

}  // namespace

ItemSound SoundOf(const TrackInfo& item) {
  const tk::ItemRate rate = tk::RateOf(item);
  return {rate.hertz, rate.dsd, rate.dsd ? 1u : item.format.wBitsPerSample};
}

std::string ClockText(std::uint32_t seconds) {
  char text[32];
  if (seconds >= 3600) {
    std::snprintf(text, sizeof text, "%u:%02u:%02u", seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
  } else {
    std::snprintf(text, sizeof text, "%u:%02u", seconds / 60, seconds % 60);
  }
  return text;
}

std::string EventLine(const PlayEvent& event, const TrackInfo* item, bool json, bool native) {
  using Kind = PlayEvent::Kind;
  using tools::JsonLine;
  const std::string text = platform::ToUtf8(event.text);
  switch (event.kind) {
    case Kind::kPlaying: {
      const TrackInfo empty;
      const TrackInfo& track = item != nullptr ? *item : empty;
      const ItemSound sound = SoundOf(track);
      const std::string title =
          platform::ToUtf8(track.title.empty() ? track.fileName : track.title);
      const std::string artist = platform::ToUtf8(track.artist);
      if (json) {
        return JsonLine()
            .Add("event", "playing")
            .Add("row", event.row)
            .Add("title", title)
            .Add("artist", artist)
            .Add("path", platform::ToUtf8(track.path))
            .Add("seconds", event.seconds)
            .Add("rate", static_cast<std::int64_t>(sound.rate))
            .Add("kind", sound.dsd ? "DSD" : "PCM")
            .Add("bits", sound.bits)
            .str();
      }
      std::string line = "playing " + std::to_string(event.row + 1) + ". " + title;
      if (!artist.empty()) line += " - " + artist;
      line += " (" + ClockText(event.seconds) + ", " + RateText(sound) + ", ";
      line += sound.dsd ? std::string("DSD ") + (native ? "native" : "DoP")
                        : std::to_string(sound.bits) + "-bit PCM";
      return line + ")";
    }
    case Kind::kTime:
      return json ? JsonLine().Add("event", "time").Add("seconds", event.seconds).str()
                  : "  " + ClockText(event.seconds);
    case Kind::kPaused:
      return json ? JsonLine().Add("event", "paused").str() : "paused";
    case Kind::kResumed:
      return json ? JsonLine().Add("event", "resumed").str() : "resumed";
    case Kind::kLoading:
      return json ? JsonLine().Add("event", "loading").Add("percent", event.percent).str()
                  : "loading " + std::to_string(event.percent) + " %";
    case Kind::kStopped:
      return json ? JsonLine().Add("event", "stopped").str() : "stopped";
    case Kind::kSkipped:
      return json ? JsonLine().Add("event", "skipped").Add("text", text).str() : "skipped " + text;
    case Kind::kError:
      return json ? JsonLine().Add("event", "error").Add("text", text).str() : "error: " + text;
    case Kind::kPlayRequest:
    case Kind::kPlaylistChanged:
      break;
  }
  return {};
}

}  // namespace play
