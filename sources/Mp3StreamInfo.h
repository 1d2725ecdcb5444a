#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "sources/LameTag.h"
#include "sources/Mp3FrameHeader.h"
#include "sources/Mp3FrameIndex.h"
#include "sources/Mp3Tags.h"

class CSmartFileReader;

// Title, album, artist and track number as the track shows them.
struct Mp3TagTexts {
  std::wstring title, album, artist;
  std::int32_t trackNumber = 0;
};

// Where the audio of an MP3 file lies, what its tags say, and the numbers
// gapless playback needs: total frames, encoder delay, end padding.
struct Mp3StreamInfo {
  std::wstring path;
  // The audio region: behind the ID3v2 tag and before the ID3v1 tag at
  // first, then narrowed to the audio frames (the Xing frame excluded).
  std::uint64_t audioStart = 0;
  std::uint64_t audioLength = 0;
  Id3v1Tag id3v1;
  Id3v2Tag id3v2;
  LameTag lame;
  Mp3TagTexts tags;
  Mp3FrameHeader firstHeader;  // of the first frame found, the Xing frame if any
  std::uint64_t firstFrameOffset = 0;
  CMp3FrameIndex index;  // from the first audio frame (audioStart) on
  std::uint64_t totalFrames = 0;
  std::uint64_t delay = 0;
  std::uint64_t padding = 0;
  std::uint64_t totalSamples = 0;

  std::uint32_t SamplesPerFrame() const { return firstHeader.SamplesPerFrame(); }
  // Frames * samples per frame - delay - padding, never below 0.
  void UpdateTotalSamples();
};

// Analyses the MP3 file open in `reader`: tags, first frame, Xing/LAME or
// iTunSMPB data, frame count. False when no first frame is found within
// the first MiB of audio. Frames are counted by scanning only when neither
// the Xing header nor an iTunSMPB comment gives their number; a scan stops
// once the decoded 16-bit size reaches 4 GiB, more than any source plays.
bool AnalyzeMp3Stream(const std::shared_ptr<CSmartFileReader>& reader, Mp3StreamInfo& info);
