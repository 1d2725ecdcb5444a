#include "sources/Mp3StreamInfo.h"

#include <algorithm>

#include "sources/SmartFileReader.h"

namespace {

constexpr std::uint64_t kSyncSearchBytes = 1u << 20;
constexpr std::uint32_t kSyncCheckBytes = 16u << 10;
constexpr std::uint32_t kXingFetchBytes = 8u << 10;
// iTunSMPB numbers beyond this cannot describe a real file; their sum could wrap.
constexpr std::uint64_t kMaxSmpbValue = std::uint64_t{1} << 48;
constexpr std::uint64_t kDecodedSizeLimit = std::uint64_t{1} << 32;
constexpr std::uint64_t kBytesPerDecodedSample = 2;

// The offset of the first frame that is followed by a second one of the same
// stream, both within the bytes fetched from there; searched byte by byte.
bool FindFirstFrame(CSmartFileReader& reader, std::uint64_t start, std::uint64_t length,
                    std::uint64_t& found, Mp3FrameHeader& header) {
  const std::uint64_t searchBytes = std::min(length, kSyncSearchBytes);
  for (std::uint64_t position = 0; position + 4 <= searchBytes; ++position) {
    const auto head = reader.FetchAt(start + position, 4);
    if (head.size() < 4) return false;
    const Mp3FrameHeader candidate = Mp3FrameHeader::FromBytes(head.data());
    if (!candidate.IsValid()) continue;

    const auto bytes = reader.FetchAt(start + position, kSyncCheckBytes);
    const std::uint32_t frameLength = candidate.FrameLength();
    if (bytes.size() < std::uint64_t{frameLength} + 4) continue;
    const Mp3FrameHeader next = Mp3FrameHeader::FromBytes(bytes.data() + frameLength);
    if (!next.IsValid() || !next.SameStreamAs(candidate)) continue;
    if (std::uint64_t{frameLength} + next.FrameLength() > bytes.size()) continue;
    found = start + position;
    header = candidate;
    return true;
  }
  return false;
}

// Frame count, delay and padding from an iTunSMPB comment that adds up.
bool TakeSmpbCounts(const ITunSmpb& smpb, Mp3StreamInfo& info) {
  const std::uint64_t samplesPerFrame = info.SamplesPerFrame();
  if (!smpb.present || smpb.delay == 0 || smpb.padding == 0 || samplesPerFrame == 0) return false;
  if (smpb.delay >= kMaxSmpbValue || smpb.padding >= kMaxSmpbValue ||
      smpb.sampleCount >= kMaxSmpbValue) {
    return false;
  }
  const std::uint64_t sum = smpb.delay + smpb.padding + smpb.sampleCount;
  if (sum % samplesPerFrame != 0) return false;
  info.totalFrames = sum / samplesPerFrame;
  info.delay = smpb.delay;
  info.padding = smpb.padding;
  return true;
}

}  // namespace

void Mp3StreamInfo::UpdateTotalSamples() {
  const std::uint64_t decoded = totalFrames * SamplesPerFrame();
  const std::uint64_t trimmed = delay + padding;
  totalSamples = decoded > trimmed ? decoded - trimmed : 0;
}

bool AnalyzeMp3Stream(const std::shared_ptr<CSmartFileReader>& reader, Mp3StreamInfo& info) {
  std::uint64_t start = 0;
  std::uint64_t length = reader->Size();

  info.id3v2 = ReadId3v2Tag(*reader);
  if (info.id3v2.present) {
    start = info.id3v2.totalSize;
    length -= info.id3v2.totalSize;
  }
  info.id3v1 = ReadId3v1Tag(*reader, start, length);
  if (info.id3v1.present) length = info.id3v1.offset - start;
  const std::uint64_t audioEnd = start + length;

  if (!FindFirstFrame(*reader, start, length, info.firstFrameOffset, info.firstHeader)) {
    return false;
  }
  start = info.firstFrameOffset;
  length = audioEnd - start;

  const auto first = reader->FetchAt(start, kXingFetchBytes);
  info.lame = ReadLameTag(first.data(), first.size());
  if (info.lame.xingPresent) {
    // The Xing frame describes the stream; it is not part of the audio. Its
    // byte count, which includes the Xing frame itself, can only narrow the
    // region, and only when it is given at all.
    const std::uint64_t xingLength = info.firstHeader.FrameLength();
    if ((info.lame.xingFlags & LameTag::kBytesFlag) && info.lame.byteCount > xingLength) {
      length = std::min<std::uint64_t>(length, info.lame.byteCount);
    }
    length = length > xingLength ? length - xingLength : 0;
    start += xingLength;
  }
  info.audioStart = start;
  info.audioLength = length;
  info.index = CMp3FrameIndex(reader, start, length, info.firstHeader);

  const bool xingFrameCount =
      info.lame.xingPresent && (info.lame.xingFlags & LameTag::kFramesFlag) != 0;
  if (!TakeSmpbCounts(info.id3v2.smpb, info)) {
    if (xingFrameCount) {
      info.totalFrames = info.lame.frameCount;
    } else {
      const std::uint64_t decodedBytesPerFrame = std::uint64_t{info.SamplesPerFrame()} *
                                                 info.firstHeader.Channels() *
                                                 kBytesPerDecodedSample;
      info.index.ExtendToEnd(kDecodedSizeLimit / decodedBytesPerFrame + 1);
      info.totalFrames = info.index.size();
    }
    info.delay = info.lame.xingPresent ? info.lame.encoderDelay : 0;
    info.padding = info.lame.xingPresent ? info.lame.endPadding : 0;
  }
  info.UpdateTotalSamples();

  info.tags = {info.id3v1.title, info.id3v1.album, info.id3v1.artist, 0};
  if (info.id3v2.present) {
    info.tags = {info.id3v2.title, info.id3v2.album, info.id3v2.artist, info.id3v2.trackNumber};
  }
  return true;
}
