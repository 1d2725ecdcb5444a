// The panel controls on the offscreen platform: what they draw over the
// panel picture and how they answer the mouse.
#include <gtest/gtest.h>

#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#include "sources/TrackInfo.h"
#include "ui/CustomButton.h"
#include "ui/LcdControls.h"
#include "ui/PngGlyph.h"
#include "ui/StatusTextArea.h"

namespace {

const QColor kPanel(40, 90, 30);
const QColor kUntouched(255, 0, 255);

// A panel of one colour, as large as the player's client area.
QPixmap Panel() {
  QPixmap panel(709, 566);
  panel.fill(kPanel);
  return panel;
}

// What `control` draws, onto a canvas of a colour no control uses.
QImage Rendered(QWidget& control) {
  QImage canvas(control.size(), QImage::Format_ARGB32_Premultiplied);
  canvas.fill(kUntouched);
  control.render(&canvas, QPoint(), QRegion(), QWidget::DrawChildren);
  return canvas;
}

// The panel with `glyphs` (id, x, y) drawn over it, as a control of `size`
// should look.
QImage Composed(QSize size, std::initializer_list<std::tuple<int, int, int>> glyphs) {
  QImage image(size, QImage::Format_ARGB32_Premultiplied);
  image.fill(kPanel);
  QPainter painter(&image);
  for (const auto& [id, x, y] : glyphs)
    painter.drawImage(x, y, ui::LoadPngGlyph(id));
  return image;
}

bool AllPixels(const QImage& image, const QColor& colour) {
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixelColor(x, y) != colour) return false;
  return true;
}

TEST(PngGlyphTest, ColoursArePremultipliedWithRounding) {
  QImage source(4, 1, QImage::Format_ARGB32);
  source.setPixel(0, 0, qRgba(200, 100, 50, 255));
  source.setPixel(1, 0, qRgba(200, 100, 51, 128));
  source.setPixel(2, 0, qRgba(255, 1, 254, 1));
  source.setPixel(3, 0, qRgba(90, 90, 90, 0));
  const QImage out = ui::PremultiplyAlpha(source);
  ASSERT_EQ(out.format(), QImage::Format_ARGB32_Premultiplied);
  const QRgb expected[] = {qRgba(200, 100, 50, 255), qRgba(100, 50, 26, 128), qRgba(1, 0, 1, 1),
                           qRgba(0, 0, 0, 0)};
  for (int x = 0; x < 4; ++x) {
    EXPECT_EQ(reinterpret_cast<const QRgb*>(out.constScanLine(0))[x], expected[x]) << x;
  }
  EXPECT_TRUE(ui::LoadPngGlyph(999).isNull()) << "a missing image is empty";
  EXPECT_EQ(ui::LoadPngGlyph(312).size(), QSize(80, 80));
}

TEST(LcdControlsTest, NothingIsDrawnBeforeThePanelIsHandedOver) {
  QWidget parent;
  ui::CLcdTimeDisplayCtrl time(&parent);
  ui::CLcdRateDisplayCtrl rate(&parent);
  ui::CLcdExtDisplayCtrl format(&parent);
  TrackInfo item;
  item.formatName = L"WAVE";
  item.format.nSamplesPerSec = 96000;
  rate.SetItem(&item);
  format.SetItem(&item);
  for (QWidget* control : {static_cast<QWidget*>(&time), static_cast<QWidget*>(&rate),
                           static_cast<QWidget*>(&format)}) {
    EXPECT_TRUE(AllPixels(Rendered(*control), kUntouched));
  }
}

TEST(LcdControlsTest, GlyphsStandInTheirCellsOverThePanel) {
  QWidget parent;
  parent.resize(709, 566);
  ui::CLcdTimeDisplayCtrl time(&parent);
  time.move(473, 67);
  time.SetBackground(Panel());
  EXPECT_EQ(Rendered(time),
            Composed(time.size(),
                     {{340, 24, 0}, {340, 48, 0}, {339, 72, 0}, {340, 86, 0}, {340, 110, 0}}))
      << "00:00 before any time is set";
  time.SetTime(1, 2, 5);
  EXPECT_EQ(Rendered(time),
            Composed(time.size(),
                     {{346, 24, 0}, {342, 48, 0}, {339, 72, 0}, {340, 86, 0}, {345, 110, 0}}));

  ui::CLcdRateDisplayCtrl rate(&parent);
  rate.move(387, 88);
  rate.SetBackground(Panel());
  TrackInfo item;
  item.formatName = L"WAVE";
  item.format.nSamplesPerSec = 96000;
  item.format.wBitsPerSample = 24;
  rate.SetItem(&item);
  EXPECT_EQ(
      Rendered(rate),
      Composed(rate.size(), {{381, 8, 0}, {378, 16, 0}, {356, 24, 0}, {372, 29, 0}, {383, 37, 0}}))
      << "96.0kHz";
  rate.SetItem(nullptr);
  EXPECT_EQ(Rendered(rate), Composed(rate.size(), {}));

  ui::CLcdExtDisplayCtrl format(&parent);
  format.move(385, 43);
  format.SetBackground(Panel());
  format.SetItem(&item);
  EXPECT_EQ(Rendered(format),
            Composed(format.size(),
                     {{322, 0, 0}, {324, 44, 0}, {328, 84, 0}, {326, 124, 0}, {329, 164, 0}}))
      << "WAV lit, the others unlit";
}

