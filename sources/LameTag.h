#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// What the Xing/Info header of an MP3 stream's first frame and its LAME
// extension say about the stream.
struct LameTag {
  bool xingPresent = false;
  std::uint32_t xingFlags = 0;
  std::uint32_t frameCount = 0;  // audio frames, the Xing frame not counted
  std::uint32_t byteCount = 0;   // stream bytes, the Xing frame counted
  std::array<std::uint8_t, 100> toc{};
  std::uint32_t quality = 0;
  std::array<char, 9> encoderVersion{};
  std::uint8_t revision = 0;
  std::uint8_t vbrMethod = 0;
  std::uint8_t lowPass = 0;
  float peak = 0;
  std::uint16_t radioGain = 0;
  std::uint16_t audiophileGain = 0;
  std::uint8_t encodingFlags = 0;
  std::uint8_t athType = 0;
  std::uint8_t bitrate = 0;
  std::uint16_t encoderDelay = 0;  // 12 bits
  std::uint16_t endPadding = 0;    // 12 bits
  std::uint8_t misc = 0;
  std::uint8_t mp3Gain = 0;
  std::uint16_t presetAndSurround = 0;
  std::uint32_t musicLength = 0;
  std::uint16_t musicCrc = 0;
  std::uint16_t tagCrc = 0;
  std::uint16_t computedTagCrc = 0;

  static constexpr std::uint32_t kFramesFlag = 1;
  static constexpr std::uint32_t kBytesFlag = 2;
  static constexpr std::uint32_t kTocFlag = 4;
  static constexpr std::uint32_t kQualityFlag = 8;
};

// Reads the Xing/Info header and the LAME extension of the frame at `frame`
// (`available` bytes there). The check passes, and xingPresent is set, only
// when the frame holds both and the LAME tag's CRC matches; MPEG-2.5 frames
// never carry one. Never reads outside the frame or the bytes given.
LameTag ReadLameTag(const std::uint8_t* frame, std::size_t available);

// CRC-16/ARC (reflected polynomial 0xA001, initial value 0), the LAME tag's
// checksum.
std::uint16_t Crc16Arc(const std::uint8_t* bytes, std::size_t size);
