#include "output/SamplePacking.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "output/Pcm24Kernels.h"
#include "platform/ByteOrder.h"

namespace output {
namespace {

std::uint32_t LoadLE32(const std::uint8_t* p) {
  return platform::LoadLittleEndian<std::uint32_t>(p);
}

std::uint32_t LoadLE16(const std::uint8_t* p) {
  return platform::LoadLittleEndian<std::uint16_t>(p);
}

std::uint64_t LoadLE64(const std::uint8_t* p) {
  return std::uint64_t{LoadLE32(p)} | std::uint64_t{LoadLE32(p + 4)} << 32;
}

// Full scale is +-1. Values at or beyond it clip to +-(2^31 - 1); NaN has no
// meaning as a level and plays as silence.
std::uint32_t FloatToIntermediate(double value) {
  if (std::isnan(value)) return 0;
  if (value <= -1.0) return 0x80000001u;
  if (value >= 1.0) return 0x7FFFFFFFu;
  return static_cast<std::uint32_t>(static_cast<std::int32_t>(value * 2147483647.0));
}

// One sample of a PCM or native DSD block.
template <std::uint32_t Code>
std::uint32_t Decode(const std::uint8_t* p) {
  if constexpr (Code == kFormatPcm16) {
    return LoadLE16(p) << 16;
  } else if constexpr (Code == kFormatPcm24) {
    return std::uint32_t{p[2]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[0]} << 8;
  } else if constexpr (Code == kFormatPcm32) {
    return LoadLE32(p);
  } else if constexpr (Code == kFormatFloat32) {
    return FloatToIntermediate(std::bit_cast<float>(LoadLE32(p)));
  } else if constexpr (Code == kFormatFloat64) {
    return FloatToIntermediate(std::bit_cast<double>(LoadLE64(p)));
  } else {
    static_assert(Code == kFormatDsd);
    std::uint32_t memoryOrder;
    std::memcpy(&memoryOrder, p, 4);
    return memoryOrder;
  }
}

// PackDop of the word at p, from its bytes b0..b3 (b0 earliest) as one
// little-endian load holds them: phase 0 is 0x05 b0 b1 00, phase 1 is
// 0xFA b2 b3 00.
std::uint32_t DecodeDop(const std::uint8_t* p, std::uint32_t phase) {
  const std::uint32_t word = LoadLE32(p);
  return phase == 0 ? 0x05000000u | (word & 0xFFu) << 16 | (word & 0xFF00u)
                    : 0xFA000000u | (word & 0xFF0000u) | (word >> 16 & 0xFF00u);
}

// Stride 0: the run's stride, else a fixed one the compiler can plan the
// loads for (mono and stereo, nearly every block).
template <std::uint32_t Code, std::size_t FixedStride>
std::size_t DecodeStrided(const std::uint8_t* p, std::size_t stride, std::size_t count,
                          std::uint32_t* out) {
  if constexpr (FixedStride != 0) stride = FixedStride;
  std::size_t i = 0;
  if constexpr (Code == kFormatPcm24) {
    if (stride == 6) i = DecodeStereoPcm24(p, count, out);
    // One 4-byte load a sample but the last: the fourth byte is the next
    // sample's and shifts out.
    for (; i + 1 < count; ++i)
      out[i] = LoadLE32(p + i * stride) << 8;
  }
  for (; i < count; ++i)
    out[i] = Decode<Code>(p + i * stride);
  return count;
}

template <std::uint32_t Code>
std::size_t DecodeRun(const std::uint8_t* p, std::size_t stride, std::size_t count,
                      std::uint32_t* out) {
  constexpr std::size_t kBytes = BytesPerSampleOf(Code);
  if (stride == kBytes) return DecodeStrided<Code, kBytes>(p, stride, count, out);
  if (stride == 2 * kBytes) return DecodeStrided<Code, 2 * kBytes>(p, stride, count, out);
  return DecodeStrided<Code, 0>(p, stride, count, out);
}

// Both DoP samples of each of `frames` whole frames.
template <std::size_t FixedStride>
void DopWholeFrames(const std::uint8_t* p, std::size_t stride, std::size_t frames,
                    std::uint32_t* out) {
  if constexpr (FixedStride != 0) stride = FixedStride;
  for (std::size_t i = 0; i < frames; ++i) {
    out[2 * i] = DecodeDop(p + i * stride, 0);
    out[2 * i + 1] = DecodeDop(p + i * stride, 1);
  }
}

// Two output samples per frame, starting at `phase`; returns how many were
// produced before the frames ran out.
std::size_t DecodeDopRun(const std::uint8_t* p, std::size_t stride, std::size_t framesLeft,
                         std::uint32_t phase, std::size_t count, std::uint32_t* out) {
  std::size_t produced = 0;
  if (phase == 1 && count > 0 && framesLeft > 0) {  // the second half of a frame
    out[produced++] = DecodeDop(p, 1);
    p += stride;
    --framesLeft;
  }
  const std::size_t wholeFrames = std::min(framesLeft, (count - produced) / 2);
  constexpr std::size_t kBytes = BytesPerSampleOf(kFormatDsd);
  if (stride == kBytes)
    DopWholeFrames<kBytes>(p, stride, wholeFrames, out + produced);
  else if (stride == 2 * kBytes)
    DopWholeFrames<2 * kBytes>(p, stride, wholeFrames, out + produced);
  else
    DopWholeFrames<0>(p, stride, wholeFrames, out + produced);
  p += wholeFrames * stride;
  produced += 2 * wholeFrames;
  if (produced < count && wholeFrames < framesLeft) {  // the first half of a frame
    out[produced++] = DecodeDop(p, 0);
  }
  return produced;
}

std::uint32_t SilenceOf(const SampleReader& reader, std::uint32_t phase) {
  if (!IsDsdFormat(reader.formatCode)) return kPcmSilenceSample;
  return reader.dop ? DopSilence(phase) : kDsdSilenceSample;
}

std::uint32_t BlockChannel(std::uint32_t channel, const SampleReader& reader) {
  return reader.channels == 1 && channel == 1 ? 0 : channel;
}

}  // namespace

SampleReader MakeSampleReader(const BlockDescription& block, bool dop, std::uint32_t dopPhase) {
  SampleReader reader;
  reader.data = static_cast<const std::uint8_t*>(block.data);
  reader.formatCode = block.formatCode;
  reader.channels = block.channels;
  reader.frameCount = FrameCountOf(block);
  reader.bytesPerSample = BytesPerSampleOf(block.formatCode);
  reader.dop = dop && IsDsdFormat(block.formatCode);  // DoP carries DSD only
  reader.dopPhase = dopPhase & 1;
  return reader;
}

std::uint32_t ReadIntermediateSample(std::uint32_t channel, const SampleReader& reader) {
  channel = BlockChannel(channel, reader);
  if (reader.data != nullptr && reader.frameIndex < reader.frameCount &&
      channel < reader.channels) {
    const std::uint8_t* p =
        reader.data +
        (channel + std::size_t{reader.channels} * reader.frameIndex) * reader.bytesPerSample;
    switch (reader.formatCode) {
      case kFormatPcm16:
        return Decode<kFormatPcm16>(p);
      case kFormatPcm24:
        return Decode<kFormatPcm24>(p);
      case kFormatPcm32:
        return Decode<kFormatPcm32>(p);
      case kFormatFloat32:
        return Decode<kFormatFloat32>(p);
      case kFormatFloat64:
        return Decode<kFormatFloat64>(p);
      case kFormatDsd:
        return reader.dop ? DecodeDop(p, reader.dopPhase) : Decode<kFormatDsd>(p);
      default:
        break;
    }
  }
  return SilenceOf(reader, reader.dopPhase);
}

void AdvanceOutputSamples(SampleReader& reader, std::uint32_t count) {
  std::uint64_t frames = count;
  if (reader.dop) {
    const std::uint64_t phases = std::uint64_t{reader.dopPhase} + count;
    frames = phases / 2;
    reader.dopPhase = static_cast<std::uint32_t>(phases & 1);
  }
  reader.frameIndex = static_cast<std::uint32_t>(std::min<std::uint64_t>(
      reader.frameIndex + frames, std::numeric_limits<std::uint32_t>::max()));
}

void ReadIntermediateRun(std::uint32_t channel, const SampleReader& reader, std::size_t count,
                         std::uint32_t* out) {
  channel = BlockChannel(channel, reader);
  std::size_t produced = 0;
  if (reader.data != nullptr && reader.frameIndex < reader.frameCount &&
      channel < reader.channels) {
    const std::size_t stride = std::size_t{reader.channels} * reader.bytesPerSample;
    const std::uint8_t* p =
        reader.data + channel * std::size_t{reader.bytesPerSample} + stride * reader.frameIndex;
    const std::size_t framesLeft = reader.frameCount - reader.frameIndex;
    const std::size_t frames = std::min(count, framesLeft);
    switch (reader.formatCode) {
      case kFormatPcm16:
        produced = DecodeRun<kFormatPcm16>(p, stride, frames, out);
        break;
      case kFormatPcm24:
        produced = DecodeRun<kFormatPcm24>(p, stride, frames, out);
        break;
      case kFormatPcm32:
        produced = DecodeRun<kFormatPcm32>(p, stride, frames, out);
        break;
      case kFormatFloat32:
        produced = DecodeRun<kFormatFloat32>(p, stride, frames, out);
        break;
      case kFormatFloat64:
        produced = DecodeRun<kFormatFloat64>(p, stride, frames, out);
        break;
      case kFormatDsd:
        produced = reader.dop ? DecodeDopRun(p, stride, framesLeft, reader.dopPhase, count, out)
                              : DecodeRun<kFormatDsd>(p, stride, frames, out);
        break;
      default:
        break;
    }
  }
  // Silence for the rest; DoP silence keeps alternating its markers.
  for (std::size_t i = produced; i < count; ++i) {
    out[i] = SilenceOf(reader, static_cast<std::uint32_t>((reader.dopPhase + i) & 1));
  }
}

}  // namespace output
