#include "ui/PanelBackground.h"

#include <QPainter>
#include <QWidget>

namespace ui {

void PanelBackground::Take(const QWidget& control, const QPixmap& panel) {
  const QWidget* parent = control.parentWidget();
  const QPoint origin = parent != nullptr ? control.mapTo(parent, QPoint(0, 0)) : QPoint(0, 0);
  copy_ = panel.copy(QRect(origin, control.size()));
  taken_ = true;
}

void PanelBackground::Draw(QPainter& painter) const {
  painter.drawPixmap(0, 0, copy_);
}

void DrawGlyph(QPainter& painter, int x, int y, const QImage& glyph) {
  if (!glyph.isNull()) painter.drawImage(x, y, glyph);
}

}  // namespace ui