TEST(LcdControlsTest, TheBackgroundIsThePartOfThePanelUnderTheControl) {
  QWidget parent;
  parent.resize(709, 566);
  QPixmap panel = Panel();
  {
    QPainter painter(&panel);
    painter.fillRect(QRect(0, 0, 400, 566), Qt::black);  // left of the display's x 387 + 13
  }
  ui::CLcdRateDisplayCtrl rate(&parent);
  rate.move(387, 88);
  rate.SetBackground(panel);
  const QImage image = Rendered(rate);
  EXPECT_EQ(image.pixelColor(12, 8), QColor(Qt::black));
  EXPECT_EQ(image.pixelColor(13, 8), kPanel);
}

class ButtonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    parent_.resize(709, 566);
    play_.setGeometry(201, 37, 80, 80);
    parent_.show();
  }
  QWidget parent_;
  ui::CCustomButton play_{312, 311, 310, &parent_};
};

TEST_F(ButtonTest, OnlyTheDrawnShapeIsClickableAndEveryClickCounts) {
  QSignalSpy clicks(&play_, &QAbstractButton::clicked);
  QTest::mouseClick(&play_, Qt::LeftButton, {}, QPoint(2, 2));
  EXPECT_EQ(clicks.count(), 0) << "a transparent corner";
  QTest::mouseClick(&play_, Qt::LeftButton, {}, QPoint(40, 43));
  EXPECT_EQ(clicks.count(), 1);
  QTest::mouseDClick(&play_, Qt::LeftButton, {}, QPoint(40, 43));
  QTest::mouseRelease(&play_, Qt::LeftButton, {}, QPoint(40, 43));
  EXPECT_EQ(clicks.count(), 2) << "a double click is a second press";
}

TEST_F(ButtonTest, DrawsNothingUntilItHasItsBackgroundThenTheHeldImage) {
  EXPECT_TRUE(AllPixels(Rendered(play_), kUntouched));
  play_.SetBackground(Panel());
  EXPECT_EQ(Rendered(play_), Composed(play_.size(), {{312, 0, 0}}));
  QTest::mousePress(&play_, Qt::LeftButton, {}, QPoint(40, 43));
  EXPECT_EQ(Rendered(play_), Composed(play_.size(), {{311, 0, 0}})) << "held down";
  QTest::mouseRelease(&play_, Qt::LeftButton, {}, QPoint(40, 43));
  EXPECT_EQ(Rendered(play_), Composed(play_.size(), {{312, 0, 0}}));
}

// The panel a status line sits on: one colour.
class PanelWidget : public QWidget {
 protected:
  void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), kPanel); }
};

TEST(StatusTextAreaTest, AShorterTextLeavesNoTraceOfTheLongerOne) {
  PanelWidget panel;
  panel.resize(709, 566);
  ui::CStatusTextArea status(&panel);
  status.setGeometry(16, 520, 678, 22);
  panel.show();
  status.SetText(QString(60, QChar('W')));
  const QImage longText = panel.grab(status.geometry()).toImage();
  status.SetText("W");
  const QImage shortText = panel.grab(status.geometry()).toImage();
  const int beyond = status.fontMetrics().horizontalAdvance("WW");
  bool longCovered = false;
  for (int x = beyond; x < shortText.width(); ++x) {
    for (int y = 0; y < shortText.height(); ++y) {
      longCovered |= longText.pixelColor(x, y) != kPanel;
      ASSERT_EQ(shortText.pixelColor(x, y), kPanel) << x << "," << y;
    }
  }
  EXPECT_TRUE(longCovered) << "the long text was drawn where the short one is not";
}

}  // namespace
