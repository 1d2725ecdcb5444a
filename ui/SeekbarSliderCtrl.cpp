#include "ui/SeekbarSliderCtrl.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "ui/PanelImages.h"
#include "ui/PngGlyph.h"
#include "ui/SeekBarGeometry.h"

namespace ui {
namespace {

// The groove is as high as its edge images.
constexpr int kChannelHeight = 4;
const QColor kPlayed(11, 183, 197);
const QColor kToPlay(220, 220, 220);

}  // namespace

CSeekbarSliderCtrl::CSeekbarSliderCtrl(QWidget* parent)
    : QSlider(Qt::Horizontal, parent),
      thumbNormal_(LoadPngGlyph(image::kSeekThumbNormal)),
      thumbPressed_(LoadPngGlyph(image::kSeekThumbPressed)),
      thumbWidth_(thumbNormal_.width()),
      thumbHeight_(thumbNormal_.height()) {
  setFocusPolicy(Qt::NoFocus);
  setTracking(true);
}

void CSeekbarSliderCtrl::SetMargins(int left, int top, int right, int bottom) {
  margins_[0] = left;
  margins_[1] = top;
  margins_[2] = right;
  margins_[3] = bottom;
  inner_ = SeekBarInner(channel_.height(), channel_.width(), left, top, right, bottom);
}

void CSeekbarSliderCtrl::SetChannel(int x, int y, int length, int thickness) {
  channel_ = QRect(x, y, length, thickness);
  inner_ = SeekBarInner(thickness, length, margins_[0], margins_[1], margins_[2], margins_[3]);
  setGeometry(SeekBarWindow(x, y, length, thickness));
}

void CSeekbarSliderCtrl::SetPos(int position) {
  setValue(position);
  update();
}

void CSeekbarSliderCtrl::ShowPosition(int /*position*/) {
  update(inner_);
}

void CSeekbarSliderCtrl::SetBackground(const QPixmap& panel) {
  background_.Take(*this, panel);
  update();
}

QRect CSeekbarSliderCtrl::ChannelRect() const {
  const QPoint origin = geometry().topLeft();
  return QRect(channel_.x() - origin.x(), (height() - kChannelHeight) / 2, channel_.width(),
               kChannelHeight);
}

QRect CSeekbarSliderCtrl::ThumbRect() const {
  const QRect channel = ChannelRect();
  const int h = HalfThumb();
  const int usable = channel.width() - 2 * h;
  const int range = maximum() - minimum();
  const int offset =
      range > 0 ? static_cast<int>(static_cast<long long>(usable) * (value() - minimum()) / range)
                : 0;
  const int centre = channel.left() + h + offset;
  return QRect(centre - h, (height() - thumbHeight_) / 2, thumbWidth_, thumbHeight_);
}

void CSeekbarSliderCtrl::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (background_.taken()) {
    const QRect channel = ChannelRect().adjusted(HalfThumb(), 0, -HalfThumb(), 0);
    const int filled = SeekBarFilledWidth(channel.width(), value(), maximum());
    painter.fillRect(QRect(channel.topLeft(), QSize(filled, channel.height())), kPlayed);
    painter.fillRect(
        QRect(channel.left() + filled, channel.top(), channel.width() - filled, channel.height()),
        kToPlay);
  }
  const QRect thumb = ThumbRect();
  DrawGlyph(painter, thumb.left(), thumb.top(), pressed_ ? thumbPressed_ : thumbNormal_);
}

bool CSeekbarSliderCtrl::InChannelZone(const QPoint& point) const {
  const QRect channel = ChannelRect();
  const int h = HalfThumb();
  return point.x() >= channel.left() + h && point.x() <= channel.right() + 1 - h &&
         point.y() >= channel.top() - 4 && point.y() <= channel.bottom() + 1 + 4;
}

int CSeekbarSliderCtrl::PositionAt(int x) const {
  const QRect channel = ChannelRect();
  const int position =
      SeekBarClickPosition(x, channel.left(), channel.right() + 1, HalfThumb(), maximum());
  return std::clamp(position, minimum(), maximum());
}

void CSeekbarSliderCtrl::mousePressEvent(QMouseEvent* event) {
  event->accept();
  if (event->button() != Qt::LeftButton) return;
  const QPoint point = event->position().toPoint();
  const bool onThumb = ThumbRect().contains(point);
  if (!onThumb && !InChannelZone(point)) return;  // no paging beside the thumb
  if (!onThumb) SetPos(PositionAt(point.x()));
  grabOffset_ = point.x() - ThumbRect().center().x();
  if (!pressed_) {
    pressed_ = true;
    if (listener_ != nullptr) listener_->OnThumbPressed(true);
  }
  setSliderDown(true);
  update();
  emit Scrolled(kSeekThumbTrack);
}

void CSeekbarSliderCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
  mousePressEvent(event);
}

void CSeekbarSliderCtrl::mouseMoveEvent(QMouseEvent* event) {
  event->accept();
  if (!pressed_) return;
  const int position = PositionAt(static_cast<int>(event->position().x()) - grabOffset_);
  if (position == value()) return;
  setSliderPosition(position);
  update();
  emit Scrolled(kSeekThumbTrack);
}

void CSeekbarSliderCtrl::mouseReleaseEvent(QMouseEvent* event) {
  event->accept();
  if (event->button() != Qt::LeftButton || !pressed_) return;
  Release();
  emit Scrolled(kSeekThumbPosition);
  emit Scrolled(kSeekEndTrack);
}

void CSeekbarSliderCtrl::Release() {
  pressed_ = false;
  setSliderDown(false);
  if (listener_ != nullptr) listener_->OnThumbPressed(false);
  update();
}

void CSeekbarSliderCtrl::wheelEvent(QWheelEvent* event) {
  event->accept();
}

void CSeekbarSliderCtrl::keyPressEvent(QKeyEvent* event) {
  event->ignore();
}

void CSeekbarSliderCtrl::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange && !isEnabled() && pressed_) Release();
  QSlider::changeEvent(event);
}

void CSeekbarSliderCtrl::moveEvent(QMoveEvent* event) {
  update(ThumbRect());
  QSlider::moveEvent(event);
}

}  // namespace ui
