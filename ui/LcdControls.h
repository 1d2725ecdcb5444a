#pragma once

#include <QImage>
#include <QWidget>
#include <span>
#include <vector>

#include "ui/LcdSelectors.h"
#include "ui/PanelBackground.h"

struct TrackInfo;

namespace ui {

// An LCD read-out of the panel: glyph images drawn over the copy of the
// panel under it. It draws nothing at all until it has that copy.
class CLcdControl : public QWidget, public IPseudoTransparentBackgroundControl {
 public:
  void SetBackground(const QPixmap& panel) override;

 protected:
  CLcdControl(QWidget* parent, QSize size, std::span<const int> glyphIds);
  void paintEvent(QPaintEvent* event) override;
  virtual void DrawGlyphs(QPainter& painter) const = 0;
  // Draws glyph `index` at `x`, `y` in its own size; out of range draws
  // nothing.
  void DrawGlyphAt(QPainter& painter, int index, int x, int y) const;
  const QImage& Glyph(int index) const { return glyphs_[static_cast<std::size_t>(index)]; }

 private:
  PanelBackground background_;
  std::vector<QImage> glyphs_;
};

// The elapsed time of the current track, mm:ss (mmm:ss from 100 minutes).
class CLcdTimeDisplayCtrl : public CLcdControl {
 public:
  explicit CLcdTimeDisplayCtrl(QWidget* parent = nullptr);
  void SetTime(int hours, int minutes, int seconds);
  void Refresh(const TrackInfo* item);
  const LcdCells& cells() const { return cells_; }

 protected:
  void DrawGlyphs(QPainter& painter) const override;

 private:
  LcdCells cells_;
};

// The sample rate of an item, e.g. 44.1kHz or 2.8MHz for DSD64.
class CLcdRateDisplayCtrl : public CLcdControl {
 public:
  explicit CLcdRateDisplayCtrl(QWidget* parent = nullptr);
  void SetItem(const TrackInfo* item);
  bool hasValue() const { return hasValue_; }
  const LcdCells& cells() const { return cells_; }

 protected:
  void DrawGlyphs(QPainter& painter) const override;

 private:
  LcdCells cells_;
  bool hasValue_ = false;
};

// Five format labels, the item's one lit.
class CLcdExtDisplayCtrl : public CLcdControl {
 public:
  explicit CLcdExtDisplayCtrl(QWidget* parent = nullptr);
  void SetItem(const TrackInfo* item);
  int litLabel() const { return lit_; }

 protected:
  void DrawGlyphs(QPainter& painter) const override;

 private:
  int lit_ = -1;
};

// The display area behind the other read-outs: an indicator and six glyph
// cells taken from one strip. Nothing changes its state; its cells lie
// outside its small window, so it shows the panel under it.
class CLcdDisplayAreaCtrl : public CLcdControl {
 public:
  explicit CLcdDisplayAreaCtrl(QWidget* parent = nullptr);

 protected:
  void DrawGlyphs(QPainter& painter) const override;

 private:
  int indicator_ = -1;
  LcdCells cells_ = {kNoGlyph, 0, 0, 10, 0, 0};
};

}  // namespace ui
