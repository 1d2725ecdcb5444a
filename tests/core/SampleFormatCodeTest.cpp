#include "core/SampleFormatCode.h"

#include <gtest/gtest.h>

namespace {

WAVEFORMATEX Format(std::uint16_t tag, std::uint16_t channels, std::uint16_t blockAlign) {
  return {tag,        channels,
          44100,      44100u * blockAlign,
          blockAlign, static_cast<std::uint16_t>(blockAlign / (channels ? channels : 1) * 8),
          0};
}

TEST(SampleFormatCode, FollowsKindAndSampleWidth) {
  const struct {
    std::uint16_t tag, channels, blockAlign;
    bool dsd;
    std::uint32_t code;
  } cases[] = {
      {WAVE_FORMAT_PCM, 2, 8, true, output::kFormatDsd},
      {WAVE_FORMAT_PCM, 2, 4, true, output::kFormatNone},
      {WAVE_FORMAT_PCM, 1, 1, false, output::kFormatPcm8},
      {WAVE_FORMAT_PCM, 2, 4, false, output::kFormatPcm16},
      {WAVE_FORMAT_EXTENSIBLE, 6, 18, false, output::kFormatPcm24},
      {WAVE_FORMAT_PCM, 2, 8, false, output::kFormatPcm32},
      {WAVE_FORMAT_PCM, 2, 10, false, output::kFormatNone},
      {WAVE_FORMAT_IEEE_FLOAT, 2, 8, false, output::kFormatFloat32},
      {WAVE_FORMAT_IEEE_FLOAT, 1, 8, false, output::kFormatFloat64},
      {WAVE_FORMAT_IEEE_FLOAT, 2, 4, false, output::kFormatNone},
      {0x0055, 2, 4, false, output::kFormatNone},
      // No channels or no block alignment: nothing to divide by.
      {WAVE_FORMAT_PCM, 0, 4, false, output::kFormatNone},
      {WAVE_FORMAT_PCM, 0, 4, true, output::kFormatNone},
      {WAVE_FORMAT_PCM, 2, 0, false, output::kFormatNone},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "tag " << c.tag << " channels " << c.channels << " align "
                                      << c.blockAlign << " dsd " << c.dsd);
    EXPECT_EQ(core::SampleFormatCodeFor(Format(c.tag, c.channels, c.blockAlign), c.dsd), c.code);
  }
}

}  // namespace
