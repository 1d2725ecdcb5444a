// The playlist control: how it lays out and draws rows, how row drags and
// file drops end, and what the owner's settings do.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QMimeData>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/ExListCtrl.h"
#include "ui/ListRowLayout.h"

namespace {

using AutoScroll = ui::CExListCtrl::AutoScroll;

const QColor kMarkerBlue(0, 120, 215);

// Text pixels: far darker than the backgrounds and the playing marker.
bool IsDark(const QColor& colour) {
  return qGray(colour.rgb()) < 64;
}

// The horizontal extent of the dark (text) pixels of `area` in `image`; an
// empty pair when there are none.
std::pair<int, int> DarkExtent(const QImage& image, const QRect& area) {
  int left = INT_MAX, right = INT_MIN;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      if (IsDark(image.pixelColor(x, y))) {
        left = std::min(left, x);
        right = std::max(right, x);
      }
  return left <= right ? std::make_pair(left, right) : std::make_pair(0, -1);
}

TEST(ListRowLayoutTest, ShortenedTextKeepsTheLongestBeginningThatFits) {
  const QFontMetrics metrics(QApplication::font());
  const QString title = "A title far too long for the column it is shown in";
  for (int width : {0, 10, 40, 90, 150}) {
    const QString shown = ui::ShortenToWidth(title, width, metrics);
    ASSERT_TRUE(shown.endsWith("...")) << width;
    const QString kept = shown.chopped(3);
    EXPECT_TRUE(title.startsWith(kept)) << width;
    if (!kept.isEmpty()) {
      EXPECT_LE(metrics.horizontalAdvance(shown), width);
    }
    EXPECT_GT(metrics.horizontalAdvance(title.left(kept.size() + 1) + "..."), width)
        << "one character more would have fitted at " << width;
  }
  EXPECT_EQ(ui::ShortenToWidth(title, metrics.horizontalAdvance(title), metrics), title);

  const QString faces = QString::fromUtf8("\U0001F600\U0001F601\U0001F602\U0001F603");
  for (int width = 0; width < metrics.horizontalAdvance(faces); ++width) {
    const QString kept = ui::ShortenToWidth(faces, width, metrics).chopped(3);
    EXPECT_TRUE(kept.isEmpty() || !kept.back().isHighSurrogate())
        << "half a character at width " << width;
  }
}

TEST(ListRowLayoutTest, InsetsAlignmentImageAndLines) {
  const QFontMetrics metrics(QApplication::font());
  const QRect cell(100, 0, 150, 24);
  const QString longText(80, QChar('W'));
  const struct {
    int column;
    QString text;
    Qt::Alignment columnAlignment;
    Qt::Alignment expected;
  } cases[] = {
      {0, "7", Qt::AlignLeft, Qt::AlignHCenter},
      {0, longText, Qt::AlignLeft, Qt::AlignLeft},
      {2, "Title", Qt::AlignLeft, Qt::AlignLeft},
      {3, "3:05", Qt::AlignRight, Qt::AlignRight},
      {3, longText, Qt::AlignRight, Qt::AlignLeft},
      {1, "x", Qt::AlignHCenter, Qt::AlignHCenter},
      {1, "x", Qt::AlignRight | Qt::AlignVCenter, Qt::AlignRight},
  };
  for (const auto& c : cases) {
    const ui::ListCellLayout layout =
        ui::LayoutListCell(cell, c.column, c.text, c.columnAlignment, QSize(), metrics);
    EXPECT_EQ(layout.alignment, c.expected) << c.column << " " << c.text.left(5).toStdString();
    const int inset = c.column == 0 ? 3 : 6;
    EXPECT_EQ(layout.textRect.left(), cell.left() + inset);
    EXPECT_EQ(layout.textRect.width(), cell.width() - 2 * inset);
    EXPECT_TRUE(layout.imageRect.isEmpty());
  }

  const ui::ListCellLayout withImage =
      ui::LayoutListCell(cell, 0, "", Qt::AlignLeft, QSize(20, 20), metrics);
  EXPECT_EQ(withImage.imageRect, QRect(100 + 65, 2, 20, 20)) << "centred in the cell";
  EXPECT_EQ(withImage.textRect.left(), cell.left() + 3 + 18);
  const ui::ListCellLayout narrow =
      ui::LayoutListCell(QRect(0, 0, 12, 24), 0, "", Qt::AlignLeft, QSize(20, 20), metrics);
  EXPECT_EQ(narrow.imageRect, QRect(0, 2, 12, 20)) << "no wider than the column";

  const ui::ListCellLayout twoLines =
      ui::LayoutListCell(QRect(0, 0, 150, 60), 2, "one\ntwo", Qt::AlignLeft, QSize(), metrics);
  EXPECT_EQ(twoLines.textRect.height(), 2 * metrics.height());
  EXPECT_EQ(twoLines.textRect.top(), (60 - 2 * metrics.height()) / 2);
}

// Ten rows laid out as the player lays out its playlist.
class ExListCtrlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    list_.resize(678, 300);
    list_.setHeaderLabels({"No.", "Artist", "Title", "Duration", "Path"});
    const int widths[] = {60, 150, 150, 70, 240};
    for (int column = 0; column < 5; ++column)
      list_.setColumnWidth(column, widths[column]);
    Fill(10);
    list_.SetMinColumnWidth(50);
    list_.SetDragEnabled(true);
    list_.SetDropEnabled(true);
    list_.SetRowNumbering(true);
    list_.show();
  }

  void Fill(int rows) {
    list_.clear();
    for (int row = 0; row < rows; ++row) {
      list_.addTopLevelItem(new QTreeWidgetItem(
          {"", "", QString("Title %1").arg(row), "", QString("/music/%1.wav").arg(row)}));
    }
    QCoreApplication::processEvents();  // the delayed layout sets the scroll range
  }

  QRect RowRect(int row) const {
    const QRect cell = list_.visualRect(list_.model()->index(row, 0));
    return QRect(0, cell.top(), list_.viewport()->width(), cell.height());
  }
  // A point in `row`, `fraction` of its height down.
  QPoint At(int row, double fraction) const {
    const QRect rect = RowRect(row);
    return QPoint(250, rect.top() + static_cast<int>(fraction * rect.height()));
  }
  QWidget* Rows() { return list_.viewport(); }
  QImage Drawn() { return list_.viewport()->grab().toImage(); }
  std::vector<int> SelectedRows() const {
    std::vector<int> rows;
    for (const QModelIndex& index : list_.selectionModel()->selectedRows())
      rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
  }

  void Press(int row) { QTest::mousePress(Rows(), Qt::LeftButton, {}, At(row, 0.5)); }
  void MoveTo(QPoint point) { QTest::mouseMove(Rows(), point); }
  void Release(QPoint point) { QTest::mouseRelease(Rows(), Qt::LeftButton, {}, point); }

  ui::CExListCtrl list_;
};

