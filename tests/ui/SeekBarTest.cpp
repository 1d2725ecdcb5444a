// The seek bar: its geometry, its drawing and the one seek per drag or click.
#include <gtest/gtest.h>

#include <QTest>
#include <QWheelEvent>
#include <string>
#include <vector>

#include "ui/SeekBarGeometry.h"
#include "ui/SeekControlHelper.h"
#include "ui/SeekbarSliderCtrl.h"

namespace {

TEST(SeekBarGeometryTest, WindowInnerRectangleFillAndClicks) {
  EXPECT_EQ(ui::SeekBarWindow(133, 146, 462, 32), QRect(116, 127, 496, 34));
  EXPECT_EQ(ui::SeekBarInner(32, 462, 0, 0, 0, 0), QRect(QPoint(61, 2), QPoint(470, 33)));
  EXPECT_EQ(ui::SeekBarInner(32, 462, -70, 0, 0, 0), QRect(QPoint(0, 0), QPoint(-1, -1)))
      << "a negative side zeroes all four";
  EXPECT_EQ(ui::SeekBarInner(32, 20, 0, 0, 0, 0), QRect(QPoint(0, 2), QPoint(-1, 33)))
      << "a reversed pair becomes 0, 0";

  const struct {
    int width, position, maximum, filled;
  } fills[] = {{432, 60, 240, 108}, {432, 0, 240, 0},     {432, 240, 240, 432},
               {432, 5, 0, 432},    {432, 300, 240, 432}, {431, 1, 3, 143}};
  for (const auto& f : fills)
    EXPECT_EQ(ui::SeekBarFilledWidth(f.width, f.position, f.maximum), f.filled) << f.position;

  // A channel from 0 to 448 with an 8-pixel half thumb: 432 usable pixels.
  EXPECT_EQ(ui::SeekBarClickPosition(8 + 108, 0, 448, 8, 240), 60);
  EXPECT_EQ(ui::SeekBarClickPosition(8, 0, 448, 8, 240), 0);
  EXPECT_EQ(ui::SeekBarClickPosition(440, 0, 448, 8, 240), 240);
  EXPECT_EQ(ui::SeekBarClickPosition(9, 0, 448, 8, 240), 1) << "0.56 rounds to 1";
}

// Records what the bar and the seek decision report, in order.
class Recorder : public ui::ISeekControlEventListener, public ui::ISeekbarSliderCtrlEventListener {
 public:
  void OnSeekTrack(int position, bool tracking) override {
    events.push_back("track " + std::to_string(position) + (tracking ? "" : " idle"));
  }
  void OnSeekBegin(int position) override { events.push_back("begin " + std::to_string(position)); }
  void OnSeekEnd(int position) override { events.push_back("end " + std::to_string(position)); }
  void OnThumbPressed(bool pressed) override { events.push_back(pressed ? "pressed" : "released"); }
  std::vector<std::string> events;
};

class SeekBarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    panel_.resize(709, 566);
    bar_.SetListener(&recorder_);
    helper_.SetListener(&recorder_);
    QObject::connect(&bar_, &ui::CSeekbarSliderCtrl::Scrolled,
                     [this](int code) { helper_.HandleScroll(code, bar_); });
    bar_.SetMargins(0, 0, 0, 0);
    bar_.SetChannel(133, 146, 462, 32);
    bar_.setRange(0, 240);
    panel_.show();
  }

  // A point on the channel's axis, `fraction` along its usable width.
  QPoint Along(double fraction) const {
    const QRect channel = bar_.ChannelRect();
    const int half = bar_.ThumbRect().width() / 2;
    const int usable = channel.width() - 2 * half;
    return QPoint(channel.left() + half + static_cast<int>(usable * fraction),
                  channel.center().y());
  }

  QWidget panel_;
  ui::CSeekbarSliderCtrl bar_{&panel_};
  ui::CSeekControlHelper helper_;
  Recorder recorder_;
};

