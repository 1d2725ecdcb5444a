#include "output/SampleTypeConverters.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

namespace {

using output::FindSampleTypeConverter;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kZero = 0, kFull = 0x7FFFFFFF, kNegFull = 0x80000000, kOdd = 0x12345678;

Bytes Write(const output::SampleTypeConverter& row, std::uint32_t sample) {
  Bytes out(64, 0xEE);
  out.resize(row.write(out.data(), &sample));
  return out;
}

TEST(SampleTypeConverters, PcmTypesWriteTheDocumentedBytes) {
  const struct {
    output::SampleType type;
    std::uint32_t bits;
    Bytes zero, full, negFull, odd;
  } rows[] = {
      {kAsioInt16Msb, 16, {0, 0}, {0x7F, 0xFF}, {0x80, 0}, {0x12, 0x34}},
      {kAsioInt24Msb, 24, {0, 0, 0}, {0x7F, 0xFF, 0xFF}, {0x80, 0, 0}, {0x12, 0x34, 0x56}},
      {kAsioInt32Msb,
       32,
       {0, 0, 0, 0},
       {0x7F, 0xFF, 0xFF, 0xFF},
       {0x80, 0, 0, 0},
       {0x12, 0x34, 0x56, 0x78}},
      {kAsioFloat32Msb,
       32,
       {0, 0, 0, 0},
       {0x3F, 0x80, 0, 0},
       {0xBF, 0x80, 0, 0},
       {0x3E, 0x11, 0xA2, 0xB4}},
      {kAsioFloat64Msb,
       64,
       {0, 0, 0, 0, 0, 0, 0, 0},
       {0x3F, 0xEF, 0xFF, 0xFF, 0xFF, 0xC0, 0, 0},
       {0xBF, 0xF0, 0, 0, 0, 0, 0, 0},
       {0x3F, 0xC2, 0x34, 0x56, 0x78, 0, 0, 0}},
      {kAsioInt32Msb16,
       32,
       {0, 0, 0, 0},
       {0, 0, 0x7F, 0xFF},
       {0xFF, 0xFF, 0x80, 0},
       {0, 0, 0x12, 0x34}},
      {kAsioInt32Msb18,
       32,
       {0, 0, 0, 0},
       {0, 0x01, 0xFF, 0xFF},
       {0xFF, 0xFE, 0, 0},
       {0, 0, 0x48, 0xD1}},
      {kAsioInt32Msb20,
       32,
       {0, 0, 0, 0},
       {0, 0x07, 0xFF, 0xFF},
       {0xFF, 0xF8, 0, 0},
       {0, 0x01, 0x23, 0x45}},
      {kAsioInt32Msb24,
       32,
       {0, 0, 0, 0},
       {0, 0x7F, 0xFF, 0xFF},
       {0xFF, 0x80, 0, 0},
       {0, 0x12, 0x34, 0x56}},
      {kAsioInt16Lsb, 16, {0, 0}, {0xFF, 0x7F}, {0, 0x80}, {0x34, 0x12}},
      {kAsioInt24Lsb, 24, {0, 0, 0}, {0xFF, 0xFF, 0x7F}, {0, 0, 0x80}, {0x56, 0x34, 0x12}},
      {kAsioInt32Lsb,
       32,
       {0, 0, 0, 0},
       {0xFF, 0xFF, 0xFF, 0x7F},
       {0, 0, 0, 0x80},
       {0x78, 0x56, 0x34, 0x12}},
      {kAsioFloat32Lsb,
       32,
       {0, 0, 0, 0},
       {0, 0, 0x80, 0x3F},
       {0, 0, 0x80, 0xBF},
       {0xB4, 0xA2, 0x11, 0x3E}},
      {kAsioFloat64Lsb,
       64,
       {0, 0, 0, 0, 0, 0, 0, 0},
       {0, 0, 0xC0, 0xFF, 0xFF, 0xFF, 0xEF, 0x3F},
       {0, 0, 0, 0, 0, 0, 0xF0, 0xBF},
       {0, 0, 0, 0x78, 0x56, 0x34, 0xC2, 0x3F}},
      {kAsioInt32Lsb16,
       32,
       {0, 0, 0, 0},
       {0xFF, 0x7F, 0, 0},
       {0, 0x80, 0xFF, 0xFF},
       {0x34, 0x12, 0, 0}},
      {kAsioInt32Lsb18,
       32,
       {0, 0, 0, 0},
       {0xFF, 0xFF, 0x01, 0},
       {0, 0, 0xFE, 0xFF},
       {0xD1, 0x48, 0, 0}},
      {kAsioInt32Lsb20,
       32,
       {0, 0, 0, 0},
       {0xFF, 0xFF, 0x07, 0},
       {0, 0, 0xF8, 0xFF},
       {0x45, 0x23, 0x01, 0}},
      {kAsioInt32Lsb24,
       32,
       {0, 0, 0, 0},
       {0xFF, 0xFF, 0x7F, 0},
       {0, 0, 0x80, 0xFF},
       {0x56, 0x34, 0x12, 0}},
  };
  for (const auto& r : rows) {
    const auto* row = FindSampleTypeConverter(r.type);
    ASSERT_NE(row, nullptr) << r.type;
    SCOPED_TRACE(row->name);
    EXPECT_EQ(row->bits, r.bits);
    EXPECT_EQ(Write(*row, kZero), r.zero);
    EXPECT_EQ(Write(*row, kFull), r.full);
    EXPECT_EQ(Write(*row, kNegFull), r.negFull);
    EXPECT_EQ(Write(*row, kOdd), r.odd);
  }
}

TEST(SampleTypeConverters, DsdTypesWriteTheBytesInTimeOrder) {
  auto sampleOf = [](Bytes memoryOrder) {
    std::uint32_t sample;
    std::memcpy(&sample, memoryOrder.data(), 4);
    return sample;
  };
  const std::uint32_t odd = sampleOf({0x12, 0x34, 0x56, 0x78});
  const std::uint32_t silence = sampleOf({0x96, 0x96, 0x96, 0x96});
  const std::uint32_t edges = sampleOf({0x80, 0x00, 0xFF, 0x01});

  const auto* msb = FindSampleTypeConverter(kAsioDsdInt8Msb1);
  const auto* lsb = FindSampleTypeConverter(kAsioDsdInt8Lsb1);
  const auto* ner = FindSampleTypeConverter(kAsioDsdInt8Ner8);
  ASSERT_TRUE(msb && lsb && ner);
  EXPECT_EQ(msb->bits, 1u);
  EXPECT_EQ(lsb->bits, 1u);
  EXPECT_EQ(ner->bits, 8u);

  EXPECT_EQ(Write(*msb, odd), (Bytes{0x12, 0x34, 0x56, 0x78}));
  EXPECT_EQ(Write(*msb, silence), (Bytes{0x96, 0x96, 0x96, 0x96}));
  EXPECT_EQ(Write(*lsb, odd), (Bytes{0x48, 0x2C, 0x6A, 0x1E}));
  EXPECT_EQ(Write(*lsb, silence), (Bytes{0x69, 0x69, 0x69, 0x69}));
  EXPECT_EQ(Write(*lsb, edges), (Bytes{0x01, 0x00, 0xFF, 0x80}));
  EXPECT_EQ(Write(*ner, odd), (Bytes{0, 0, 0, 1, 0, 0, 1, 0, 0, 0, 1, 1, 0, 1, 0, 0,
                                     0, 1, 0, 1, 0, 1, 1, 0, 0, 1, 1, 1, 1, 0, 0, 0}));
  EXPECT_EQ(Write(*ner, edges), (Bytes{1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                       1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 1}));
}

TEST(SampleTypeConverters, ExactlyTheKnownTypesHaveRowsAndRunsMatchSingleWrites) {
  std::set<std::int32_t> types;
  for (const auto& row : output::SampleTypeConverters())
    types.insert(row.type);
  EXPECT_EQ(types.size(), 21u);
  for (std::int32_t type = -2; type < 64; ++type) {
    const auto* row = FindSampleTypeConverter(type);
    EXPECT_EQ(row != nullptr, types.count(type) == 1) << type;
    if (row != nullptr) {
      EXPECT_EQ(row->type, type);
    }
  }

  // The edge values, then enough others that every run length the
  // converters take in pieces (4, 16 samples) meets both its whole pieces
  // and every tail.
  std::vector<std::uint32_t> samples = {kZero,      kFull,      kNegFull,  kOdd,
                                        0xDEADBEEF, 0x00000001, 0x96969696};
  for (std::uint32_t i = 0; samples.size() < 41; ++i)
    samples.push_back(0x9E3779B9u * (i + 1));
  for (const auto& row : output::SampleTypeConverters()) {
    SCOPED_TRACE(row.name);
    Bytes expected;
    std::vector<std::size_t> ends = {0};
    for (std::uint32_t sample : samples) {
      const Bytes one = Write(row, sample);
      expected.insert(expected.end(), one.begin(), one.end());
      ends.push_back(expected.size());
    }
    for (std::size_t count = 0; count <= samples.size(); ++count) {
      SCOPED_TRACE(count);
      Bytes run(ends[count] + 8, 0xEE);
      ASSERT_EQ(row.writeRun(run.data(), samples.data(), count), ends[count]);
      ASSERT_EQ(run[ends[count]], 0xEE);  // nothing past the run
      run.resize(ends[count]);
      ASSERT_EQ(run, Bytes(expected.begin(), expected.begin() + ends[count]));
    }
  }
}

}  // namespace
