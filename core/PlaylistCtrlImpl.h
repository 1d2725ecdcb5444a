#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <vector>

#include "sources/TrackInfo.h"

// The playlist keeps its unplayable mark (0 or 1) in an item's first
// reserved integer.
inline bool IsMarkedUnplayable(const TrackInfo& item) {
  return item.reserved[0] != 0;
}

// The playlist's data: the items in the order the user sees them, the play
// order (item indices, the item order itself or a random permutation in
// shuffle mode) and the play position within that order. The window thread
// edits it, the playback thread moves the play position and the user
// interface reads it: every operation holds the object's lock for its whole
// duration, items are only ever copied in and out, and no operation calls out
// of the object, so the lock is taken alone.
class CPlaylistCtrlImpl {
 public:
  std::int32_t Count() const;
  bool IsModified() const;
  bool IsShuffle() const;
  std::int32_t PlayPosition() const;
  // The play order's entry at the play position; 0 for an empty playlist.
  std::int32_t CurrentItem() const;
  // The entry after the play position, wrapping to the first; 0 when empty.
  std::int32_t NextItem() const;
  // Copies item `index` (item 0 when `index` is out of range) and returns 0;
  // -1 with nothing copied when the playlist is empty.
  std::int32_t GetItem(std::int32_t index, TrackInfo* out) const;
  std::vector<TrackInfo> Items() const;
  // Calls `visit` with every item in order, the lock held throughout, so
  // nothing is copied; `visit` must not call back into the playlist.
  void VisitItems(const std::function<void(const TrackInfo&)>& visit) const;
  std::vector<std::int32_t> PlayOrder() const;
  // Whole seconds of the items played before the play position, in play
  // order with shuffle, in item order without.
  std::uint64_t PlayedSeconds() const;
  // True when every item is marked unplayable, also when there is none.
  bool AllUnplayable() const;

  void SetModified(bool modified);
  // Removes everything; the playlist then counts as unmodified.
  void RemoveAll();
  // Adds a copy at the end, also to the end of the play order (callers
  // rebuild the order after a batch).
  void Append(const TrackInfo& item);
  // Inserts a copy at `index` (limited to 0..Count) and rebuilds the order
  // keeping the current item current.
  void Insert(const TrackInfo& item, std::int32_t index);
  // Removes item `index` and rebuilds the order; the item that followed the
  // current one becomes current when the current one goes (item 0 after the
  // last). True when the removed item was the current item; an index out of
  // range changes nothing.
  bool Remove(std::int32_t index);
  // Moves the items at `indices` (strictly ascending) so that they stand
  // together, in their order, before the item that was at `target` (Count:
  // at the end). The current item stays current, with or without shuffle.
  // False, changing nothing, for indices or a target out of range.
  bool Move(std::span<const std::int32_t> indices, std::int32_t target);
  // Sets the play position; below 0 gives the last position, past the end
  // the first. Returns the position set (0 for an empty playlist).
  std::int32_t SetPlayPosition(std::int32_t position);
  // Moves the play position to the first entry naming `item`, if any;
  // returns the play position.
  std::int32_t SetPlayPositionToItem(std::int32_t item);
  // Marks item `item` (item 0 when out of range) unplayable: 0, or -1 when
  // the playlist is empty.
  std::int32_t MarkUnplayable(std::int32_t item);
  void ClearUnplayable();
  // Sets the shuffle flag and rebuilds the play order: the item order, or
  // with shuffle a fresh random permutation that starts with `pinned` (-1:
  // nothing pinned) and clears every unplayable mark. The play position
  // becomes 0.
  void RebuildOrder(bool shuffle, std::int32_t pinned);

 private:
  // The current item, first resetting a play position that is out of range.
  std::int32_t TakeCurrentItem();
  // RebuildOrder with the lock held; returns the item actually pinned.
  std::int32_t RebuildOrderLocked(bool shuffle, std::int32_t pinned);
  // Points the play position at `item`'s entry, or at 0 without one.
  void PlayItemLocked(std::int32_t item);
  std::int32_t CountLocked() const { return static_cast<std::int32_t>(items_.size()); }

  mutable std::mutex mutex_;
  bool modified_ = false;
  bool shuffle_ = false;
  std::int32_t position_ = 0;
  std::vector<TrackInfo> items_;
  std::vector<std::int32_t> order_;
};
