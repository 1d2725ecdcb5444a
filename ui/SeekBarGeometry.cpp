#include "ui/SeekBarGeometry.h"

namespace ui {

QRect SeekBarWindow(int x, int y, int length, int thickness) {
  const int left = x - thickness + 15;
  const int right = x + length + thickness - 15;
  const int top = y - thickness / 2 - 3;
  const int bottom = y + thickness - thickness / 2 - 1;
  return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

QRect SeekBarInner(int thickness, int length, int left, int top, int right, int bottom) {
  int l = left + thickness + 29;
  int t = top + 2;
  int r = thickness + length - right - 23;
  int b = thickness - bottom + 2;
  if (l < 0 || t < 0 || r < 0 || b < 0) return QRect(QPoint(0, 0), QPoint(-1, -1));
  if (r < l) l = r = 0;
  if (b < t) t = b = 0;
  return QRect(QPoint(l, t), QPoint(r - 1, b - 1));
}

int SeekBarFilledWidth(int width, int position, int maximum) {
  if (maximum == 0) maximum = 1;
  if (width <= 0 || position <= 0) return 0;
  if (position >= maximum) return width;
  return static_cast<int>(static_cast<long long>(width) * position / maximum);
}

int SeekBarClickPosition(int x, int left, int right, int halfThumb, int maximum) {
  const int width = (right - halfThumb) - (left + halfThumb);
  if (width <= 0) return 0;
  const int offset = x - (left + halfThumb);
  return static_cast<int>(static_cast<double>(maximum) * offset / width + 0.5);
}

}  // namespace ui
