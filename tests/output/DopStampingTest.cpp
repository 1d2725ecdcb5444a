#include "output/DopStamping.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "output/SamplePacking.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kUntouched = 0xEE;

// What a device of the converter's type receives for `words`, written one
// at a time.
Bytes WordByWord(const output::SampleTypeConverter& converter,
                 const std::vector<std::uint32_t>& words) {
  Bytes out(words.size() * output::BytesPerWrite(converter));
  std::size_t at = 0;
  for (const std::uint32_t word : words)
    at += converter.write(out.data() + at, &word);
  return out;
}

std::uint32_t Marker(std::size_t place) {
  return place % 2 == 0 ? 0x05000000u : 0xFA000000u;
}

// Counts beyond one internal run of 256 words, from either phase, in sample
// types of three and four bytes and both byte orders.
struct Case {
  std::int32_t type;
  std::size_t count;
  std::uint32_t phase;
};
constexpr Case kCases[] = {
    {kAsioInt24Lsb, 1, 1},   {kAsioInt24Lsb, 300, 0}, {kAsioInt32Lsb, 256, 1},
    {kAsioInt32Lsb, 513, 1}, {kAsioInt32Msb, 257, 0}, {kAsioInt32Lsb24, 300, 1},
};

// Every word keeps its two DSD bytes and takes the marker of its place in
// the stream, whatever marker it came with.
TEST(DopStamping, WordsTakeTheMarkerOfTheirPlaceAndKeepTheirPayload) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message()
                 << "type " << c.type << " count " << c.count << " phase " << c.phase);
    const auto* converter = output::FindSampleTypeConverter(c.type);
    ASSERT_NE(converter, nullptr);
    std::vector<std::uint32_t> words(c.count), expected(c.count);
    for (std::size_t k = 0; k < c.count; ++k) {
      const std::uint32_t payload = static_cast<std::uint32_t>(k * 0x010203u + 0x1100u) & 0xFFFF00u;
      // The feeder's own markers, here always the wrong one.
      words[k] = payload | Marker(c.phase + k + 1);
      expected[k] = payload | Marker(c.phase + k);
    }
    Bytes out(c.count * output::BytesPerWrite(*converter) + 4, kUntouched);
    const std::size_t written =
        output::WriteStampedDop(*converter, out.data(), words.data(), c.count, c.phase);
    ASSERT_EQ(written, c.count * output::BytesPerWrite(*converter));
    EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(written)),
              WordByWord(*converter, expected));
    EXPECT_EQ(out[written], kUntouched);
  }
}

// The idle fill of a half from `from` on: each word the DoP idle word of
// its place in the half, a tail too short for a word zero; what lies before
// is left as it was.
TEST(DopStamping, IdleWordsFollowThePhaseOfTheirPlaceInTheHalf) {
  const struct {
    std::int32_t type;
    std::size_t fromBytes, halfBytes;
    std::uint32_t phase;
  } rows[] = {
      {kAsioInt24Lsb, 0, 3 * 300, 0},
      {kAsioInt24Lsb, 3 * 7, 3 * 300 + 2, 1},
      {kAsioInt32Lsb, 4 * 5, 4 * 600, 1},
      {kAsioInt32Msb, 4 * 300, 4 * 300, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << "type " << row.type << " from " << row.fromBytes << " of "
                                    << row.halfBytes << " phase " << row.phase);
    const auto* converter = output::FindSampleTypeConverter(row.type);
    ASSERT_NE(converter, nullptr);
    const std::size_t step = output::BytesPerWrite(*converter);
    const std::size_t firstWord = row.fromBytes / step;
    const std::size_t words = row.halfBytes / step;
    std::vector<std::uint32_t> idle;
    for (std::size_t word = firstWord; word < words; ++word)
      idle.push_back(output::DopSilence(static_cast<std::uint32_t>((row.phase + word) & 1)));
    Bytes expected(firstWord * step, kUntouched);
    const Bytes idleBytes = WordByWord(*converter, idle);
    expected.insert(expected.end(), idleBytes.begin(), idleBytes.end());
    expected.resize(row.halfBytes, 0);

    Bytes half(row.halfBytes, kUntouched);
    output::WriteDopIdle(*converter, half.data(), row.fromBytes, row.halfBytes, row.phase);
    EXPECT_EQ(half, expected);
  }
}

}  // namespace
