#include "ui/CustomButton.h"

#include <QPainter>

#include "ui/PngGlyph.h"

namespace ui {

CCustomButton::CCustomButton(int normalId, int pressedId, QWidget* parent)
    : QAbstractButton(parent), normal_(LoadPngGlyph(normalId)), pressed_(LoadPngGlyph(pressedId)) {
  setFocusPolicy(Qt::NoFocus);
}

CCustomButton::CCustomButton(int normalId, int pressedId, int thirdId, QWidget* parent)
    : CCustomButton(normalId, pressedId, parent) {
  third_ = LoadPngGlyph(thirdId);
}

void CCustomButton::SetBackground(const QPixmap& panel) {
  background_.Take(*this, panel);
  update();
}

void CCustomButton::paintEvent(QPaintEvent*) {
  if (!background_.taken()) return;
  QPainter painter(this);
  background_.Draw(painter);
  DrawGlyph(painter, 0, 0, isDown() ? pressed_ : normal_);
}

bool CCustomButton::hitButton(const QPoint& position) const {
  // A double click arrives as a second press (Qt's default), so two quick
  // clicks give two commands.
  return normal_.valid(position) && qAlpha(normal_.pixel(position)) != 0;
}

}  // namespace ui
