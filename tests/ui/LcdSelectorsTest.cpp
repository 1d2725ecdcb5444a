#include "ui/LcdSelectors.h"

#include <gtest/gtest.h>

#include "sources/TrackInfo.h"

namespace {

using ui::kNoGlyph;
using ui::LcdCells;

// The cells as text in the order they stand on the display: digits, ':' or
// '.' for glyph 10, the unit. The rate's point stands before its tenth.
std::string Shown(const LcdCells& cells, bool rate) {
  constexpr std::size_t kTimeOrder[6] = {0, 1, 2, 3, 4, 5};
  constexpr std::size_t kRateOrder[6] = {0, 1, 2, 4, 3, 5};
  std::string out;
  for (std::size_t index : rate ? kRateOrder : kTimeOrder) {
    const int glyph = cells[index];
    if (glyph >= 0 && glyph < 10) out += static_cast<char>('0' + glyph);
    if (glyph == 10) out += rate ? '.' : ':';
    if (glyph == 11) out += "kHz";
    if (glyph == 12) out += "MHz";
  }
  return out;
}

TEST(LcdSelectorsTest, ElapsedTimeShowsMinutesAndSeconds) {
  const struct {
    int seconds;
    const char* shown;
  } cases[] = {{5, "00:05"},      {3725, "62:05"},   {5999, "99:59"},   {6000, "100:00"},
               {59999, "999:59"}, {60000, "999:59"}, {360000, "999:59"}};
  for (const auto& c : cases) {
    const int s = c.seconds;
    EXPECT_EQ(Shown(ui::TimeCells(s / 3600, s % 3600 / 60, s % 60), false), c.shown) << s;
  }
}

TEST(LcdSelectorsTest, RateShowsKiloOrMegaHertzAndDsdBitRates) {
  const struct {
    const wchar_t* formatName;
    std::uint32_t rate;
    std::uint16_t bits;
    const char* shown;
  } cases[] = {
      {L"WAVE", 44100, 16, "44.1kHz"},       {L"WAVE", 192000, 24, "192.0kHz"},
      {L"WAVE", 11025, 16, "11.0kHz"},       {L"WAVE", 2822400, 32, "2.8MHz"},
      {L"DSF", 88200, 32, "2.8MHz"},         {L"DSF, 1bit", 176400, 24, "2.8MHz"},
      {L"DFF", 352800, 32, "11.2MHz"},       {L"DSF", 88200, 16, "88.2kHz"},
      {L"MP3 Layer3", 48000, 16, "48.0kHz"}, {L"CD-DA", 44100, 16, "44.1kHz"},
      {L"WAVE", 768000, 32, "768.0kHz"},     {L"WAVE", 1000000, 32, "1.0MHz"},
  };
  for (const auto& c : cases) {
    TrackInfo item;
    item.formatName = c.formatName;
    item.format.nSamplesPerSec = c.rate;
    item.format.wBitsPerSample = c.bits;
    LcdCells cells;
    ASSERT_TRUE(ui::RateCells(item, cells)) << c.shown;
    EXPECT_EQ(Shown(cells, true), c.shown);
  }
  TrackInfo silent;
  LcdCells cells;
  EXPECT_FALSE(ui::RateCells(silent, cells)) << "a zero rate shows nothing";
}

TEST(LcdSelectorsTest, TheFormatLabelIsTheFirstWordMatchedExactly) {
  const struct {
    const wchar_t* formatName;
    int lit;
  } cases[] = {{L"DFF", 0},    {L"DSF", 1},       {L"MP3", 2},      {L"FLAC", 3},
               {L"WAVE", 4},   {L"WAVE, PCM", 4}, {L"MP3 128k", 2}, {L"mp3", -1},
               {L"CD-DA", -1}, {L"", -1},         {L"WAV", -1}};
  for (const auto& c : cases)
    EXPECT_EQ(ui::FormatLabelIndex(c.formatName), c.lit) << c.lit;
}

}  // namespace