TEST_F(ExListCtrlTest, ARowDragReportsTheRowTheSelectionGoesBefore) {
  const int below = RowRect(9).bottom() + 20;
  const struct {
    const char* where;
    QPoint release;
    int target;
  } cases[] = {
      {"lower half of row 5", At(5, 0.75), 6},
      {"upper half of row 5", At(5, 0.25), 5},
      {"upper half of row 0", At(0, 0.25), 0},
      {"lower half of the last row", At(9, 0.75), 10},
      {"below the last row", QPoint(250, below), 10},
      {"below the list", QPoint(250, list_.viewport()->height() + 40), 10},
      {"above the list", QPoint(250, -30), 0},
  };
  for (const auto& c : cases) {
    QSignalSpy finished(&list_, &ui::CExListCtrl::RowDragFinished);
    list_.clearSelection();
    Press(2);
    MoveTo(At(3, 0.5));
    ASSERT_TRUE(list_.IsDragging()) << c.where;
    MoveTo(c.release);
    Release(c.release);
    ASSERT_EQ(finished.count(), 1) << c.where;
    EXPECT_EQ(finished.at(0).at(0).toInt(), c.target) << c.where;
    EXPECT_FALSE(list_.IsDragging());
    EXPECT_EQ(list_.DragInsertionRow(), -1);
    EXPECT_EQ(SelectedRows(), std::vector<int>{2}) << "the rows themselves stay put";
  }
}

