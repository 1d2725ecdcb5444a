#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "sources/Mp3FrameHeader.h"

class CSmartFileReader;

// The frames of an MP3 stream in file order, from its first audio frame on:
// each frame's offset from that first frame and its header. Built lazily,
// as far as a seek needs, or whole when nothing else gives the frame count.
// A frame joins only when its header is valid, it belongs to the same stream
// as the first frame and it lies entirely inside the audio region, so a
// frame that lies about its length ends the index instead of leading it
// astray.
class CMp3FrameIndex {
 public:
  struct Entry {
    std::uint64_t offset;
    Mp3FrameHeader header;
  };

  CMp3FrameIndex() = default;
  CMp3FrameIndex(std::shared_ptr<CSmartFileReader> reader, std::uint64_t audioStart,
                 std::uint64_t audioLength, Mp3FrameHeader firstHeader);

  // Extends the index until it holds frame `frame`; false when the stream
  // ends before it.
  bool ExtendTo(std::uint64_t frame);
  // Extends the index over the whole stream, but no further than `maxFrames`.
  void ExtendToEnd(std::uint64_t maxFrames);

  std::uint64_t size() const { return entries_.size(); }
  const Entry& operator[](std::uint64_t frame) const { return entries_[frame]; }

 private:
  bool AddNext();

  std::shared_ptr<CSmartFileReader> reader_;
  std::uint64_t audioStart_ = 0;
  std::uint64_t audioLength_ = 0;
  Mp3FrameHeader firstHeader_;
  std::vector<Entry> entries_;
  bool ended_ = false;
};
