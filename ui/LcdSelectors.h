#pragma once

#include <array>
#include <string>

struct TrackInfo;

namespace ui {

// Which glyph each cell of an LCD read-out shows; kNoGlyph leaves a cell
// empty.
inline constexpr int kNoGlyph = -1;
using LcdCells = std::array<int, 6>;

// The time display's cells for an elapsed time: minutes (a third digit from
// 100 minutes on, at most 999:59), a colon (glyph 10), two second digits.
LcdCells TimeCells(int hours, int minutes, int seconds);

// The rate display's cells: three digits, the tenth, the point (glyph 10)
// and the unit (11 kHz, 12 MHz); false when there is no rate to show.
bool RateCells(const TrackInfo& item, LcdCells& cells);

// The lit label of the format display: DFF, DSF, MP3, FLAC, WAVE as 0-4,
// matched exactly; -1 for anything else.
int FormatLabelIndex(const std::wstring& formatName);

}  // namespace ui
