#pragma once

// A point in the list's row area (the coordinates its hit test takes).
struct ViewPoint {
  int x = 0;
  int y = 0;
};

// What the playlist's owner sets on the list beyond plain rows and columns.
class IPlaylistViewCtrl {
 public:
  virtual ~IPlaylistViewCtrl() = default;
  // Reordering rows by dragging them, on or off.
  virtual void SetDragEnabled(bool enabled) = 0;
  // Columns narrower than `width` pixels are widened at the next redraw;
  // values below 1 turn this off.
  virtual void SetMinColumnWidth(int width) = 0;
  // Files dragged in from other programs, accepted or not.
  virtual void SetDropEnabled(bool enabled) = 0;
  // The point of the last file drop; false for a null `point`.
  virtual bool GetDropPoint(ViewPoint* point) const = 0;
};
