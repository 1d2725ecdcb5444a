// MP3: the stream analysis (ID3v2 and v1 tags, Xing/Info and LAME headers,
// iTunSMPB comments) runs in Open; the input is then decoded to its end
// with gapless playback off and on, and once more after a seek to its middle.
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzInput.h"
#include "sources/MusicDataMP3.h"

namespace {

std::uint64_t ReadToEnd(CMusicData& source) {
  std::uint64_t delivered = 0;
  for (SourceBuffer chunk; ReadChunk(source, chunk) == kMusicOk;)
    delivered += chunk.size();
  return delivered;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::wstring path = fuzzing::WriteScratchFile("input.mp3", data, size);
  for (const bool gapless : {false, true}) {
    CMusicDataMP3 mp3;
    if (mp3.Open({.path = path, .gapless = gapless, .threshold = -45.0}) != kMusicOk) continue;
    TrackInfo info;
    if (mp3.GetTrackInfo(0, &info) != kMusicOk) fuzzing::Violated("an open MP3 has no track");
    if (ReadToEnd(mp3) > info.totalBytes) fuzzing::Violated("MP3 delivered more than its length");
    mp3.SetPlayRange(info.start, info.end, info.length / 2);
    ReadToEnd(mp3);
  }
  return 0;
}
