#pragma once

#include "core/TkListView.h"

namespace ui {

class CExListCtrl;

// The facade's list view over the playlist control. Row images posted from
// the playback thread are queued to the control's thread and applied there
// in order; nothing waits for the window thread.
class CQtListView : public ITkListView {
 public:
  explicit CQtListView(CExListCtrl* list) : list_(list) {}

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
  void Refresh() override;
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

  // On the window thread: every row's image to 0, then `image` on `row`.
  static void ApplyRowImage(CExListCtrl& list, int row, int image);

 private:
  CExListCtrl* const list_;
};

}  // namespace ui
