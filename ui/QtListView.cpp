#include "ui/QtListView.h"

#include <QHeaderView>
#include <QPointer>
#include <QTreeWidgetItem>

#include "ui/ExListCtrl.h"

namespace ui {

void CQtListView::Place(int x, int y, int width, int height) {
  list_->setGeometry(x, y, width, height);
}

void CQtListView::InsertColumn(int column, const std::wstring& header, int width) {
  const int count = list_->columnCount();
  column = std::clamp(column, 0, count);
  QStringList headers;
  for (int i = 0; i < count; ++i)
    headers << list_->headerItem()->text(i);
  headers.insert(column, QString::fromStdWString(header));
  list_->setColumnCount(count + 1);
  list_->setHeaderLabels(headers);
  list_->setColumnWidth(column, width);
}

void CQtListView::DeleteAllColumns() {
  list_->setColumnCount(0);
}

int CQtListView::RowCount() const {
  return list_->topLevelItemCount();
}

int CQtListView::InsertRow(int row, const RowTexts& texts, int image) {
  row = std::clamp(row, 0, list_->topLevelItemCount());
  auto* item = new QTreeWidgetItem;
  for (int column = 0; column < kColumns; ++column)
    item->setText(column, QString::fromStdWString(texts[static_cast<std::size_t>(column)]));
  list_->insertTopLevelItem(row, item);
  list_->SetItemImage(row, image);
  return row;
}

void CQtListView::DeleteRow(int row) {
  delete list_->takeTopLevelItem(row);
}

void CQtListView::DeleteAllRows() {
  list_->clear();
}

std::wstring CQtListView::RowText(int row, int column) const {
  const QTreeWidgetItem* item = list_->topLevelItem(row);
  return item != nullptr ? item->text(column).toStdWString() : std::wstring();
}

int CQtListView::RowImage(int row) const {
  return list_->ItemImage(row);
}

void CQtListView::SetRowImage(int row, int image) {
  if (row >= 0 && row < list_->topLevelItemCount()) list_->SetItemImage(row, image);
}

void CQtListView::Refresh() {
  list_->viewport()->update();
}

void CQtListView::ApplyRowImage(CExListCtrl& list, int row, int image) {
  for (int i = 0; i < list.topLevelItemCount(); ++i) {
    if (list.ItemImage(i) != 0) list.SetItemImage(i, 0);
  }
  if (row >= 0 && row < list.topLevelItemCount()) list.SetItemImage(row, image);
}

void CQtListView::PostRowImage(int row, int image) {
  // Queued on the control: a control already gone drops the call.
  QMetaObject::invokeMethod(
      list_,
      [list = QPointer<CExListCtrl>(list_), row, image] {
        if (list) ApplyRowImage(*list, row, image);
      },
      Qt::QueuedConnection);
}

bool CQtListView::IsRowSelected(int row) const {
  const QTreeWidgetItem* item = list_->topLevelItem(row);
  return item != nullptr && item->isSelected();
}

void CQtListView::SetRowSelected(int row, bool selected) {
  if (QTreeWidgetItem* item = list_->topLevelItem(row)) item->setSelected(selected);
}

int CQtListView::SelectedCount() const {
  return static_cast<int>(list_->selectedItems().size());
}

int CQtListView::SelectionMark() const {
  const QModelIndex current = list_->currentIndex();
  return current.isValid() ? current.row() : -1;
}

void CQtListView::SetSelectionMark(int row) {
  if (QTreeWidgetItem* item = list_->topLevelItem(row)) {
    list_->setCurrentItem(item, 0, QItemSelectionModel::NoUpdate);
  }
}

int CQtListView::HitTest(ViewPoint point) const {
  const QModelIndex index = list_->indexAt(QPoint(point.x, point.y));
  return index.isValid() ? index.row() : -1;
}

int CQtListView::TopIndex() const {
  const QModelIndex index = list_->indexAt(QPoint(1, 1));
  return index.isValid() ? index.row() : 0;
}

bool CQtListView::RowBounds(int row, int* top, int* bottom) const {
  const QTreeWidgetItem* item = list_->topLevelItem(row);
  if (item == nullptr || top == nullptr || bottom == nullptr) return false;
  const QRect rect = list_->visualItemRect(item);
  *top = rect.top();
  *bottom = rect.bottom() + 1;
  return true;
}

ViewPoint CQtListView::ToScreen(ViewPoint point) const {
  const QPoint global = list_->viewport()->mapToGlobal(QPoint(point.x, point.y));
  return {global.x(), global.y()};
}

}  // namespace ui
