#include "ui/PngGlyph.h"

#include <QString>

namespace ui {

QImage PremultiplyAlpha(const QImage& image) {
  if (image.isNull()) return {};
  QImage source = image.convertToFormat(QImage::Format_ARGB32);
  QImage out(source.size(), QImage::Format_ARGB32_Premultiplied);
  for (int y = 0; y < source.height(); ++y) {
    const auto* from = reinterpret_cast<const QRgb*>(source.constScanLine(y));
    auto* to = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < source.width(); ++x) {
      const QRgb pixel = from[x];
      const int alpha = qAlpha(pixel);
      if (alpha == 255) {
        to[x] = pixel;
        continue;
      }
      auto scale = [alpha](int value) { return (value * alpha + 127) / 255; };
      to[x] = qRgba(scale(qRed(pixel)), scale(qGreen(pixel)), scale(qBlue(pixel)), alpha);
    }
  }
  return out;
}

QImage LoadPngGlyph(int id) {
  QImage image;
  if (!image.load(QStringLiteral(":/png/%1.png").arg(id), "PNG")) return {};
  return PremultiplyAlpha(image);
}

}  // namespace ui
