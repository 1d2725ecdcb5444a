#pragma once

#include <QAbstractButton>
#include <QImage>

#include "ui/PanelBackground.h"

namespace ui {

// A transport button drawn from its images over the panel: the normal image,
// or the pressed one while it is held down. Only the drawn shape is
// clickable: presses on transparent pixels of the normal image are ignored.
class CCustomButton : public QAbstractButton, public IPseudoTransparentBackgroundControl {
 public:
  CCustomButton(int normalId, int pressedId, QWidget* parent = nullptr);
  // The third image is kept but drawn in no state.
  CCustomButton(int normalId, int pressedId, int thirdId, QWidget* parent = nullptr);

  void SetBackground(const QPixmap& panel) override;
  QSize sizeHint() const override { return normal_.size(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool hitButton(const QPoint& position) const override;

 private:
  PanelBackground background_;
  QImage normal_;
  QImage pressed_;
  QImage third_;
};

}  // namespace ui
