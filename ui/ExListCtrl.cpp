#include "ui/ExListCtrl.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <algorithm>

#include "ui/PanelImages.h"
#include "ui/PngGlyph.h"

namespace ui {

namespace {

// The drag image hangs above the cursor: its hot spot is this far below its top.
constexpr int kDragImageHotSpotY = 16;
constexpr int kMarkerHeight = 2;
const QColor kEvenRow(255, 255, 255);
const QColor kOddRow(249, 249, 249);
const QColor kGridLine(240, 240, 240);

// Rows as high as the font needs, and never lower than the row images.
class RowHeightDelegate : public QStyledItemDelegate {
 public:
  RowHeightDelegate(int minimumHeight, QObject* parent)
      : QStyledItemDelegate(parent), minimumHeight_(minimumHeight) {}

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    return QSize(QStyledItemDelegate::sizeHint(option, index).width(),
                 std::max(option.fontMetrics.height() + 4, minimumHeight_));
  }

 private:
  int minimumHeight_;
};

// The local files among dragged data; other data has none.
QStringList LocalFiles(const QMimeData* mime) {
  QStringList files;
  if (mime == nullptr) return files;
  for (const QUrl& url : mime->urls()) {
    if (url.isLocalFile()) files << url.toLocalFile();
  }
  return files;
}

}  // namespace

CExListCtrl::CExListCtrl(QWidget* parent)
    : QTreeWidget(parent),
      rowImages_{LoadPngGlyph(image::kEmptyRow), LoadPngGlyph(image::kPlayingRow),
                 LoadPngGlyph(image::kPlayingRow)} {
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setIndentation(0);
  setUniformRowHeights(true);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setAllColumnsShowFocus(true);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSortingEnabled(false);
  // Auto-scrolling steps one row at a time.
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  header()->setSectionsClickable(false);
  header()->setSectionsMovable(false);
  header()->setStretchLastSection(false);
  QPalette colours = palette();
  colours.setColor(QPalette::Base, kEvenRow);
  setPalette(colours);
  setItemDelegate(new RowHeightDelegate(rowImages_[1].height(), this));

  dragImageLabel_ = new QLabel(viewport());
  dragImageLabel_->setPixmap(QPixmap::fromImage(LoadPngGlyph(image::kDragImage)));
  dragImageLabel_->adjustSize();
  dragImageLabel_->setAttribute(Qt::WA_TransparentForMouseEvents);
  dragImageLabel_->hide();

  autoScrollTimer_.setInterval(kAutoScrollMs);
  connect(&autoScrollTimer_, &QTimer::timeout, this, &CExListCtrl::AutoScrollTick);
}

void CExListCtrl::SetDragEnabled(bool enabled) {
  dragEnabled_ = enabled;
  // Qt's own flag makes a press on a selected row keep the selection until
  // the release, so that several selected rows can be dragged together.
  setDragEnabled(enabled);
}

void CExListCtrl::SetMinColumnWidth(int width) {
  minColumnWidth_ = width < 1 ? 0 : width;
  viewport()->update();
}

void CExListCtrl::SetDropEnabled(bool enabled) {
  if (enabled == dropEnabled_) return;
  dropEnabled_ = enabled;
  setAcceptDrops(enabled);
  viewport()->setAcceptDrops(enabled);
}

bool CExListCtrl::GetDropPoint(ViewPoint* point) const {
  if (point == nullptr) return false;
  *point = {dropPoint_.x(), dropPoint_.y()};
  return true;
}

void CExListCtrl::SetOwnerDraw(bool on) {
  ownerDraw_ = on;
  viewport()->update();
}

void CExListCtrl::SetGridLines(bool on) {
  gridLines_ = on;
  viewport()->update();
}

void CExListCtrl::SetRowNumbering(bool on) {
  rowNumbering_ = on;
  viewport()->update();
}

void CExListCtrl::SetItemImage(int row, int image) {
  if (QTreeWidgetItem* item = topLevelItem(row)) item->setData(0, kRowImageRole, image);
}