TEST_F(SeekBarTest, SitsAroundItsChannelAndFillsUpToThePosition) {
  EXPECT_EQ(bar_.geometry(), QRect(116, 127, 496, 34));
  bar_.SetBackground(QPixmap(709, 566));
  bar_.SetPos(60);
  const QImage image = bar_.grab().toImage();
  const QRect channel = bar_.ChannelRect();
  const int half = bar_.ThumbRect().width() / 2;
  const int usable = channel.width() - 2 * half;
  const int edge = channel.left() + half + usable * 60 / 240;
  const int y = channel.top();
  EXPECT_EQ(image.pixelColor(channel.left() + half, y), QColor(11, 183, 197));
  EXPECT_EQ(image.pixelColor(channel.right() - half, y), QColor(220, 220, 220));
  // The thumb covers the fill's edge: played colour up to it, grey after it.
  const QRect thumb = bar_.ThumbRect();
  EXPECT_TRUE(thumb.contains(QPoint(edge, bar_.height() / 2)));
  EXPECT_EQ(image.pixelColor(thumb.left() - 1, y), QColor(11, 183, 197));
  EXPECT_EQ(image.pixelColor(thumb.right() + 1, y), QColor(220, 220, 220));
}

TEST_F(SeekBarTest, AClickOnTheChannelJumpsThereAndSeeksOnceOnRelease) {
  bar_.SetPos(200);
  QTest::mousePress(&bar_, Qt::LeftButton, {}, Along(0.25));
  EXPECT_EQ(bar_.value(), 60);
  EXPECT_TRUE(bar_.pressed());
  QTest::mouseRelease(&bar_, Qt::LeftButton, {}, Along(0.25));
  EXPECT_EQ(recorder_.events, (std::vector<std::string>{"pressed", "begin 60", "track 60",
                                                        "released", "track 60", "end 60"}));
  EXPECT_FALSE(helper_.tracking());
}

TEST_F(SeekBarTest, ADragBeginsOnceTracksEveryMoveAndEndsOnce) {
  bar_.SetPos(10);
  const QPoint thumb = bar_.ThumbRect().center();
  QTest::mousePress(&bar_, Qt::LeftButton, {}, thumb);
  EXPECT_EQ(bar_.value(), 10) << "a press on the thumb does not move it";
  const QPoint target = Along(100.0 / 240);
  for (int step = 1; step <= 3; ++step) {
    QTest::mouseMove(&bar_, thumb + (target - thumb) * step / 3);
  }
  QTest::mouseRelease(&bar_, Qt::LeftButton, {}, target);
  ASSERT_GE(recorder_.events.size(), 6u);
  EXPECT_EQ(recorder_.events.front(), "pressed");
  EXPECT_EQ(recorder_.events[1], "begin 10");
  EXPECT_EQ(std::count(recorder_.events.begin(), recorder_.events.end(), "begin 10"), 1);
  EXPECT_EQ(recorder_.events.back(), "end 100");
  EXPECT_EQ(std::count_if(recorder_.events.begin(), recorder_.events.end(),
                          [](const std::string& e) { return e.rfind("end", 0) == 0; }),
            1);
  // A late end-of-track report after the drag asks for nothing more.
  recorder_.events.clear();
  helper_.HandleScroll(ui::kSeekEndTrack, bar_);
  EXPECT_TRUE(recorder_.events.empty());
}

TEST_F(SeekBarTest, TheWheelClicksBesideTheChannelAndOtherButtonsDoNothing) {
  bar_.SetPos(30);
  QWheelEvent wheel(QPointF(Along(0.5)), bar_.mapToGlobal(QPointF(Along(0.5))), QPoint(),
                    QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(&bar_, &wheel);
  const QPoint below(Along(0.5).x(), bar_.ChannelRect().bottom() + 1 + 10);
  QTest::mouseClick(&bar_, Qt::LeftButton, {}, below);
  QTest::mouseClick(&bar_, Qt::RightButton, {}, Along(0.75));
  QTest::keyClick(&bar_, Qt::Key_Right);
  EXPECT_EQ(bar_.value(), 30);
  EXPECT_TRUE(recorder_.events.empty());
}

TEST_F(SeekBarTest, DisablingWhileHeldReleasesTheThumb) {
  QTest::mousePress(&bar_, Qt::LeftButton, {}, bar_.ThumbRect().center());
  bar_.setEnabled(false);
  EXPECT_FALSE(bar_.pressed());
  EXPECT_EQ(recorder_.events.back(), "released");
}

}  // namespace
