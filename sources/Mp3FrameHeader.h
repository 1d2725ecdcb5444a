#pragma once

#include <cstdint>

// The four-byte header that starts every MPEG audio frame, read big-endian.
class Mp3FrameHeader {
 public:
  enum Version : int { kReservedVersion = 0, kMpeg1 = 1, kMpeg2 = 2, kMpeg25 = 3 };

  constexpr Mp3FrameHeader() = default;
  constexpr explicit Mp3FrameHeader(std::uint32_t raw) : raw_(raw) {}
  static Mp3FrameHeader FromBytes(const std::uint8_t* bytes);

  std::uint32_t raw() const { return raw_; }

  // Sync, a known version and layer, a bitrate and a sample rate, and an
  // emphasis other than the reserved one. Free-format frames (bitrate index
  // 0) are not valid: their length cannot be known from the header.
  bool IsValid() const;

  Version VersionIndex() const;
  int Layer() const;                 // 1 to 3; 0 reserved
  std::uint32_t Bitrate() const;     // bit/s; 0 for free format and the invalid index
  std::uint32_t SampleRate() const;  // 0 for the invalid index
  bool Padding() const { return (raw_ >> 9) & 1; }
  std::uint32_t Channels() const { return ((raw_ >> 6) & 3) == 3 ? 1 : 2; }
  // A 16-bit CRC follows the header when the protection bit is clear.
  bool HasCrc() const { return ((raw_ >> 16) & 1) == 0; }
  // Bytes of Layer III side information after the header (and its CRC).
  std::uint32_t SideInfoBytes() const;
  std::uint32_t SamplesPerFrame() const;
  // Bytes of the whole frame, header included; 0 for an invalid header.
  std::uint32_t FrameLength() const;

  // True when both frames can belong to one stream decoded to one format:
  // same version, layer and sample rate.
  bool SameStreamAs(const Mp3FrameHeader& other) const;

 private:
  std::uint32_t raw_ = 0;
};