int CExListCtrl::ItemImage(int row) const {
  const QTreeWidgetItem* item = topLevelItem(row);
  return item != nullptr ? item->data(0, kRowImageRole).toInt() : 0;
}

void CExListCtrl::SetSupportedFileCheck(std::function<bool(const std::wstring&)> check) {
  isSupportedFile_ = std::move(check);
}

ListCellLayout CExListCtrl::CellLayout(int row, int column) const {
  const QModelIndex index = model()->index(row, column);
  const QRect cell(header()->sectionViewportPosition(column), 0, header()->sectionSize(column),
                   rowHeight(model()->index(row, 0)));
  const int image = ItemImage(row);
  QString text;
  if (column == 0 && rowNumbering_ && image <= 0)
    text = QString::number(row + 1);
  else
    text = index.data(Qt::DisplayRole).toString().left(kMaxDrawnText);
  const bool hasImage = column == 0 && image >= 1 && image < static_cast<int>(rowImages_.size());
  const QSize imageSize = hasImage ? rowImages_[image].size() : QSize();
  const auto alignment =
      Qt::Alignment(QFlag(headerItem()->data(column, Qt::TextAlignmentRole).toInt()));
  return LayoutListCell(cell, column, text, alignment, imageSize, fontMetrics());
}

void CExListCtrl::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const {
  if (!ownerDraw_) return QTreeWidget::drawRow(painter, option, index);
  const int row = index.row();
  const int count = topLevelItemCount();
  const QSize size(viewport()->width(), option.rect.height());
  // The row is composed off-screen and copied in one piece.
  const qreal ratio = devicePixelRatioF();
  QPixmap composed(size * ratio);
  composed.setDevicePixelRatio(ratio);
  const bool selected = selectionModel()->isSelected(index);
  composed.fill(selected       ? palette().color(QPalette::Active, QPalette::Highlight)
                : row % 2 == 0 ? kEvenRow
                               : kOddRow);
  QPainter canvas(&composed);
  if (gridLines_) {
    canvas.setPen(kGridLine);
    canvas.drawLine(0, size.height() - 1, size.width() - 1, size.height() - 1);
    for (int column = 0; column < header()->count(); ++column) {
      if (isColumnHidden(column)) continue;
      const int right = header()->sectionViewportPosition(column) + header()->sectionSize(column);
      canvas.drawLine(right - 1, 0, right - 1, size.height() - 1);
    }
  }
  if (row == dragInsertionRow_ || row == dropInsertionRow_)
    canvas.fillRect(0, 0, size.width(), kMarkerHeight, Qt::black);
  if (row == count - 1 && (dragInsertionRow_ >= count || dropInsertionRow_ >= count))
    canvas.fillRect(0, size.height() - kMarkerHeight, size.width(), kMarkerHeight, Qt::black);
  canvas.setFont(font());
  canvas.setPen(
      palette().color(QPalette::Active, selected ? QPalette::HighlightedText : QPalette::Text));
  for (int column = 0; column < header()->count(); ++column) {
    if (isColumnHidden(column)) continue;
    const ListCellLayout cell = CellLayout(row, column);
    if (!cell.imageRect.isEmpty())
      canvas.drawImage(cell.imageRect.topLeft(), rowImages_[ItemImage(row)],
                       QRect(QPoint(), cell.imageRect.size()));
    canvas.drawText(cell.textRect, cell.alignment | Qt::AlignTop | Qt::TextDontClip, cell.text);
  }
  canvas.end();
  painter->drawPixmap(QPoint(0, option.rect.y()), composed);
}

void CExListCtrl::paintEvent(QPaintEvent* event) {
  EnforceMinColumnWidth();
  QTreeWidget::paintEvent(event);
}

void CExListCtrl::EnforceMinColumnWidth() {
  for (int column = 0; column < header()->count(); ++column) {
    if (!isColumnHidden(column) && header()->sectionSize(column) < minColumnWidth_)
      header()->resizeSection(column, minColumnWidth_);
  }
}

int CExListCtrl::RowAt(int y) const {
  if (y < 0 || y >= viewport()->height()) return -1;
  const QModelIndex index = indexAt(QPoint(0, y));
  return index.isValid() ? index.row() : -1;
}

