#include "ui/LcdSelectors.h"

#include "core/TkText.h"
#include "sources/TrackInfo.h"

namespace ui {
namespace {

constexpr int kColon = 10;
constexpr int kPoint = 10;
constexpr int kKiloHertz = 11;
constexpr int kMegaHertz = 12;

}  // namespace

LcdCells TimeCells(int hours, int minutes, int seconds) {
  int m = hours * 60 + minutes;
  if (m >= 1000) {
    m = 999;
    seconds = 59;
  }
  return {m / 100 == 0 ? kNoGlyph : m / 100,
          (m % 100) / 10,
          m % 10,
          kColon,
          seconds / 10,
          seconds % 10};
}

bool RateCells(const TrackInfo& item, LcdCells& cells) {
  cells.fill(kNoGlyph);
  const std::uint64_t rate = tk::RateOf(item).hertz;
  if (rate == 0) return false;
  std::uint64_t n = rate < 1000000 ? rate / 100 : rate / 100000;
  cells[5] = rate < 1000000 ? kKiloHertz : kMegaHertz;
  cells[4] = kPoint;
  for (int cell = 3; cell >= 0 && n != 0; --cell) {
    cells[cell] = static_cast<int>(n % 10);
    n /= 10;
  }
  return true;
}

int FormatLabelIndex(const std::wstring& formatName) {
  static const wchar_t* const kLabels[] = {L"DFF", L"DSF", L"MP3", L"FLAC", L"WAVE"};
  const std::wstring name = tk::FormatNameToken(formatName);
  for (int i = 0; i < 5; ++i) {
    if (name == kLabels[i]) return i;
  }
  return -1;
}

}  // namespace ui
