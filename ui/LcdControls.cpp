#include "ui/LcdControls.h"

#include <QPainter>

#include "sources/TrackInfo.h"
#include "ui/PanelImages.h"
#include "ui/PngGlyph.h"

namespace ui {
namespace {

constexpr int kTimeCellX[6] = {0, 24, 48, 72, 86, 110};
// Three digits, the tenth, the point between them, the unit.
constexpr int kRateCellX[6] = {0, 8, 16, 29, 24, 37};
constexpr int kLabelX[5] = {0, 44, 84, 124, 164};
constexpr QPoint kIndicatorAt[5] = {{18, 14}, {43, 14}, {68, 14}, {93, 14}, {118, 14}};
constexpr int kAreaCellX[6] = {146, 165, 184, 203, 211, 230};
constexpr int kAreaCellWidth[6] = {19, 19, 19, 8, 19, 19};
constexpr int kAreaCellY = 16;
constexpr int kAreaCellHeight = 27;
constexpr int kStripCell = 19;

}  // namespace

CLcdControl::CLcdControl(QWidget* parent, QSize size, std::span<const int> glyphIds)
    : QWidget(parent) {
  setFixedSize(size);
  setAttribute(Qt::WA_NoSystemBackground);
  for (int id : glyphIds)
    glyphs_.push_back(LoadPngGlyph(id));
}

void CLcdControl::SetBackground(const QPixmap& panel) {
  background_.Take(*this, panel);
  update();
}

void CLcdControl::paintEvent(QPaintEvent*) {
  if (!background_.taken()) return;
  QPainter painter(this);
  background_.Draw(painter);
  DrawGlyphs(painter);
}

void CLcdControl::DrawGlyphAt(QPainter& painter, int index, int x, int y) const {
  if (index < 0 || static_cast<std::size_t>(index) >= glyphs_.size()) return;
  DrawGlyph(painter, x, y, Glyph(index));
}

CLcdTimeDisplayCtrl::CLcdTimeDisplayCtrl(QWidget* parent)
    : CLcdControl(parent, QSize(134, 36), image::kTimeGlyphs), cells_(TimeCells(0, 0, 0)) {}

void CLcdTimeDisplayCtrl::SetTime(int hours, int minutes, int seconds) {
  cells_ = TimeCells(hours, minutes, seconds);
  update();
}

void CLcdTimeDisplayCtrl::Refresh(const TrackInfo*) {
  update();
}

void CLcdTimeDisplayCtrl::DrawGlyphs(QPainter& painter) const {
  for (int cell = 0; cell < 6; ++cell)
    DrawGlyphAt(painter, cells_[cell], kTimeCellX[cell], 0);
}

CLcdRateDisplayCtrl::CLcdRateDisplayCtrl(QWidget* parent)
    : CLcdControl(parent, QSize(70, 17), image::kRateGlyphs) {
  cells_.fill(kNoGlyph);
}

void CLcdRateDisplayCtrl::SetItem(const TrackInfo* item) {
  hasValue_ = item != nullptr && RateCells(*item, cells_);
  update();
}

void CLcdRateDisplayCtrl::DrawGlyphs(QPainter& painter) const {
  if (!hasValue_) return;
  for (int cell = 0; cell < 6; ++cell)
    DrawGlyphAt(painter, cells_[cell], kRateCellX[cell], 0);
}

// Glyph 2k is label k lit, 2k + 1 the same label unlit.
CLcdExtDisplayCtrl::CLcdExtDisplayCtrl(QWidget* parent)
    : CLcdControl(parent, QSize(215, 16), image::kFormatLabels) {}

void CLcdExtDisplayCtrl::SetItem(const TrackInfo* item) {
  lit_ = item != nullptr ? FormatLabelIndex(item->formatName) : -1;
  update();
}

void CLcdExtDisplayCtrl::DrawGlyphs(QPainter& painter) const {
  for (int label = 0; label < 5; ++label)
    DrawGlyphAt(painter, 2 * label + (label == lit_ ? 0 : 1), kLabelX[label], 0);
}

CLcdDisplayAreaCtrl::CLcdDisplayAreaCtrl(QWidget* parent)
    : CLcdControl(parent, QSize(16, 16), image::kDisplayArea) {}

void CLcdDisplayAreaCtrl::DrawGlyphs(QPainter& painter) const {
  if (indicator_ >= 0 && indicator_ <= 4) {
    DrawGlyphAt(painter, 0, kIndicatorAt[indicator_].x(), kIndicatorAt[indicator_].y());
  }
  const QImage& strip = Glyph(1);
  if (strip.isNull()) return;
  for (int cell = 0; cell < 6; ++cell) {
    const int glyph = cells_[cell];
    if (glyph < 0 || glyph > 10) continue;
    const int width = kAreaCellWidth[cell];
    const QRect source(glyph * kStripCell + (kStripCell - width) / 2, 0, width, kAreaCellHeight);
    painter.drawImage(QRect(kAreaCellX[cell], kAreaCellY, width, kAreaCellHeight), strip, source);
  }
}

}  // namespace ui