TEST_F(ExListCtrlTest, SeveralSelectedRowsStaySelectedThroughADrag) {
  list_.topLevelItem(2)->setSelected(true);
  list_.topLevelItem(3)->setSelected(true);
  list_.topLevelItem(7)->setSelected(true);
  QSignalSpy finished(&list_, &ui::CExListCtrl::RowDragFinished);
  Press(3);
  EXPECT_EQ(SelectedRows(), (std::vector<int>{2, 3, 7}));
  MoveTo(At(5, 0.5));
  MoveTo(At(5, 0.25));
  Release(At(5, 0.25));
  ASSERT_EQ(finished.count(), 1);
  EXPECT_EQ(finished.at(0).at(0).toInt(), 5);
  EXPECT_EQ(SelectedRows(), (std::vector<int>{2, 3, 7}));

  QTest::mouseClick(Rows(), Qt::LeftButton, {}, At(3, 0.5));
  EXPECT_EQ(SelectedRows(), std::vector<int>{3}) << "a click without a drag selects one row";
  EXPECT_EQ(finished.count(), 1);

  QSignalSpy doubleClicked(&list_, &QTreeWidget::itemDoubleClicked);
  QTest::mouseDClick(Rows(), Qt::LeftButton, {}, At(3, 0.5));
  ASSERT_EQ(doubleClicked.count(), 1) << "the selected row is double-clicked, not dragged";
  EXPECT_EQ(doubleClicked.at(0).at(0).value<QTreeWidgetItem*>(), list_.topLevelItem(3));
}

