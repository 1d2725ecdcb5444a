#pragma once

#include <cstdint>
#include <string>

class CSmartFileReader;

// The encoder delay, end padding and audio sample count iTunes writes into
// an "iTunSMPB" comment.
struct ITunSmpb {
  bool present = false;
  std::uint64_t delay = 0;
  std::uint64_t padding = 0;
  std::uint64_t sampleCount = 0;
};

struct Id3v2Tag {
  bool present = false;
  std::uint64_t offset = 0;
  std::uint64_t totalSize = 0;  // tag size + its 10-byte header
  std::wstring artist, album, title;
  std::int32_t trackNumber = 0;
  ITunSmpb smpb;
};

struct Id3v1Tag {
  bool present = false;
  std::uint64_t offset = 0;
  std::uint32_t size = 0;  // 128, or 355 with "TAG+"
  std::wstring title, artist, album;
};

// Reads the ID3v2 tag at the start of the file (versions 2.2, 2.3 and 2.4).
// Frames are fetched one at a time, so a tag larger than the reader's window
// (cover art) is walked whole; every bound is checked in 64 bits and no frame
// is read beyond its own size.
Id3v2Tag ReadId3v2Tag(CSmartFileReader& reader);

// Reads an ID3v1 tag (with "TAG+" when there is one) at the end of the
// region of `length` bytes from `start`.
Id3v1Tag ReadId3v1Tag(CSmartFileReader& reader, std::uint64_t start, std::uint64_t length);

// The leading decimal number of a track-number text ("3/12" gives 3), 0 when
// there is none.
std::int32_t LeadingNumber(const std::wstring& text);
