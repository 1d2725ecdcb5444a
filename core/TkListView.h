#pragma once

#include <array>
#include <string>

#include "core/PlaylistViewCtrl.h"

// The report-style list the facade shows the playlist in: five text
// columns, an image index per row (0 none, 1 playing, 2 paused), a row
// selection with a selection mark, and hit testing in the list's client
// coordinates. The window implements it over its list control; the
// terminal player over an in-memory table.
//
// Every operation runs on the window thread except PostRowImage, which the
// playback thread calls: it must never wait for the window thread (the
// window thread may be waiting for the playback thread to end).
class ITkListView {
 public:
  static constexpr int kColumns = 5;
  using RowTexts = std::array<std::wstring, kColumns>;

  virtual ~ITkListView() = default;

  // Moves the list to (x, y, width, height) in its owner's client area.
  virtual void Place(int x, int y, int width, int height) = 0;
  virtual void InsertColumn(int column, const std::wstring& header, int width) = 0;
  virtual void DeleteAllColumns() = 0;

  virtual int RowCount() const = 0;
  // Inserts a row at `row` (clamped to the row count); its index.
  virtual int InsertRow(int row, const RowTexts& texts, int image) = 0;
  virtual void DeleteRow(int row) = 0;
  virtual void DeleteAllRows() = 0;
  virtual std::wstring RowText(int row, int column) const = 0;
  virtual int RowImage(int row) const = 0;
  virtual void SetRowImage(int row, int image) = 0;
  // Repaints the whole list now.
  virtual void Refresh() = 0;
  // From any thread, in call order: every row's image to 0, then `image`
  // on `row` (none when `row` is negative). Applied on the window thread.
  virtual void PostRowImage(int row, int image) = 0;

  virtual bool IsRowSelected(int row) const = 0;
  virtual void SetRowSelected(int row, bool selected) = 0;
  virtual int SelectedCount() const = 0;
  // The selection mark (the row a shift-click extends from); -1 for none.
  virtual int SelectionMark() const = 0;
  // Makes `row` the selection mark and the focused row.
  virtual void SetSelectionMark(int row) = 0;

  // The row at a point of the row area; -1 for none.
  virtual int HitTest(ViewPoint point) const = 0;
  // The first row scrolled into view.
  virtual int TopIndex() const = 0;
  // The vertical bounds of a row in the row area; false for no such row.
  virtual bool RowBounds(int row, int* top, int* bottom) const = 0;
  // A point of the row area in screen coordinates.
  virtual ViewPoint ToScreen(ViewPoint point) const = 0;
};
