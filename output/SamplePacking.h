#pragma once

#include <cstddef>
#include <cstdint>

#include "output/SampleFormat.h"

// Splitting a decoded block into per-channel 32-bit intermediate samples:
// PCM left-justified to 32 bits (full scale 2^31), native DSD as the four
// bytes exactly as they lie in the block (memory order is time order), and
// DSD over PCM (DoP) as a left-justified 24-bit word: marker, two DSD bytes,
// a zero byte.

namespace output {

constexpr std::uint32_t kPcmSilenceSample = 0;
constexpr std::uint32_t kDsdSilenceSample = 0x96969696;
constexpr std::uint8_t kDsdSilenceByte = 0x96;

// The byte that fills buffers and chunks with silence.
constexpr std::uint8_t SilenceFillByte(bool nativeDsd) {
  return nativeDsd ? kDsdSilenceByte : 0;
}

// DoP packing of a DSD word `timeOrder` (b0 << 24 | b1 << 16 | b2 << 8 | b3,
// b0 earliest): phase 0 carries b0 b1 behind the marker 0x05, phase 1 carries
// b2 b3 behind 0xFA.
constexpr std::uint32_t PackDop(std::uint32_t timeOrder, std::uint32_t phase) {
  return phase == 0 ? 0x05000000u | ((timeOrder >> 8) & 0x00FFFF00u)
                    : 0xFA000000u | ((timeOrder & 0xFFFFu) << 8);
}

// 0x05969600 and 0xFA969600.
constexpr std::uint32_t DopSilence(std::uint32_t phase) {
  return PackDop(kDsdSilenceSample, phase);
}

// The state of one block being split into output samples. With DoP every
// frame gives two output samples (phase 0, then phase 1), so the DoP rate is
// twice the block's rate. The phase is shared by all channels of an output
// sample and carries on from block to block: the next block's reader starts
// with the previous reader's phase.
struct SampleReader {
  const std::uint8_t* data = nullptr;
  std::uint32_t formatCode = kFormatNone;
  std::uint32_t channels = 0;
  std::uint32_t frameCount = 0;
  std::uint32_t bytesPerSample = 0;
  bool dop = false;
  std::uint32_t dopPhase = 0;  // 0 or 1
  std::uint32_t frameIndex = 0;
};

SampleReader MakeSampleReader(const BlockDescription& block, bool dop, std::uint32_t dopPhase);

// The intermediate sample of output channel `channel` at the reader's
// position. A mono block answers channel 1 with channel 0's sample; a missing
// channel, a frame past the end, an empty block or an unplayable code answer
// silence (0, 0x96969696, or DoP silence of the current phase).
std::uint32_t ReadIntermediateSample(std::uint32_t channel, const SampleReader& reader);

// Moves on by `count` output samples: one frame each, or with DoP one phase
// each, the frame advancing after every phase-1 sample.
void AdvanceOutputSamples(SampleReader& reader, std::uint32_t count = 1);

// What `count` rounds of ReadIntermediateSample + AdvanceOutputSamples would
// give for one channel, written to out[0..count), without moving the reader.
// The same values, computed a run at a time for the output path's hot loop.
void ReadIntermediateRun(std::uint32_t channel, const SampleReader& reader, std::size_t count,
                         std::uint32_t* out);

}  // namespace output
