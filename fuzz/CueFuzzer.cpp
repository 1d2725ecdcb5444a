// Cue sheets in each way the source reads them. The first byte of the input
// chooses how the rest is stored: 0 as it is (code page 932, unless it
// brings a byte-order mark of its own), 1 UTF-8 behind its mark, 2 and 3
// UTF-16 little and big endian behind theirs (the rest taken as UTF-8 text).
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzInput.h"
#include "platform/TextConv.h"
#include "sources/MusicDataCue.h"

namespace {

std::string Utf16WithMark(std::string_view utf8, bool bigEndian) {
  std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (const char16_t unit : platform::ToUtf16(platform::FromUtf8(utf8))) {
    const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
    bytes += bigEndian ? high : low;
    bytes += bigEndian ? low : high;
  }
  return bytes;
}

std::string Stored(std::uint8_t how, std::string_view text) {
  switch (how % 4) {
    case 1:
      return "\xEF\xBB\xBF" + std::string(text);
    case 2:
      return Utf16WithMark(text, false);
    case 3:
      return Utf16WithMark(text, true);
    default:
      return std::string(text);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  fuzzing::SharedWavPath();  // the audio the corpus's sheets name
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::wstring path = fuzzing::WriteScratchFile("sheet.cue", Stored(data[0], text));
  CMusicDataCue cue;
  if (cue.Open({.path = path}) != kMusicOk) return 0;
  std::int32_t count = 0;
  if (cue.GetTrackCount(&count) != kMusicOk) fuzzing::Violated("an open sheet has no count");
  for (std::int32_t i = 0; i < count; ++i) {
    TrackInfo info;
    if (cue.GetTrackInfo(i, &info) == kMusicOk && info.end < info.start) {
      fuzzing::Violated("a cue track ends before it starts");
    }
  }
  return 0;
}
