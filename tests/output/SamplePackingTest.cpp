#include "output/SamplePacking.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "output/SampleTypeConverters.h"

namespace {

using output::BlockDescription;
using output::MakeSampleReader;
using output::ReadIntermediateSample;
using Bytes = std::vector<std::uint8_t>;

BlockDescription Block(const Bytes& bytes, std::uint32_t code, std::uint32_t channels) {
  return {bytes.data(), static_cast<std::uint32_t>(bytes.size()), code, channels, 44100, 0};
}

template <typename T>
Bytes LittleEndian(T value) {
  Bytes bytes(sizeof value);
  std::memcpy(bytes.data(), &value, sizeof value);
  return bytes;
}

std::uint32_t ReadOne(const Bytes& sample, std::uint32_t code) {
  return ReadIntermediateSample(0, MakeSampleReader(Block(sample, code, 1), false, 0));
}

TEST(SamplePacking, EveryFormatCodeBecomesALeftJustifiedSample) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    const char* name;
    std::uint32_t code;
    Bytes sample;
    std::uint32_t expected;
  } cases[] = {
      {"16-bit zero", output::kFormatPcm16, {0x00, 0x00}, 0},
      {"16-bit most negative", output::kFormatPcm16, {0x00, 0x80}, 0x80000000},
      {"16-bit most positive", output::kFormatPcm16, {0xFF, 0x7F}, 0x7FFF0000},
      {"16-bit -1", output::kFormatPcm16, {0xFF, 0xFF}, 0xFFFF0000},
      {"24-bit", output::kFormatPcm24, {0x56, 0x34, 0x12}, 0x12345600},
      {"24-bit most negative", output::kFormatPcm24, {0x00, 0x00, 0x80}, 0x80000000},
      {"32-bit", output::kFormatPcm32, {0x78, 0x56, 0x34, 0x12}, 0x12345678},
      {"32-bit most negative", output::kFormatPcm32, {0, 0, 0, 0x80}, 0x80000000},
      {"float 1.0", output::kFormatFloat32, LittleEndian(1.0f), 0x7FFFFFFF},
      {"float above 1", output::kFormatFloat32, LittleEndian(1.5f), 0x7FFFFFFF},
      {"float -1.0", output::kFormatFloat32, LittleEndian(-1.0f), 0x80000001},
      {"float below -1", output::kFormatFloat32, LittleEndian(-7.0f), 0x80000001},
      {"float 0.5", output::kFormatFloat32, LittleEndian(0.5f), 0x3FFFFFFF},
      {"float -0.5", output::kFormatFloat32, LittleEndian(-0.5f), 0xC0000001},
      {"float just below 1", output::kFormatFloat32, LittleEndian(std::nextafter(1.0f, 0.0f)),
       0x7FFFFF7F},
      {"float NaN", output::kFormatFloat32, LittleEndian(std::numeric_limits<float>::quiet_NaN()),
       0},
      {"float +inf", output::kFormatFloat32, LittleEndian(std::numeric_limits<float>::infinity()),
       0x7FFFFFFF},
      {"double 0.5", output::kFormatFloat64, LittleEndian(0.5), 0x3FFFFFFF},
      {"double -1.0", output::kFormatFloat64, LittleEndian(-1.0), 0x80000001},
      {"double just below 1", output::kFormatFloat64, LittleEndian(std::nextafter(1.0, 0.0)),
       0x7FFFFFFE},
      {"double NaN", output::kFormatFloat64, LittleEndian(nan), 0},
      {"double -inf", output::kFormatFloat64, LittleEndian(-inf), 0x80000001},
      {"DSD keeps memory order",
       output::kFormatDsd,
       {0x12, 0x34, 0x56, 0x78},
       std::bit_cast<std::uint32_t>(std::array<std::uint8_t, 4>{0x12, 0x34, 0x56, 0x78})},
      {"8-bit is never played", output::kFormatPcm8, {0x7F}, 0},
      {"no format", output::kFormatNone, {1, 2, 3, 4}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ReadOne(c.sample, c.code), c.expected);
  }
}

