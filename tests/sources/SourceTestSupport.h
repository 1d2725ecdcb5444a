#pragma once

#include <string>
#include <vector>

#include "platform/TextConv.h"
#include "sources/MusicData.h"
#include "sources/MusicDataWave.h"

namespace sourcetest {

// Every chunk Read delivers from the current position, with each chunk's size.
struct Delivery {
  std::vector<std::uint8_t> bytes;
  std::vector<std::uint32_t> chunkSizes;
  std::int32_t endCode = 0;
};

inline Delivery ReadToEnd(CMusicData& source) {
  Delivery result;
  for (;;) {
    SourceBuffer chunk;
    result.endCode = ReadChunk(source, chunk);
    if (result.endCode != kMusicOk || chunk.data() == nullptr) break;
    result.bytes.insert(result.bytes.end(), chunk.data(), chunk.data() + chunk.size());
    result.chunkSizes.push_back(chunk.size());
  }
  return result;
}

inline std::int32_t OpenWave(CMusicDataWave& source, const std::string& path) {
  return source.Open({platform::FromUtf8(path), false, -96.0});
}

inline TrackInfo InfoOf(CMusicDataWave& source) {
  TrackInfo info;
  source.GetTrackInfo(0, &info);
  return info;
}

}  // namespace sourcetest
