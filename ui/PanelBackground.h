#pragma once

#include <QImage>
#include <QPixmap>

class QPainter;
class QWidget;

namespace ui {

// A panel control that draws as if it had no rectangle of its own: it is
// handed the whole panel picture once and keeps the part under itself.
class IPseudoTransparentBackgroundControl {
 public:
  virtual ~IPseudoTransparentBackgroundControl() = default;
  virtual void SetBackground(const QPixmap& panel) = 0;
};

// The copy of the panel under one control, and whether it has been taken.
class PanelBackground {
 public:
  // Copies the part of `panel` (the parent's whole client area) that lies
  // under `control`.
  void Take(const QWidget& control, const QPixmap& panel);
  bool taken() const { return taken_; }
  // Draws the copy over the control's whole area.
  void Draw(QPainter& painter) const;

 private:
  QPixmap copy_;
  bool taken_ = false;
};

// Draws a premultiplied glyph at `x`, `y` in its own size; a null glyph
// draws nothing.
void DrawGlyph(QPainter& painter, int x, int y, const QImage& glyph);

}  // namespace ui
