#include "sources/LameTag.h"

#include <bit>
#include <cstring>

#include "sources/Mp3FrameHeader.h"

namespace {

constexpr std::size_t kLameExtensionBytes = 36;

// Big-endian fields read in order, never past the end of the frame.
class FieldReader {
 public:
  FieldReader(const std::uint8_t* bytes, std::size_t size, std::size_t at)
      : bytes_(bytes), size_(size), at_(at) {}

  bool Has(std::size_t count) const { return at_ <= size_ && count <= size_ - at_; }
  std::size_t Remaining() const { return at_ <= size_ ? size_ - at_ : 0; }

  std::uint32_t Take(std::size_t count) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < count; ++i)
      value = value << 8 | bytes_[at_ + i];
    at_ += count;
    return value;
  }
  void Copy(void* out, std::size_t count) {
    std::memcpy(out, bytes_ + at_, count);
    at_ += count;
  }

 private:
  const std::uint8_t* bytes_;
  std::size_t size_;
  std::size_t at_;
};

}  // namespace

std::uint16_t Crc16Arc(const std::uint8_t* bytes, std::size_t size) {
  std::uint16_t crc = 0;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
  }
  return crc;
}

LameTag ReadLameTag(const std::uint8_t* frame, std::size_t available) {
  LameTag tag;
  if (frame == nullptr || available < 4) return tag;
  const Mp3FrameHeader header = Mp3FrameHeader::FromBytes(frame);
  const std::size_t frameLength = header.FrameLength();
  if (frameLength == 0 || frameLength > available) return tag;
  // MPEG-2.5 streams carry no Xing header.
  if (header.VersionIndex() == Mp3FrameHeader::kMpeg25) return tag;
  const std::size_t sideInfo = header.SideInfoBytes();
  if (frameLength < sideInfo + 160) return tag;

  // The frame's own length bounds every field from here on.
  FieldReader in(frame, frameLength, 4 + sideInfo);
  if (!in.Has(8)) return tag;
  const std::uint32_t magic = in.Take(4);
  if (magic != 0x58696E67u /* Xing */ && magic != 0x496E666Fu /* Info */) return tag;
  tag.xingFlags = in.Take(4);
  if (tag.xingFlags & LameTag::kFramesFlag) {
    if (!in.Has(4)) return tag;
    tag.frameCount = in.Take(4);
  }
  if (tag.xingFlags & LameTag::kBytesFlag) {
    if (!in.Has(4)) return tag;
    tag.byteCount = in.Take(4);
  }
  if (tag.xingFlags & LameTag::kTocFlag) {
    if (!in.Has(tag.toc.size())) return tag;
    in.Copy(tag.toc.data(), tag.toc.size());
  }
  if (tag.xingFlags & LameTag::kQualityFlag) {
    if (!in.Has(4)) return tag;
    tag.quality = in.Take(4);
  }
  // Without the LAME extension there is no checksum to trust the header by.
  if (in.Remaining() <= 8 || !in.Has(kLameExtensionBytes)) return tag;
  in.Copy(tag.encoderVersion.data(), tag.encoderVersion.size());
  const std::uint32_t revisionAndMethod = in.Take(1);
  tag.revision = static_cast<std::uint8_t>(revisionAndMethod >> 4);
  tag.vbrMethod = static_cast<std::uint8_t>(revisionAndMethod & 15);
  tag.lowPass = static_cast<std::uint8_t>(in.Take(1));
  tag.peak = std::bit_cast<float>(in.Take(4));
  tag.radioGain = static_cast<std::uint16_t>(in.Take(2));
  tag.audiophileGain = static_cast<std::uint16_t>(in.Take(2));
  const std::uint32_t flagsAndAth = in.Take(1);
  tag.encodingFlags = static_cast<std::uint8_t>(flagsAndAth >> 4);
  tag.athType = static_cast<std::uint8_t>(flagsAndAth & 15);
  tag.bitrate = static_cast<std::uint8_t>(in.Take(1));
  const std::uint32_t delayAndPadding = in.Take(3);
  tag.encoderDelay = static_cast<std::uint16_t>(delayAndPadding >> 12);
  tag.endPadding = static_cast<std::uint16_t>(delayAndPadding & 0xFFF);
  tag.misc = static_cast<std::uint8_t>(in.Take(1));
  tag.mp3Gain = static_cast<std::uint8_t>(in.Take(1));
  tag.presetAndSurround = static_cast<std::uint16_t>(in.Take(2));
  tag.musicLength = in.Take(4);
  tag.musicCrc = static_cast<std::uint16_t>(in.Take(2));
  tag.tagCrc = static_cast<std::uint16_t>(in.Take(2));

  tag.computedTagCrc = Crc16Arc(frame, sideInfo + 158);
  tag.xingPresent = tag.computedTagCrc == tag.tagCrc;
  return tag;
}