int CExListCtrl::TopVisibleRow() const {
  return RowAt(0);
}

int CExListCtrl::LastVisibleRow() const {
  const int row = RowAt(viewport()->height() - 1);
  return row >= 0 ? row : topLevelItemCount() - 1;
}

bool CExListCtrl::InLowerHalf(int row, int y, bool middleCounts) const {
  const QRect rect = visualRect(model()->index(row, 0));
  const int middle = rect.top() + rect.height() / 2;
  return middleCounts ? y >= middle : y > middle;
}

int CExListCtrl::RowDragInsertion(int y, int current) const {
  const int row = RowAt(y);
  if (row < 0) return current;
  return row + (InLowerHalf(row, y, false) ? 1 : 0);
}

int CExListCtrl::FileDropInsertion(int y) const {
  const int row = RowAt(y);
  if (row < 0) return topLevelItemCount();
  return row + (InLowerHalf(row, y, true) ? 1 : 0);
}

void CExListCtrl::UpdateAutoScroll(int y) {
  const int row = RowAt(y);
  const QScrollBar* bar = verticalScrollBar();
  AutoScroll direction = AutoScroll::kNone;
  if (row >= 0 && row == TopVisibleRow() && bar->value() > bar->minimum())
    direction = AutoScroll::kUp;
  else if (row >= 0 && row == LastVisibleRow() && row < topLevelItemCount() - 1 &&
           bar->value() < bar->maximum())
    direction = AutoScroll::kDown;
  if (direction == AutoScroll::kNone) {
    StopAutoScroll();
    return;
  }
  autoScroll_ = direction;
  if (!autoScrollTimer_.isActive()) autoScrollTimer_.start();
}

void CExListCtrl::StopAutoScroll() {
  autoScroll_ = AutoScroll::kNone;
  autoScrollTimer_.stop();
}

void CExListCtrl::AutoScrollTick() {
  if (autoScroll_ == AutoScroll::kNone) return;
  QScrollBar* bar = verticalScrollBar();
  bar->setValue(bar->value() + (autoScroll_ == AutoScroll::kUp ? -1 : 1));
  // The rows moved under the resting cursor: the marker follows them.
  const int y = lastDragPoint_.y();
  if (dragging_)
    SetInsertionRow(dragInsertionRow_, RowDragInsertion(y, dragInsertionRow_));
  else if (fileDragAccepted_)
    SetInsertionRow(dropInsertionRow_, FileDropInsertion(y));
  UpdateAutoScroll(y);
}

void CExListCtrl::SetInsertionRow(int& member, int row) {
  if (member == row) return;
  member = row;
  viewport()->update();
}

void CExListCtrl::ShowDragImage(QPoint point) {
  dragImageLabel_->move(point.x(), point.y() - kDragImageHotSpotY);
  dragImageLabel_->raise();
  dragImageLabel_->show();
}

void CExListCtrl::HideDragImage() {
  dragImageLabel_->hide();
}

void CExListCtrl::BeginRowDrag(int row, QPoint point) {
  dragging_ = true;
  // Moves without a button must arrive too, to see a release that went
  // elsewhere.
  trackedBeforeDrag_ = viewport()->hasMouseTracking();
  viewport()->setMouseTracking(true);
  SetInsertionRow(dragInsertionRow_, row);
  ShowDragImage(point);
}

void CExListCtrl::EndRowDrag() {
  dragging_ = false;
  viewport()->setMouseTracking(trackedBeforeDrag_);
  pressRow_ = -1;
  HideDragImage();
  StopAutoScroll();
  SetInsertionRow(dragInsertionRow_, -1);
  setState(QAbstractItemView::NoState);
}

void CExListCtrl::mousePressEvent(QMouseEvent* event) {
  if (dragging_) {
    // While a row is dragged the other buttons do nothing. A new left press
    // means the release was lost to another window: the drag is over and
    // nothing moves.
    if (event->button() != Qt::LeftButton) return event->accept();
    EndRowDrag();
  }
  const QModelIndex index = indexAt(event->position().toPoint());
  pressRow_ =
      dragEnabled_ && event->button() == Qt::LeftButton && index.isValid() ? index.row() : -1;
  pressPoint_ = event->position().toPoint();
  QTreeWidget::mousePressEvent(event);
}

