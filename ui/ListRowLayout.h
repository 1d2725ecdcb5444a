#pragma once

#include <QFontMetrics>
#include <QRect>
#include <QString>

namespace ui {

// `text` when it fits in `width` pixels; otherwise its longest beginning that
// fits together with "...", followed by "...".
QString ShortenToWidth(const QString& text, int width, const QFontMetrics& metrics);

// Where one cell of a playlist row puts its image and its text.
struct ListCellLayout {
  QString text;             // as drawn, shortened when it did not fit
  QRect textRect;           // the text's lines, centred vertically in the cell
  Qt::Alignment alignment;  // horizontal, inside textRect
  QRect imageRect;          // where the row image goes; empty without one
};

// Lays out `text` in `cell` (row coordinates) of column `column`. The first
// column is centred, the others follow `columnAlignment`; shortened text is
// always left-aligned. `imageSize` is the size of the row image shown in
// this cell, empty for none.
ListCellLayout LayoutListCell(const QRect& cell, int column, const QString& text,
                              Qt::Alignment columnAlignment, QSize imageSize,
                              const QFontMetrics& metrics);

}  // namespace ui
