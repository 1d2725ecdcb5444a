#include "core/TkRowTable.h"

#include <algorithm>

void CTkRowTable::Place(int x, int y, int, int) {
  std::lock_guard lock(mutex_);
  x_ = x;
  y_ = y;
}

void CTkRowTable::InsertColumn(int column, const std::wstring& header, int width) {
  std::lock_guard lock(mutex_);
  column = std::clamp(column, 0, static_cast<int>(columns_.size()));
  columns_.insert(columns_.begin() + column, Column{header, width});
}

void CTkRowTable::DeleteAllColumns() {
  std::lock_guard lock(mutex_);
  columns_.clear();
}

int CTkRowTable::RowCount() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(rows_.size());
}

int CTkRowTable::InsertRow(int row, const RowTexts& texts, int image) {
  std::lock_guard lock(mutex_);
  row = std::clamp(row, 0, static_cast<int>(rows_.size()));
  rows_.insert(rows_.begin() + row, Row{texts, image, false});
  if (mark_ >= row) ++mark_;
  return row;
}

void CTkRowTable::DeleteRow(int row) {
  std::lock_guard lock(mutex_);
  if (!Valid(row)) return;
  rows_.erase(rows_.begin() + row);
  if (mark_ == row) {
    mark_ = -1;
  } else if (mark_ > row) {
    --mark_;
  }
  top_ = std::min(top_, std::max(0, static_cast<int>(rows_.size()) - 1));
}

void CTkRowTable::DeleteAllRows() {
  std::lock_guard lock(mutex_);
  rows_.clear();
  mark_ = -1;
  top_ = 0;
}

std::wstring CTkRowTable::RowText(int row, int column) const {
  std::lock_guard lock(mutex_);
  if (!Valid(row) || column < 0 || column >= kColumns) return {};
  return rows_[static_cast<std::size_t>(row)].texts[static_cast<std::size_t>(column)];
}

int CTkRowTable::RowImage(int row) const {
  std::lock_guard lock(mutex_);
  return Valid(row) ? rows_[static_cast<std::size_t>(row)].image : 0;
}

void CTkRowTable::SetRowImage(int row, int image) {
  std::lock_guard lock(mutex_);
  if (Valid(row)) rows_[static_cast<std::size_t>(row)].image = image;
}

void CTkRowTable::PostRowImage(int row, int image) {
  std::lock_guard lock(mutex_);
  for (auto& entry : rows_)
    entry.image = 0;
  if (Valid(row)) rows_[static_cast<std::size_t>(row)].image = image;
}

bool CTkRowTable::IsRowSelected(int row) const {
  std::lock_guard lock(mutex_);
  return Valid(row) && rows_[static_cast<std::size_t>(row)].selected;
}

void CTkRowTable::SetRowSelected(int row, bool selected) {
  std::lock_guard lock(mutex_);
  if (Valid(row)) rows_[static_cast<std::size_t>(row)].selected = selected;
}

int CTkRowTable::SelectedCount() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(
      std::count_if(rows_.begin(), rows_.end(), [](const Row& row) { return row.selected; }));
}

int CTkRowTable::SelectionMark() const {
  std::lock_guard lock(mutex_);
  return mark_;
}

void CTkRowTable::SetSelectionMark(int row) {
  std::lock_guard lock(mutex_);
  mark_ = Valid(row) ? row : -1;
}

int CTkRowTable::HitTest(ViewPoint point) const {
  std::lock_guard lock(mutex_);
  if (point.y < 0) return -1;
  const int row = top_ + point.y / kRowHeight;
  return Valid(row) ? row : -1;
}

int CTkRowTable::TopIndex() const {
  std::lock_guard lock(mutex_);
  return top_;
}

bool CTkRowTable::RowBounds(int row, int* top, int* bottom) const {
  std::lock_guard lock(mutex_);
  if (!Valid(row) || top == nullptr || bottom == nullptr) return false;
  *top = (row - top_) * kRowHeight;
  *bottom = *top + kRowHeight;
  return true;
}

ViewPoint CTkRowTable::ToScreen(ViewPoint point) const {
  std::lock_guard lock(mutex_);
  return {point.x + x_, point.y + y_};
}

void CTkRowTable::SetDragEnabled(bool enabled) {
  std::lock_guard lock(mutex_);
  dragEnabled_ = enabled;
}

void CTkRowTable::SetMinColumnWidth(int width) {
  std::lock_guard lock(mutex_);
  minColumnWidth_ = width;
}

void CTkRowTable::SetDropEnabled(bool enabled) {
  std::lock_guard lock(mutex_);
  dropEnabled_ = enabled;
}

bool CTkRowTable::GetDropPoint(ViewPoint* point) const {
  std::lock_guard lock(mutex_);
  if (point == nullptr) return false;
  *point = drop_;
  return true;
}

void CTkRowTable::SelectOnly(const std::vector<int>& rows) {
  std::lock_guard lock(mutex_);
  for (auto& row : rows_)
    row.selected = false;
  for (const int row : rows) {
    if (Valid(row)) rows_[static_cast<std::size_t>(row)].selected = true;
  }
  mark_ = rows.empty() || !Valid(rows.front()) ? -1 : rows.front();
}

void CTkRowTable::ScrollTo(int topIndex) {
  std::lock_guard lock(mutex_);
  top_ = std::clamp(topIndex, 0, std::max(0, static_cast<int>(rows_.size()) - 1));
}

void CTkRowTable::SetDropPoint(ViewPoint point) {
  std::lock_guard lock(mutex_);
  drop_ = point;
}

std::vector<CTkRowTable::Column> CTkRowTable::Columns() const {
  std::lock_guard lock(mutex_);
  return columns_;
}

bool CTkRowTable::DragEnabled() const {
  std::lock_guard lock(mutex_);
  return dragEnabled_;
}

bool CTkRowTable::DropEnabled() const {
  std::lock_guard lock(mutex_);
  return dropEnabled_;
}

int CTkRowTable::MinColumnWidth() const {
  std::lock_guard lock(mutex_);
  return minColumnWidth_;
}
