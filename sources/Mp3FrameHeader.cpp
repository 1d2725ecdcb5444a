#include "sources/Mp3FrameHeader.h"

namespace {

// kbit/s by [MPEG-1 or not][layer - 1][index]; index 0 (free format) and 15
// (invalid) are 0.
constexpr std::uint16_t kBitrates[2][3][16] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}},
};

constexpr std::uint32_t kMpeg1Rates[3] = {44100, 48000, 32000};

}  // namespace

Mp3FrameHeader Mp3FrameHeader::FromBytes(const std::uint8_t* bytes) {
  return Mp3FrameHeader(static_cast<std::uint32_t>(bytes[0]) << 24 |
                        static_cast<std::uint32_t>(bytes[1]) << 16 |
                        static_cast<std::uint32_t>(bytes[2]) << 8 | bytes[3]);
}

Mp3FrameHeader::Version Mp3FrameHeader::VersionIndex() const {
  switch ((raw_ >> 19) & 3) {
    case 3:
      return kMpeg1;
    case 2:
      return kMpeg2;
    case 0:
      return kMpeg25;
    default:
      return kReservedVersion;
  }
}

int Mp3FrameHeader::Layer() const {
  const int field = (raw_ >> 17) & 3;
  return field == 0 ? 0 : 4 - field;
}

std::uint32_t Mp3FrameHeader::Bitrate() const {
  const Version version = VersionIndex();
  const int layer = Layer();
  if (version == kReservedVersion || layer == 0) return 0;
  return kBitrates[version == kMpeg1 ? 0 : 1][layer - 1][(raw_ >> 12) & 15] * 1000u;
}

std::uint32_t Mp3FrameHeader::SampleRate() const {
  const std::uint32_t index = (raw_ >> 10) & 3;
  const Version version = VersionIndex();
  if (index == 3 || version == kReservedVersion) return 0;
  return kMpeg1Rates[index] >> (version - 1);
}

bool Mp3FrameHeader::IsValid() const {
  return raw_ >= 0xFFE00000u && VersionIndex() != kReservedVersion && Layer() != 0 &&
         Bitrate() > 0 && SampleRate() > 0 && (raw_ & 3) != 2;
}

std::uint32_t Mp3FrameHeader::SamplesPerFrame() const {
  switch (Layer()) {
    case 1:
      return 384;
    case 2:
      return 1152;
    case 3:
      return VersionIndex() == kMpeg1 ? 1152 : 576;
    default:
      return 0;
  }
}

std::uint32_t Mp3FrameHeader::SideInfoBytes() const {
  const bool mono = Channels() == 1;
  if (VersionIndex() == kMpeg1) return mono ? 17 : 32;
  return mono ? 9 : 17;
}

std::uint32_t Mp3FrameHeader::FrameLength() const {
  if (!IsValid()) return 0;
  const std::uint32_t slot = Layer() == 1 ? 4 : 1;
  const std::uint32_t padding = Padding() ? 1 : 0;
  return slot * (padding + (SamplesPerFrame() / slot) * (Bitrate() / 8) / SampleRate());
}

bool Mp3FrameHeader::SameStreamAs(const Mp3FrameHeader& other) const {
  return VersionIndex() == other.VersionIndex() && Layer() == other.Layer() &&
         SampleRate() == other.SampleRate();
}
