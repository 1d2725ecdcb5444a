// RIFF/WAVE: the source opens the input, reports its track and delivers the
// whole range chunk by chunk, then a range from the middle in one piece.
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzInput.h"
#include "sources/MusicDataWave.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::wstring path = fuzzing::WriteScratchFile("input.wav", data, size);
  CMusicDataWave wave;
  if (wave.Open({.path = path}) != kMusicOk) return 0;
  std::int32_t count = 0;
  TrackInfo info;
  if (wave.GetTrackCount(&count) != kMusicOk || count != 1 ||
      wave.GetTrackInfo(0, &info) != kMusicOk) {
    fuzzing::Violated("an open WAVE source has no track");
  }
  std::uint64_t delivered = 0;
  for (SourceBuffer chunk; ReadChunk(wave, chunk) == kMusicOk;) {
    delivered += chunk.size();
    if (chunk.size() == 0 || chunk.size() % info.format.nBlockAlign != 0) {
      fuzzing::Violated("a WAVE chunk is empty or cuts a sample frame");
    }
  }
  if (delivered > info.totalBytes) fuzzing::Violated("WAVE delivered more than its data");

  wave.SetPlayRange(info.start, info.end, info.length / 2);
  void* all = nullptr;
  std::uint32_t allSize = 0;
  if (wave.ReadAll(&all, &allSize) == kMusicOk) SourceBuffer(wave, all, allSize).Reset();
  return 0;
}
