#pragma once

#include <QImage>
#include <QSlider>

#include "ui/PanelBackground.h"

namespace ui {

// What the seek bar reports of its thumb being held.
class ISeekbarSliderCtrlEventListener {
 public:
  virtual ~ISeekbarSliderCtrlEventListener() = default;
  virtual void OnThumbPressed(bool pressed) = 0;
};

// The scroll reports of a drag, in the order a press, moves and a release
// give them.
enum SeekScrollCode : int {
  kSeekThumbPosition = 4,  // released after a drag
  kSeekThumbTrack = 5,     // pressed or moved
  kSeekEndTrack = 8,       // the drag is over
};

// The seek bar: a thin channel filled up to the position and a thumb image,
// over the panel. Only the left button does anything; a click in the channel
// moves the thumb there and starts a drag, a click elsewhere is swallowed,
// the wheel and keys change nothing and the bar never takes the focus.
class CSeekbarSliderCtrl : public QSlider, public IPseudoTransparentBackgroundControl {
  Q_OBJECT

 public:
  explicit CSeekbarSliderCtrl(QWidget* parent = nullptr);

  void SetListener(ISeekbarSliderCtrlEventListener* listener) { listener_ = listener; }
  void SetMargins(int left, int top, int right, int bottom);
  // Places the bar around a channel at (x, y) in the parent.
  void SetChannel(int x, int y, int length, int thickness);
  void SetPos(int position);
  // A position report: the bar repaints its inner rectangle (it draws
  // value(), which SetPos moves when the view decides to).
  void ShowPosition(int position);
  void SetBackground(const QPixmap& panel) override;

  // The channel and the thumb, in the bar's own coordinates.
  QRect ChannelRect() const;
  QRect ThumbRect() const;
  QRect InnerRect() const { return inner_; }
  bool pressed() const { return pressed_; }

 signals:
  void Scrolled(int code);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;
  void moveEvent(QMoveEvent* event) override;

 private:
  int HalfThumb() const { return thumbWidth_ / 2; }
  bool InChannelZone(const QPoint& point) const;
  int PositionAt(int x) const;
  void Release();

  bool pressed_ = false;
  QImage thumbNormal_;
  QImage thumbPressed_;
  int thumbWidth_ = 0;
  int thumbHeight_ = 0;
  QRect channel_;  // in the parent, as the view gave it
  int margins_[4] = {0, 0, 0, 0};
  QRect inner_;
  int grabOffset_ = 0;
  ISeekbarSliderCtrlEventListener* listener_ = nullptr;
  PanelBackground background_;
};

}  // namespace ui
