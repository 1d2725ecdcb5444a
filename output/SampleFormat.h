#pragma once

#include <cstdint>

// The format code every decoded block carries, and the block description in
// which blocks travel from the decoders through the queue to the output.
// The decoders (core) write the codes and the output reads them, so both
// sides share this header.

namespace output {

// Bits 28-31: bytes per sample; low two bits: the class (1 PCM, 2 DSD).
enum SampleFormatCode : std::uint32_t {
  kFormatNone = 0,              // not playable
  kFormatPcm8 = 0x11000101,     // never played: the output refuses 15 bits or fewer
  kFormatPcm16 = 0x22010101,    // signed, little-endian
  kFormatPcm24 = 0x33010101,    // signed, little-endian, packed in 3 bytes
  kFormatPcm32 = 0x44010101,    // signed, little-endian
  kFormatFloat32 = 0x44010301,  // IEEE single
  kFormatFloat64 = 0x88010301,  // IEEE double
  // Per channel a 32-bit word of four DSD bytes in time order, the earliest
  // bit in the most significant bit of each byte.
  kFormatDsd = 0x44020202,
};

constexpr std::uint32_t BytesPerSampleOf(std::uint32_t code) {
  return code >> 28;
}
constexpr bool IsDsdFormat(std::uint32_t code) {
  return (code & 3) == 2;
}

// One block of decoded audio. On the way in, `data` points at the producer's
// bytes; on the way out, into the consumer's buffer. Null data (size 0) is
// the empty block that ends a slot's track.
struct BlockDescription {
  const void* data = nullptr;
  std::uint32_t size = 0;  // bytes
  std::uint32_t formatCode = kFormatNone;
  std::uint32_t channels = 0;
  std::uint32_t sampleRate = 0;  // Hz
  std::uint32_t slot = 0;        // the decoding slot (0 or 1) that produced it
};

// Whole frames in a block. A block without a usable format (code 0, a zero
// sample width or no channels) has none, rather than dividing by zero.
constexpr std::uint32_t FrameCountOf(const BlockDescription& block) {
  const std::uint64_t frameBytes =
      std::uint64_t{block.channels} * BytesPerSampleOf(block.formatCode);
  if (block.data == nullptr || frameBytes == 0) return 0;
  return static_cast<std::uint32_t>(block.size / frameBytes);
}

}  // namespace output
