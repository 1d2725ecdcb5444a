#pragma once

#include <QImage>

namespace ui {

// The colour channels of every pixel scaled by its alpha, rounded the way
// the panel's alpha blending expects: v becomes (v * a + 127) / 255 where a
// is below 255. Returns a premultiplied 32-bit image; null stays null.
QImage PremultiplyAlpha(const QImage& image);

// The panel image with resource id `id`, premultiplied; a null image when
// it is missing or cannot be decoded, which draws nothing.
QImage LoadPngGlyph(int id);

}  // namespace ui
