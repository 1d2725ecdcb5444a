#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "sources/WaveFormatEx.h"

// Source type codes, stored with every track and playlist item.
enum SourceType : std::int32_t {
  kSourceTypeCdda = 1,
  kSourceTypeWave = 2,
  kSourceTypeMp3 = 3,
  kSourceTypePlugin = 4,
};

// Everything known about one track; copied by value between the playlist,
// the playback thread and the user interface. Lengths and positions are CD
// frames of 1/75 second.
struct TrackInfo {
  std::wstring path;
  std::wstring fileName;
  std::int32_t type = 0;
  std::wstring formatName;
  std::uint32_t totalBytes = 0;
  std::wstring title;
  std::wstring artist;
  WAVEFORMATEX format{};
  std::uint32_t length = 0;
  std::uint32_t start = 0;
  std::uint32_t end = 0;
  std::int32_t reserved[3] = {0, 0, 0};
  std::wstring album;
  std::int32_t trackNumber = 0;
  std::map<std::wstring, std::wstring> properties;
};

// Copies what a source reports of a track: type, format name, total bytes,
// title, artist, format, length, start and end, and with `withLocation` the
// path and file name too. The other fields of `to` stay as they are.
void CopyReportedFields(const TrackInfo& from, TrackInfo& to, bool withLocation);

// CD frames per second, the time unit of every range and position.
inline constexpr std::uint32_t kFramesPerSecond = 75;
