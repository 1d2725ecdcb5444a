#include "sources/Mp3FrameIndex.h"

#include "sources/SmartFileReader.h"

CMp3FrameIndex::CMp3FrameIndex(std::shared_ptr<CSmartFileReader> reader, std::uint64_t audioStart,
                               std::uint64_t audioLength, Mp3FrameHeader firstHeader)
    : reader_(std::move(reader)),
      audioStart_(audioStart),
      audioLength_(audioLength),
      firstHeader_(firstHeader) {}

bool CMp3FrameIndex::AddNext() {
  if (ended_ || !reader_) return false;
  const std::uint64_t offset =
      entries_.empty() ? 0 : entries_.back().offset + entries_.back().header.FrameLength();
  ended_ = true;
  if (offset >= audioLength_ || audioLength_ - offset < 4) return false;
  const auto bytes = reader_->FetchAt(audioStart_ + offset, 4);
  if (bytes.size() < 4) return false;
  const Mp3FrameHeader header = Mp3FrameHeader::FromBytes(bytes.data());
  if (!header.IsValid() || !header.SameStreamAs(firstHeader_)) return false;
  if (header.FrameLength() > audioLength_ - offset) return false;
  entries_.push_back({offset, header});
  ended_ = false;
  return true;
}

bool CMp3FrameIndex::ExtendTo(std::uint64_t frame) {
  while (entries_.size() <= frame) {
    if (!AddNext()) return false;
  }
  return true;
}

void CMp3FrameIndex::ExtendToEnd(std::uint64_t maxFrames) {
  while (entries_.size() < maxFrames && AddNext()) {
  }
}
