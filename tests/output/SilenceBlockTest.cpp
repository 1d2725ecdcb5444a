#include "output/SilenceBlock.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using output::BlockDescription;

TEST(SilenceBlock, HasTheLengthAndPatternOfItsFormat) {
  const struct {
    const char* name;
    BlockDescription format;
    double seconds;
    std::uint32_t bytes;
    std::uint8_t fill;
  } cases[] = {
      {"DSD64 stereo lead-in", {nullptr, 0, output::kFormatDsd, 2, 88200, 1}, 0.1, 70560, 0x96},
      {"CD lead-in", {nullptr, 0, output::kFormatPcm16, 2, 44100, 0}, 0.1, 17640, 0},
      {"24-bit 5.1", {nullptr, 0, output::kFormatPcm24, 6, 96000, 0}, 0.1, 172800, 0},
      {"double mono", {nullptr, 0, output::kFormatFloat64, 1, 48000, 0}, 0.5, 192000, 0},
      {"0x43 counts as 4 bytes", {nullptr, 0, 0x43010101, 2, 1000, 0}, 1.0, 8000, 0},
      {"partial frames are dropped",
       {nullptr, 0, output::kFormatPcm16, 2, 44100, 0},
       0.00003,
       4,
       0},
  };
  std::vector<std::uint8_t> storage(1000000, 0x55);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const BlockDescription block = output::MakeSilenceBlock(c.format, c.seconds, storage);
    EXPECT_EQ(block.size, c.bytes);
    EXPECT_EQ(storage.size(), c.bytes);
    ASSERT_EQ(block.data, storage.data());
    EXPECT_TRUE(std::all_of(storage.begin(), storage.end(), [&](auto b) { return b == c.fill; }));
    EXPECT_EQ(block.formatCode, c.format.formatCode);
    EXPECT_EQ(block.channels, c.format.channels);
    EXPECT_EQ(block.sampleRate, c.format.sampleRate);
    EXPECT_EQ(block.slot, c.format.slot);
  }
}

TEST(SilenceBlock, UnusableFormatsGiveNoData) {
  std::vector<std::uint8_t> storage(10, 0x55);
  const BlockDescription classless =
      output::MakeSilenceBlock({nullptr, 0, output::kFormatNone, 2, 44100, 1}, 0.1, storage);
  EXPECT_EQ(classless.data, nullptr);
  EXPECT_EQ(classless.size, 0u);
  EXPECT_EQ(classless.formatCode, 0u);
  EXPECT_EQ(classless.slot, 0u);

  for (const BlockDescription format :
       {BlockDescription{nullptr, 0, 0x55010101, 2, 44100, 0},
        BlockDescription{nullptr, 0, output::kFormatPcm16, 0, 44100, 0},
        BlockDescription{nullptr, 0, output::kFormatPcm16, 2, 0, 0}}) {
    const BlockDescription block = output::MakeSilenceBlock(format, 0.1, storage);
    EXPECT_EQ(block.data, nullptr);
    EXPECT_EQ(block.size, 0u);
  }
  const BlockDescription huge{nullptr, 0, output::kFormatFloat64, 8, 384000, 0};
  EXPECT_EQ(output::MakeSilenceBlock(huge, 3600.0, storage).data, nullptr);
  EXPECT_EQ(output::MakeSilenceBlock(huge, -1.0, storage).data, nullptr);
}

}  // namespace