TEST(SamplePacking, ASixteenBitMinimumWrittenAs24BitLsbIsThreeBytes) {
  const std::uint32_t sample = ReadOne({0x00, 0x80}, output::kFormatPcm16);
  std::uint8_t out[3];
  ASSERT_EQ(output::FindSampleTypeConverter(kAsioInt24Lsb)->write(out, &sample), 3u);
  EXPECT_EQ(Bytes(out, out + 3), (Bytes{0x00, 0x00, 0x80}));
}

const Bytes kStereoDsd = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0,   // frame 0
                          0x01, 0x02, 0x03, 0x04, 0xA1, 0xA2, 0xA3, 0xA4};  // frame 1

TEST(SamplePacking, DopPacksTwoDsdBytesPerOutputSampleWithAlternatingMarkers) {
  auto reader = MakeSampleReader(Block(kStereoDsd, output::kFormatDsd, 2), true, 0);
  const std::uint32_t expected[][2] = {{0x05123400, 0x059ABC00}, {0xFA567800, 0xFADEF000},
                                       {0x05010200, 0x05A1A200}, {0xFA030400, 0xFAA3A400},
                                       {0x05969600, 0x05969600},  // past the end: DoP silence
                                       {0xFA969600, 0xFA969600}};
  for (const auto& sample : expected) {
    EXPECT_EQ(ReadIntermediateSample(0, reader), sample[0]);
    EXPECT_EQ(ReadIntermediateSample(1, reader), sample[1]);
    EXPECT_EQ(ReadIntermediateSample(2, reader), output::DopSilence(reader.dopPhase));
    output::AdvanceOutputSamples(reader);
  }
}

TEST(SamplePacking, TheDopPhaseCarriesOverIntoTheNextBlock) {
  const Bytes first = {0x12, 0x34, 0x56, 0x78};
  auto reader = MakeSampleReader(Block(first, output::kFormatDsd, 1), true, 0);
  output::AdvanceOutputSamples(reader, 2);                    // the block's two output samples
  EXPECT_EQ(ReadIntermediateSample(0, reader), 0x05969600u);  // one sample of silence
  output::AdvanceOutputSamples(reader);
  ASSERT_EQ(reader.dopPhase, 1u);

  const Bytes second = {0xAA, 0xBB, 0xCC, 0xDD, 0x11, 0x22, 0x33, 0x44};
  auto next = MakeSampleReader(Block(second, output::kFormatDsd, 1), true, reader.dopPhase);
  EXPECT_EQ(ReadIntermediateSample(0, next), 0xFACCDD00u);
  output::AdvanceOutputSamples(next);
  EXPECT_EQ(next.frameIndex, 1u);
  EXPECT_EQ(ReadIntermediateSample(0, next), 0x05112200u);
}

TEST(SamplePacking, MonoFeedsBothFrontChannelsAndMissingChannelsAreSilent) {
  const Bytes mono = {0x34, 0x12, 0xCD, 0xAB};  // two 16-bit frames
  auto reader = MakeSampleReader(Block(mono, output::kFormatPcm16, 1), false, 0);
  EXPECT_EQ(ReadIntermediateSample(0, reader), 0x12340000u);
  EXPECT_EQ(ReadIntermediateSample(1, reader), 0x12340000u);
  EXPECT_EQ(ReadIntermediateSample(2, reader), 0u);
  output::AdvanceOutputSamples(reader);
  EXPECT_EQ(ReadIntermediateSample(1, reader), 0xABCD0000u);

  auto dsd = MakeSampleReader(Block(kStereoDsd, output::kFormatDsd, 2), false, 0);
  EXPECT_EQ(ReadIntermediateSample(2, dsd), output::kDsdSilenceSample);
  EXPECT_EQ(ReadIntermediateSample(7, dsd), output::kDsdSilenceSample);
  dsd.frameIndex = 2;
  EXPECT_EQ(ReadIntermediateSample(0, dsd), output::kDsdSilenceSample);
}

