#pragma once

#include <QRect>

namespace ui {

// The arithmetic of the seek bar, in pixels and whole-second positions.

// The window around a channel at (x, y) of `length` and `thickness`.
QRect SeekBarWindow(int x, int y, int length, int thickness);

// The inner rectangle the bar repaints on position reports; all zeros when a
// side comes out negative, a side pair zero when it is reversed.
QRect SeekBarInner(int thickness, int length, int left, int top, int right, int bottom);

// The width of the filled part of a channel `width` wide at `position` of
// `maximum` (0 counts as 1).
int SeekBarFilledWidth(int width, int position, int maximum);

// The position a click at `x` moves the thumb to, on a channel from `left` to
// `right` with a thumb `halfThumb` wide on each side of its centre.
int SeekBarClickPosition(int x, int left, int right, int halfThumb, int maximum);

}  // namespace ui
