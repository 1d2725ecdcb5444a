// Playlist files (.ppl): every line the reader accepts opens its audio file,
// as when the player loads its playlist at start-up.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/PlaylistFile.h"
#include "fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::SharedWavPath();  // the audio the corpus's playlists name
  const std::wstring path = fuzzing::WriteScratchFile("input.ppl", data, size);
  std::vector<TrackInfo> items;
  if (!ReadPlaylistFile(path, &items, nullptr)) fuzzing::Violated("a small playlist was refused");
  return 0;
}