TEST(SamplePacking, BlocksWithoutAUsableShapeHaveNoFrames) {
  const Bytes bytes(64, 0x11);
  const struct {
    const char* name;
    BlockDescription block;
    std::uint32_t silence;
  } cases[] = {
      {"no format code", Block(bytes, output::kFormatNone, 2), 0},
      {"no channels", Block(bytes, output::kFormatPcm16, 0), 0},
      {"no sample width", Block(bytes, 0x00000101, 2), 0},
      {"DSD without channels", Block(bytes, output::kFormatDsd, 0), output::kDsdSilenceSample},
      {"empty DSD block", {nullptr, 0, output::kFormatDsd, 2, 88200, 1}, output::kDsdSilenceSample},
      {"data shorter than a frame", Block(Bytes(7), output::kFormatPcm32, 2), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto reader = MakeSampleReader(c.block, false, 0);
    EXPECT_EQ(reader.frameCount, 0u);
    EXPECT_EQ(ReadIntermediateSample(0, reader), c.silence);
    std::uint32_t run[3];
    output::ReadIntermediateRun(0, reader, 3, run);
    EXPECT_EQ(run[2], c.silence);
  }
}

// What `count` rounds of read + advance give for one channel.
std::vector<std::uint32_t> SampleBySample(std::uint32_t channel, output::SampleReader reader,
                                          std::size_t count) {
  std::vector<std::uint32_t> samples;
  for (std::size_t i = 0; i < count; ++i) {
    samples.push_back(ReadIntermediateSample(channel, reader));
    output::AdvanceOutputSamples(reader);
  }
  return samples;
}

// The batched path must give exactly what the per-sample path gives, at any
// start position and phase, for runs that end inside the block (mid-frame
// for DoP) and runs past its end.
TEST(SamplePacking, RunsEqualSampleBySampleReading) {
  std::mt19937 random(7);
  Bytes bytes(24 * 8 * 3);
  for (auto& byte : bytes)
    byte = static_cast<std::uint8_t>(random());
  const std::uint32_t codes[] = {
      output::kFormatPcm16,   output::kFormatPcm24, output::kFormatPcm32, output::kFormatFloat32,
      output::kFormatFloat64, output::kFormatDsd,   output::kFormatPcm8,  output::kFormatNone};
  for (std::uint32_t code : codes) {
    for (std::uint32_t channels : {1u, 2u, 3u}) {
      for (bool dop : {false, true}) {
        for (std::uint32_t phase : {0u, 1u}) {
          for (std::uint32_t startFrame : {0u, 5u, 40u}) {
            for (std::size_t count : {1u, 7u, 33u, 150u}) {
              SCOPED_TRACE(::testing::Message() << std::hex << code << std::dec << " channels "
                                                << channels << " dop " << dop << " phase " << phase
                                                << " start " << startFrame << " count " << count);
              auto reader = MakeSampleReader(Block(bytes, code, channels), dop, phase);
              reader.frameIndex = startFrame;
              for (std::uint32_t channel = 0; channel < 4; ++channel) {
                std::vector<std::uint32_t> run(count);
                output::ReadIntermediateRun(channel, reader, count, run.data());
                ASSERT_EQ(run, SampleBySample(channel, reader, count)) << "channel " << channel;
              }
              auto jumped = reader, stepped = reader;
              output::AdvanceOutputSamples(jumped, static_cast<std::uint32_t>(count));
              for (std::size_t i = 0; i < count; ++i)
                output::AdvanceOutputSamples(stepped);
              EXPECT_EQ(jumped.frameIndex, stepped.frameIndex);
              EXPECT_EQ(jumped.dopPhase, stepped.dopPhase);
            }
          }
        }
      }
    }
  }
}

}  // namespace