TEST_F(ExListCtrlTest, NoDragWithoutMovementWithDraggingOffOrWhenTheButtonWentUpUnseen) {
  QSignalSpy finished(&list_, &ui::CExListCtrl::RowDragFinished);
  Press(2);
  MoveTo(At(2, 0.5) + QPoint(1, 1));
  EXPECT_FALSE(list_.IsDragging()) << "a twitch is no drag";
  Release(At(2, 0.5) + QPoint(1, 1));

  list_.SetDragEnabled(false);
  Press(2);
  MoveTo(At(6, 0.5));
  EXPECT_FALSE(list_.IsDragging());
  Release(At(6, 0.5));
  list_.SetDragEnabled(true);

  Press(2);
  MoveTo(At(6, 0.75));
  ASSERT_TRUE(list_.IsDragging());
  QMouseEvent unseenRelease(QEvent::MouseMove, At(6, 0.75), Rows()->mapToGlobal(At(6, 0.75)),
                            Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(Rows(), &unseenRelease);
  EXPECT_FALSE(list_.IsDragging());
  EXPECT_EQ(list_.DragInsertionRow(), -1);
  Release(At(6, 0.75));  // QTest's own record of the button
  EXPECT_EQ(finished.count(), 0);

  // A release lost without any move after it: the next press ends the drag
  // and is an ordinary press.
  Press(2);
  MoveTo(At(6, 0.75));
  ASSERT_TRUE(list_.IsDragging());
  QTest::mouseRelease(list_.header(), Qt::LeftButton, {}, QPoint(5, 5));
  Press(8);
  EXPECT_FALSE(list_.IsDragging());
  EXPECT_EQ(SelectedRows(), std::vector<int>{8});
  Release(At(8, 0.5));
  EXPECT_EQ(finished.count(), 0);
}

TEST_F(ExListCtrlTest, TheRightButtonDoesNothingDuringADrag) {
  QSignalSpy finished(&list_, &ui::CExListCtrl::RowDragFinished);
  Press(2);
  MoveTo(At(4, 0.75));
  QTest::mousePress(Rows(), Qt::RightButton, {}, At(8, 0.5));
  QTest::mouseRelease(Rows(), Qt::RightButton, {}, At(8, 0.5));
  EXPECT_TRUE(list_.IsDragging());
  EXPECT_EQ(SelectedRows(), std::vector<int>{2});
  EXPECT_EQ(finished.count(), 0);
  Release(At(4, 0.75));
  ASSERT_EQ(finished.count(), 1);
  EXPECT_EQ(finished.at(0).at(0).toInt(), 5);
}

TEST_F(ExListCtrlTest, TheInsertionMarkerIsABlackLineAtTheTopOrAfterTheLastRow) {
  Press(2);
  const QPoint cursor(390, At(5, 0.75).y());  // over the empty Duration column
  MoveTo(cursor);
  ASSERT_EQ(list_.DragInsertionRow(), 6);
  QImage image = Drawn();
  const QPoint inDragImage = cursor + QPoint(3, 3 - 16);  // it hangs above the cursor
  EXPECT_EQ(image.pixelColor(inDragImage), kMarkerBlue) << "the drag image";
  const int x = list_.columnWidth(0) + list_.columnWidth(1) / 2;  // an empty cell
  const QRect row6 = RowRect(6);
  EXPECT_EQ(image.pixelColor(x, row6.top()), QColor(Qt::black));
  EXPECT_EQ(image.pixelColor(x, row6.top() + 1), QColor(Qt::black));
  EXPECT_EQ(image.pixelColor(x, row6.top() + 2), QColor(Qt::white));
  EXPECT_EQ(image.pixelColor(x, RowRect(5).top()), QColor(249, 249, 249));

  MoveTo(At(9, 0.75));
  ASSERT_EQ(list_.DragInsertionRow(), 10);
  image = Drawn();
  const QRect last = RowRect(9);
  EXPECT_EQ(image.pixelColor(x, last.bottom()), QColor(Qt::black));
  EXPECT_EQ(image.pixelColor(x, last.bottom() - 1), QColor(Qt::black));
  EXPECT_EQ(image.pixelColor(x, last.bottom() - 2), QColor(249, 249, 249));
  EXPECT_EQ(image.pixelColor(x, row6.top()), QColor(Qt::white)) << "the old marker is gone";

  MoveTo(QPoint(250, last.bottom() + 30));
  EXPECT_EQ(list_.DragInsertionRow(), 10) << "no row under the cursor leaves the marker";
  Release(QPoint(250, last.bottom() + 30));
  image = Drawn();
  EXPECT_EQ(image.pixelColor(x, last.bottom()), QColor(249, 249, 249));
  EXPECT_EQ(image.pixelColor(inDragImage), QColor(249, 249, 249)) << "no drag image after it";
}

TEST_F(ExListCtrlTest, ADragAtAnEdgeRowScrollsOneRowPerTick) {
  Fill(100);
  QScrollBar* bar = list_.verticalScrollBar();
  ASSERT_GT(bar->maximum(), 0);
  Press(2);
  MoveTo(At(4, 0.5));
  EXPECT_EQ(list_.AutoScrollDirection(), AutoScroll::kNone);
  MoveTo(At(0, 0.5));
  EXPECT_EQ(list_.AutoScrollDirection(), AutoScroll::kNone) << "the list is at its top";

  int lastRow = 0;
  while (RowRect(lastRow + 1).bottom() < list_.viewport()->height())
    ++lastRow;
  const QPoint bottomEdge = At(lastRow, 0.75);
  MoveTo(bottomEdge);
  ASSERT_EQ(list_.AutoScrollDirection(), AutoScroll::kDown);
  const int insertion = list_.DragInsertionRow();
  list_.AutoScrollTick();
  list_.AutoScrollTick();
  EXPECT_EQ(bar->value(), 2);
  EXPECT_EQ(list_.DragInsertionRow(), insertion + 2) << "the marker follows the rows";

  MoveTo(At(lastRow - 3, 0.5));
  EXPECT_EQ(list_.AutoScrollDirection(), AutoScroll::kNone);
  MoveTo(At(list_.indexAt(QPoint(0, 0)).row(), 0.5));
  ASSERT_EQ(list_.AutoScrollDirection(), AutoScroll::kUp);
  list_.AutoScrollTick();
  list_.AutoScrollTick();
  EXPECT_EQ(bar->value(), 0);
  EXPECT_EQ(list_.AutoScrollDirection(), AutoScroll::kNone) << "stops at the top";
  Release(At(0, 0.25));
}

class FileDropTest : public ExListCtrlTest {
 protected:
  void SetUp() override {
    ExListCtrlTest::SetUp();
    list_.SetSupportedFileCheck([](const std::wstring& path) {
      return path.size() > 4 && QString::fromStdWString(path).endsWith(".wav", Qt::CaseInsensitive);
    });
    ASSERT_TRUE(folder_.isValid());
    QDir(folder_.path()).mkdir("Album");
    QDir(folder_.path()).mkdir("Live.wav");
    for (const char* name : {"notes.txt", "song.WAV"}) {
      QFile file(Path(name));
      ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
  }

  QString Path(const char* name) const { return folder_.filePath(name); }
  void Carry(std::initializer_list<const char*> names) {
    QList<QUrl> urls;
    for (const char* name : names)
      urls << QUrl::fromLocalFile(Path(name));
    mime_.setUrls(urls);
  }
  bool Enter(QPoint point) {
    QDragEnterEvent enter(point, Qt::CopyAction | Qt::MoveAction, &mime_, Qt::LeftButton, {});
    QApplication::sendEvent(Rows(), &enter);
    return enter.isAccepted() && enter.dropAction() == Qt::CopyAction;
  }
  bool Over(QPoint point) {
    QDragMoveEvent over(point, Qt::CopyAction | Qt::MoveAction, &mime_, Qt::LeftButton, {});
    QApplication::sendEvent(Rows(), &over);
    return over.isAccepted();
  }
  bool Drop(QPoint point) {
    QDropEvent drop(point, Qt::CopyAction | Qt::MoveAction, &mime_, Qt::LeftButton, {});
    QApplication::sendEvent(Rows(), &drop);
    return drop.isAccepted();
  }

  QTemporaryDir folder_;
  QMimeData mime_;
};

TEST_F(FileDropTest, OnlyADragCarryingAPlayableFileIsAccepted) {
  const struct {
    std::initializer_list<const char*> files;
    bool accepted;
  } cases[] = {
      {{"Album"}, false},
      {{"notes.txt"}, false},
      {{"Live.wav"}, false},
      {{"song.WAV"}, true},
      {{"Album", "notes.txt", "song.WAV"}, true},
  };
  for (const auto& c : cases) {
    Carry(c.files);
    EXPECT_EQ(Enter(At(3, 0.5)), c.accepted) << *c.files.begin() << " and more: " << c.files.size();
    QDragLeaveEvent leave;
    QApplication::sendEvent(Rows(), &leave);
  }

  mime_.setUrls({QUrl("https://example.org/song.wav")});
  EXPECT_FALSE(Enter(At(3, 0.5))) << "not a local file";
  mime_.setText("song.wav");
  mime_.setUrls({});
  EXPECT_FALSE(Enter(At(3, 0.5))) << "no file list";

  Carry({"song.WAV"});
  list_.SetDropEnabled(false);
  EXPECT_FALSE(Enter(At(3, 0.5)));
  list_.SetDropEnabled(true);
  list_.SetSupportedFileCheck(nullptr);
  EXPECT_FALSE(Enter(At(3, 0.5))) << "nothing is playable without the owner's check";
}

TEST_F(FileDropTest, ADropMarksWhereTheFilesGoAndReportsThemWithThePoint) {
  QSignalSpy dropped(&list_, &ui::CExListCtrl::FilesDropped);
  Carry({"notes.txt", "song.WAV"});
  ASSERT_TRUE(Enter(At(3, 0.25)));
  EXPECT_EQ(list_.DropInsertionRow(), 3);
  ASSERT_TRUE(Over(At(3, 0.5)));
  EXPECT_EQ(list_.DropInsertionRow(), 4) << "the middle counts as the lower half";
  ASSERT_TRUE(Over(QPoint(250, RowRect(9).bottom() + 25)));
  EXPECT_EQ(list_.DropInsertionRow(), 10) << "no row: after the last";
  const QImage image = Drawn();
  const int x = list_.columnWidth(0) + list_.columnWidth(1) / 2;
  EXPECT_EQ(image.pixelColor(x, RowRect(9).bottom()), QColor(Qt::black));

  const QPoint point = At(6, 0.75);
  ASSERT_TRUE(Over(point));
  ASSERT_TRUE(Drop(point));
  EXPECT_EQ(list_.DropInsertionRow(), -1);
  EXPECT_EQ(dropped.count(), 0) << "reported after the drop is over";
  QCoreApplication::processEvents();
  ASSERT_EQ(dropped.count(), 1);
  EXPECT_EQ(dropped.at(0).at(0).toStringList(), (QStringList{Path("notes.txt"), Path("song.WAV")}));
  EXPECT_EQ(dropped.at(0).at(1).toPoint(), point);
  ViewPoint stored;
  ASSERT_TRUE(list_.GetDropPoint(&stored));
  EXPECT_EQ(QPoint(stored.x, stored.y), point);
  EXPECT_FALSE(list_.GetDropPoint(nullptr));

  ASSERT_TRUE(Enter(At(2, 0.25)));
  QDragLeaveEvent leave;
  QApplication::sendEvent(Rows(), &leave);
  EXPECT_EQ(list_.DropInsertionRow(), -1) << "leaving takes the marker away";
}

TEST_F(FileDropTest, FilesHeldAtTheLastVisibleRowScrollWhileRowDraggingIsOn) {
  Fill(100);
  Carry({"song.WAV"});
  const QPoint bottomEdge(250, list_.viewport()->height() - 2);
  ASSERT_TRUE(Enter(bottomEdge));
  ASSERT_EQ(list_.AutoScrollDirection(), AutoScroll::kDown);
  const int insertion = list_.DropInsertionRow();
  list_.AutoScrollTick();
  EXPECT_EQ(list_.verticalScrollBar()->value(), 1);
  EXPECT_EQ(list_.DropInsertionRow(), insertion + 1);
  ASSERT_TRUE(Over(At(list_.indexAt(QPoint(0, 0)).row() + 3, 0.5)));
  EXPECT_EQ(list_.AutoScrollDirection(), AutoScroll::kNone);

  list_.SetDragEnabled(false);  // as in the CD mode
  ASSERT_TRUE(Over(bottomEdge));
  EXPECT_EQ(list_.AutoScrollDirection(), AutoScroll::kNone);
  QDragLeaveEvent leave;
  QApplication::sendEvent(Rows(), &leave);
}

TEST_F(ExListCtrlTest, ZebraRowsTheSelectionHighlightAndGridLines) {
  list_.topLevelItem(2)->setSelected(true);
  const QImage image = Drawn();
  const int x = list_.columnWidth(0) + list_.columnWidth(1) / 2;  // an empty cell
  EXPECT_EQ(image.pixelColor(x, At(0, 0.5).y()), QColor(255, 255, 255));
  EXPECT_EQ(image.pixelColor(x, At(1, 0.5).y()), QColor(249, 249, 249));
  EXPECT_EQ(image.pixelColor(x, At(2, 0.5).y()),
            list_.palette().color(QPalette::Active, QPalette::Highlight));
  EXPECT_EQ(image.pixelColor(x, At(3, 0.5).y()), QColor(249, 249, 249));

  list_.SetGridLines(true);
  const QImage grid = Drawn();
  const QColor line(240, 240, 240);
  EXPECT_EQ(grid.pixelColor(x, RowRect(0).bottom()), line);
  EXPECT_EQ(grid.pixelColor(x, RowRect(1).bottom()), line);
  EXPECT_EQ(grid.pixelColor(list_.columnWidth(0) - 1, At(1, 0.5).y()), line);
  EXPECT_EQ(grid.pixelColor(list_.columnWidth(0), At(1, 0.5).y()), QColor(249, 249, 249));
  EXPECT_EQ(grid.pixelColor(x, At(1, 0.5).y()), QColor(249, 249, 249));
}

TEST_F(ExListCtrlTest, RowNumbersAreCentredAndThePlayingRowShowsTheMarker) {
  list_.SetItemImage(4, 1);
  EXPECT_EQ(list_.CellLayout(0, 0).text, "1");
  EXPECT_EQ(list_.CellLayout(9, 0).text, "10");
  EXPECT_EQ(list_.CellLayout(4, 0).text, "") << "the marker stands instead of the number";
  EXPECT_EQ(list_.CellLayout(3, 2).text, "Title 3");

  const QImage image = Drawn();
  const int firstWidth = list_.columnWidth(0);
  const QRect row0 = RowRect(0);
  const auto [left, right] = DarkExtent(image, QRect(0, row0.top(), firstWidth, row0.height()));
  ASSERT_LE(left, right) << "the number is drawn";
  EXPECT_NEAR((left + right) / 2.0, firstWidth / 2.0, 3.0) << "centred in the column";

  const QRect row4 = RowRect(4);
  EXPECT_EQ(image.pixelColor(firstWidth / 2, row4.top() + row4.height() / 2), kMarkerBlue);
  const auto [markLeft, markRight] =
      DarkExtent(image, QRect(0, row4.top(), firstWidth, row4.height()));
  EXPECT_GT(markLeft, markRight) << "no number beside the marker";

  list_.SetItemImage(4, 0);
  list_.SetRowNumbering(false);
  list_.topLevelItem(0)->setText(0, "x");
  EXPECT_EQ(list_.CellLayout(0, 0).text, "x");
  EXPECT_EQ(list_.CellLayout(1, 0).text, "");
  list_.SetRowNumbering(true);
  list_.SetItemImage(4, 2);
  EXPECT_EQ(list_.CellLayout(4, 0).text, "") << "paused shows the marker too";
}

TEST_F(ExListCtrlTest, ALongTitleShowsItsBeginningAndThreeDotsFromTheLeft) {
  const QString title = "An extraordinarily long title that cannot fit its column at all";
  list_.topLevelItem(7)->setText(2, title);
  const ui::ListCellLayout cell = list_.CellLayout(7, 2);
  ASSERT_TRUE(cell.text.endsWith("..."));
  EXPECT_TRUE(title.startsWith(cell.text.chopped(3)));
  EXPECT_GT(cell.text.size(), 10) << "as many characters as fit";
  EXPECT_EQ(cell.alignment, Qt::AlignLeft);

  const QImage image = Drawn();
  const int columnLeft = list_.columnWidth(0) + list_.columnWidth(1);
  const QRect row7 = RowRect(7);
  const auto [left, right] =
      DarkExtent(image, QRect(columnLeft, row7.top(), list_.columnWidth(2) + 5, row7.height()));
  EXPECT_LE(left, columnLeft + 6 + 2) << "starts at the left of the cell";
  EXPECT_LT(right, columnLeft + list_.columnWidth(2) - 6) << "ends inside the text area";
}

TEST_F(ExListCtrlTest, AColumnNarrowedBelowTheMinimumSnapsBackAtTheNextRedraw) {
  list_.header()->resizeSection(2, 30);
  list_.header()->resizeSection(3, 70);
  Drawn();
  EXPECT_EQ(list_.columnWidth(2), 50);
  EXPECT_EQ(list_.columnWidth(3), 70);

  for (int width : {0, -5}) {
    list_.SetMinColumnWidth(width);
    EXPECT_EQ(list_.MinColumnWidth(), 0);
  }
  list_.header()->resizeSection(2, 30);
  Drawn();
  EXPECT_EQ(list_.columnWidth(2), 30);

  list_.SetOwnerDraw(false);
  list_.SetMinColumnWidth(50);
  const QImage plain = Drawn();
  EXPECT_EQ(list_.columnWidth(2), 50) << "the minimum holds for plain rows too";
  const int x = list_.columnWidth(0) + list_.columnWidth(1) / 2;
  EXPECT_NE(plain.pixelColor(x, At(1, 0.5).y()), QColor(249, 249, 249)) << "no zebra rows";
}

TEST(ExListCtrlKeysTest, CtrlASelectsEveryRowAndTakesTheFocus) {
  QWidget window;
  auto* layout = new QVBoxLayout(&window);
  auto* edit = new QLineEdit(&window);
  auto* list = new ui::CExListCtrl(&window);
  layout->addWidget(edit);
  layout->addWidget(list);
  list->setHeaderLabels({"No.", "Title"});
  for (int row = 0; row < 5; ++row)
    list->addTopLevelItem(new QTreeWidgetItem({"", "t"}));
  window.show();
  edit->setFocus();
  ASSERT_EQ(window.focusWidget(), edit);
  QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(list->selectionModel()->selectedRows().size(), 5);
  EXPECT_EQ(window.focusWidget(), list);
}

}  // namespace