void CExListCtrl::mouseMoveEvent(QMouseEvent* event) {
  const QPoint point = event->position().toPoint();
  if (!dragging_ && pressRow_ >= 0 && (event->buttons() & Qt::LeftButton)) {
    // A press on a row waits for the cursor to move far enough for a drag.
    if ((point - pressPoint_).manhattanLength() < QApplication::startDragDistance()) return;
    BeginRowDrag(pressRow_, point);
  }
  if (!dragging_) return QTreeWidget::mouseMoveEvent(event);
  if (!(event->buttons() & Qt::LeftButton)) {
    // The button went up where the list did not see it: nothing moves.
    EndRowDrag();
    return;
  }
  lastDragPoint_ = point;
  ShowDragImage(point);
  SetInsertionRow(dragInsertionRow_, RowDragInsertion(point.y(), dragInsertionRow_));
  UpdateAutoScroll(point.y());
}

void CExListCtrl::mouseReleaseEvent(QMouseEvent* event) {
  if (!dragging_) {
    pressRow_ = -1;
    return QTreeWidget::mouseReleaseEvent(event);
  }
  if (event->button() != Qt::LeftButton) return event->accept();
  const int y = event->position().toPoint().y();
  EndRowDrag();
  int target;
  const int row = RowAt(y);
  if (row >= 0)
    target = row + (InLowerHalf(row, y, false) ? 1 : 0);
  else
    target = y < 0 ? 0 : topLevelItemCount();
  emit RowDragFinished(target);
}

void CExListCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
  if (dragging_) return event->accept();
  QTreeWidget::mouseDoubleClickEvent(event);
}

void CExListCtrl::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_A && (event->modifiers() & Qt::ControlModifier)) {
    selectAll();
    setFocus();
    return event->accept();
  }
  QTreeWidget::keyPressEvent(event);
}

void CExListCtrl::dragEnterEvent(QDragEnterEvent* event) {
  const QStringList files = LocalFiles(event->mimeData());
  fileDragAccepted_ = dropEnabled_ && isSupportedFile_ &&
                      std::any_of(files.begin(), files.end(), [this](const QString& path) {
                        return !QFileInfo(path).isDir() && isSupportedFile_(path.toStdWString());
                      });
  if (!fileDragAccepted_) return event->ignore();
  dragMoveEvent(event);
}

void CExListCtrl::dragMoveEvent(QDragMoveEvent* event) {
  if (!fileDragAccepted_) return event->ignore();
  const QPoint point = event->position().toPoint();
  lastDragPoint_ = point;
  ShowDragImage(point);
  SetInsertionRow(dropInsertionRow_, FileDropInsertion(point.y()));
  if (dragEnabled_)
    UpdateAutoScroll(point.y());
  else
    StopAutoScroll();
  event->setDropAction(Qt::CopyAction);
  event->accept();
}

void CExListCtrl::EndFileDrag() {
  fileDragAccepted_ = false;
  HideDragImage();
  StopAutoScroll();
  SetInsertionRow(dropInsertionRow_, -1);
}

void CExListCtrl::dragLeaveEvent(QDragLeaveEvent* event) {
  EndFileDrag();
  event->accept();
}

void CExListCtrl::dropEvent(QDropEvent* event) {
  EndFileDrag();
  const QStringList files = LocalFiles(event->mimeData());
  if (!dropEnabled_ || files.isEmpty()) return event->ignore();
  dropPoint_ = event->position().toPoint();
  event->setDropAction(Qt::CopyAction);
  event->accept();
  // Reported once the drop is over, so the program the files came from is
  // not kept waiting while they are opened.
  QMetaObject::invokeMethod(
      this, [this, files, point = dropPoint_] { emit FilesDropped(files, point); },
      Qt::QueuedConnection);
}

}  // namespace ui
