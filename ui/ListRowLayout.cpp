#include "ui/ListRowLayout.h"

#include <algorithm>

namespace ui {

namespace {

const QString kEllipsis = QStringLiteral("...");

// Insets of the text area from the cell's left and right edges.
constexpr int kFirstColumnInset = 3;
constexpr int kColumnInset = 6;

}  // namespace

QString ShortenToWidth(const QString& text, int width, const QFontMetrics& metrics) {
  if (metrics.horizontalAdvance(text) <= width) return text;
  // The widths of the beginnings grow with their length, so the longest one
  // that fits is found by halving.
  qsizetype fits = 0, tooLong = text.size();
  while (tooLong - fits > 1) {
    const qsizetype middle = (fits + tooLong) / 2;
    if (metrics.horizontalAdvance(text.left(middle) + kEllipsis) <= width)
      fits = middle;
    else
      tooLong = middle;
  }
  // Never end on the first half of a surrogate pair.
  if (fits > 0 && text.at(fits - 1).isHighSurrogate()) --fits;
  return text.left(fits) + kEllipsis;
}

ListCellLayout LayoutListCell(const QRect& cell, int column, const QString& text,
                              Qt::Alignment columnAlignment, QSize imageSize,
                              const QFontMetrics& metrics) {
  ListCellLayout layout;
  const int inset = column == 0 ? kFirstColumnInset : kColumnInset;
  int left = cell.left() + inset;
  const int right = cell.left() + cell.width() - inset;
  if (!imageSize.isEmpty()) {
    const int shown = std::min(imageSize.width(), cell.width());
    layout.imageRect =
        QRect(cell.left() + (cell.width() - shown) / 2,
              cell.top() + (cell.height() - imageSize.height()) / 2, shown, imageSize.height());
    left += imageSize.width() - 2;
  }
  const int width = std::max(0, right - left);
  layout.text = ShortenToWidth(text, width, metrics);
  if (layout.text != text)
    layout.alignment = Qt::AlignLeft;
  else if (column == 0)
    layout.alignment = Qt::AlignHCenter;
  else if (columnAlignment & (Qt::AlignRight | Qt::AlignHCenter))
    layout.alignment = columnAlignment & (Qt::AlignRight | Qt::AlignHCenter);
  else
    layout.alignment = Qt::AlignLeft;
  const int lines = static_cast<int>(text.count(QChar('\n'))) + 1;
  const int height = lines * metrics.height();
  layout.textRect = QRect(left, cell.top() + (cell.height() - height) / 2, width, height);
  return layout;
}

}  // namespace ui
