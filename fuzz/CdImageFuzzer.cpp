// Audio CDs over disc images read by libcdio: the input is a sheet and the
// image's data, split at the first zero byte. Its first byte chooses the
// sheet's kind (even: a .cue sheet, odd: a cdrdao .toc file); both name the
// data file "image.bin". The CD source lists the tracks from the table of
// contents and reads every track to its end.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>

#include "fuzz/FuzzInput.h"
#include "sources/MusicDataCDDA.h"

namespace {

// Reads per track: a second each, enough for every image of the size limit.
constexpr int kMaxReadsPerTrack = 8;

// libcdio finds the data a .toc file names from the working folder, so each
// input runs in the scratch folder; the folder the fuzzer was started in,
// where its inputs and findings are named from, is restored afterwards.
class InScratchFolder {
 public:
  InScratchFolder() { std::filesystem::current_path(fuzzing::ScratchFolder()); }
  ~InScratchFolder() { std::filesystem::current_path(started_); }
  InScratchFolder(const InScratchFolder&) = delete;
  InScratchFolder& operator=(const InScratchFolder&) = delete;

 private:
  const std::filesystem::path started_ = std::filesystem::current_path();
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::size_t split = std::min(input.find('\0'), input.size());
  fuzzing::WriteScratchFile("image.bin", input.substr(std::min(split + 1, input.size())));
  const std::wstring sheet = fuzzing::WriteScratchFile(data[0] % 2 == 0 ? "image.cue" : "image.toc",
                                                       input.substr(0, split));

  const InScratchFolder inScratch;
  CMusicDataCDDA cd;
  if (cd.Open({.path = sheet}) != kMusicOk) return 0;
  std::int32_t count = 0;
  if (cd.GetTrackCount(&count) != kMusicOk) return 0;
  for (std::int32_t i = 0; i < count; ++i) {
    TrackInfo info;
    if (cd.GetTrackInfo(i, &info) != kMusicOk) fuzzing::Violated("a listed CD track has no record");
    cd.SetPlayRange(info.start, info.end, 0);
    SourceBuffer chunk;
    int reads = 0;
    while (reads++ < kMaxReadsPerTrack && ReadChunk(cd, chunk) == kMusicOk)
      chunk.Reset();
  }
  return 0;
}
