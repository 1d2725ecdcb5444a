#pragma once

#include <QImage>
#include <QPoint>
#include <QStringList>
#include <QTimer>
#include <QTreeWidget>
#include <array>
#include <functional>
#include <string>

#include "core/PlaylistViewCtrl.h"
#include "ui/ListRowLayout.h"

class QLabel;

namespace ui {

// The playlist: a report-style list whose rows it draws itself (zebra rows,
// row numbers, the playing marker, "..." for texts too long for their
// column). The owner fills rows and columns through the tree widget; the
// list reports what the user did with rows and files: a row drag ends in
// `RowDragFinished` with the row the selected rows go before, files dragged
// in from other programs end in `FilesDropped`.
//
// Points are in the coordinates of the rows' area (the viewport), the ones
// `indexAt` takes.
class CExListCtrl : public QTreeWidget, public IPlaylistViewCtrl {
  Q_OBJECT

 public:
  enum class AutoScroll { kNone, kUp, kDown };

  // The row image index is kept under this role in column 0.
  static constexpr int kRowImageRole = Qt::UserRole + 1;
  // Texts longer than this are cut before drawing.
  static constexpr int kMaxDrawnText = 520;
  // The period of the auto-scroll timer while a drag rests at an edge.
  static constexpr int kAutoScrollMs = 25;

  explicit CExListCtrl(QWidget* parent = nullptr);

  void SetDragEnabled(bool enabled) override;
  void SetMinColumnWidth(int width) override;
  void SetDropEnabled(bool enabled) override;
  bool GetDropPoint(ViewPoint* point) const override;

  bool IsDragEnabled() const { return dragEnabled_; }
  bool IsDropEnabled() const { return dropEnabled_; }
  int MinColumnWidth() const { return minColumnWidth_; }

  // Off: rows are drawn as a plain tree widget draws them (for lists such
  // as the plug-in list, where only the minimum column width applies).
  void SetOwnerDraw(bool on);
  // Light lines between rows and after each column.
  void SetGridLines(bool on);
  // Rows without an image show their number, counted from 1, in column 0.
  void SetRowNumbering(bool on);
  // 0 none, 1 playing, 2 paused; 1 and 2 show the playing marker.
  void SetItemImage(int row, int image);
  int ItemImage(int row) const;

  // Which paths the owner can add; a file drag is accepted only when it
  // carries at least one file (folders do not count) this accepts. Without
  // it nothing is accepted.
  void SetSupportedFileCheck(std::function<bool(const std::wstring&)> check);

  // What cell (row, column) shows and where, in the row's own coordinates.
  ListCellLayout CellLayout(int row, int column) const;

  bool IsDragging() const { return dragging_; }
  // The row an insertion marker is drawn before (the row count: after the
  // last row); -1 for none.
  int DragInsertionRow() const { return dragInsertionRow_; }
  int DropInsertionRow() const { return dropInsertionRow_; }
  AutoScroll AutoScrollDirection() const { return autoScroll_; }
  // One tick of the auto-scroll timer: one row further in its direction.
  void AutoScrollTick();

 signals:
  // A row drag ended over the list: the selected rows go before `target`
  // (the row count: to the end).
  void RowDragFinished(int target);
  // Files were dropped at `point`; GetDropPoint gives the same point.
  void FilesDropped(const QStringList& paths, QPoint point);

 protected:
  void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dragLeaveEvent(QDragLeaveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // The row under `y` (hit-tested at x 0), or -1.
  int RowAt(int y) const;
  int TopVisibleRow() const;
  int LastVisibleRow() const;
  // Whether `y` lies below the middle of `row` (at the middle too when
  // `middleCounts`).
  bool InLowerHalf(int row, int y, bool middleCounts) const;
  // Where a row drag at `y` inserts: the row under it, or the next one in its
  // lower half; `current` when no row is under it.
  int RowDragInsertion(int y, int current) const;
  // Where a file drop at `y` inserts: as a row drag, the middle counting
  // as the lower half, and the row count where no row is under it.
  int FileDropInsertion(int y) const;
  // Chooses the auto-scroll direction for a drag resting at `y`.
  void UpdateAutoScroll(int y);
  void StopAutoScroll();
  void SetInsertionRow(int& member, int row);
  void BeginRowDrag(int row, QPoint point);
  void EndRowDrag();
  void EndFileDrag();
  void ShowDragImage(QPoint point);
  void HideDragImage();
  void EnforceMinColumnWidth();

  bool dragEnabled_ = false;
  bool dragging_ = false;
  bool trackedBeforeDrag_ = false;
  int dragInsertionRow_ = -1;
  int dropInsertionRow_ = -1;
  int minColumnWidth_ = 0;
  bool ownerDraw_ = true;
  bool gridLines_ = false;
  bool rowNumbering_ = false;
  bool dropEnabled_ = false;
  bool fileDragAccepted_ = false;
  std::array<QImage, 3> rowImages_;
  QLabel* dragImageLabel_ = nullptr;
  QPoint dropPoint_;
  QPoint lastDragPoint_;
  int pressRow_ = -1;
  QPoint pressPoint_;
  AutoScroll autoScroll_ = AutoScroll::kNone;
  QTimer autoScrollTimer_;
  std::function<bool(const std::wstring&)> isSupportedFile_;
};

}  // namespace ui
