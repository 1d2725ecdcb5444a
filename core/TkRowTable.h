#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "core/TkListView.h"

// The playlist's list without a window: rows of texts with an image index
// and a selection, laid out as fixed-height rows from the top of the row
// area so that hit tests and drop points work as on screen. Used by the
// terminal player and the tests. Every operation takes the table's lock, so
// the posted row images apply at once from any thread.
class CTkRowTable : public ITkListView, public IPlaylistViewCtrl {
 public:
  static constexpr int kRowHeight = 20;

  // ITkListView
  void Place(int x, int y, int width, int height) override;
  void InsertColumn(int column, const std::wstring& header, int width) override;
  void DeleteAllColumns() override;
  int RowCount() const override;
  int InsertRow(int row, const RowTexts& texts, int image) override;
  void DeleteRow(int row) override;
  void DeleteAllRows() override;
  std::wstring RowText(int row, int column) const override;
  int RowImage(int row) const override;
  void SetRowImage(int row, int image) override;
  void Refresh() override {}
  void PostRowImage(int row, int image) override;
  bool IsRowSelected(int row) const override;
  void SetRowSelected(int row, bool selected) override;
  int SelectedCount() const override;
  int SelectionMark() const override;
  void SetSelectionMark(int row) override;
  int HitTest(ViewPoint point) const override;
  int TopIndex() const override;
  bool RowBounds(int row, int* top, int* bottom) const override;
  ViewPoint ToScreen(ViewPoint point) const override;

  // IPlaylistViewCtrl
  void SetDragEnabled(bool enabled) override;
  void SetMinColumnWidth(int width) override;
  void SetDropEnabled(bool enabled) override;
  bool GetDropPoint(ViewPoint* point) const override;

  // What a user does to the table.
  void SelectOnly(const std::vector<int>& rows);
  void ScrollTo(int topIndex);
  void SetDropPoint(ViewPoint point);

  struct Column {
    std::wstring header;
    int width = 0;
  };
  std::vector<Column> Columns() const;
  bool DragEnabled() const;
  bool DropEnabled() const;
  int MinColumnWidth() const;

 private:
  struct Row {
    RowTexts texts;
    int image = 0;
    bool selected = false;
  };
  bool Valid(int row) const { return row >= 0 && row < static_cast<int>(rows_.size()); }

  mutable std::mutex mutex_;
  int x_ = 0;
  int y_ = 0;
  std::vector<Column> columns_;
  std::vector<Row> rows_;
  int mark_ = -1;
  int top_ = 0;
  ViewPoint drop_;
  bool dragEnabled_ = false;
  bool dropEnabled_ = false;
  int minColumnWidth_ = 0;
};
