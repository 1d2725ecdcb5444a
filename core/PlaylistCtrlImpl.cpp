#include "core/PlaylistCtrlImpl.h"

#include <algorithm>
#include <numeric>
#include <random>

namespace {

void SetUnplayable(TrackInfo& item, bool unplayable) {
  item.reserved[0] = unplayable ? 1 : 0;
}

TrackInfo PlayableCopy(const TrackInfo& item) {
  TrackInfo copy = item;
  SetUnplayable(copy, false);
  return copy;
}

}  // namespace

std::int32_t CPlaylistCtrlImpl::Count() const {
  std::lock_guard lock(mutex_);
  return CountLocked();
}

bool CPlaylistCtrlImpl::IsModified() const {
  std::lock_guard lock(mutex_);
  return modified_;
}

bool CPlaylistCtrlImpl::IsShuffle() const {
  std::lock_guard lock(mutex_);
  return shuffle_;
}

std::int32_t CPlaylistCtrlImpl::PlayPosition() const {
  std::lock_guard lock(mutex_);
  return position_;
}

std::int32_t CPlaylistCtrlImpl::CurrentItem() const {
  std::lock_guard lock(mutex_);
  if (order_.empty()) return 0;
  return order_[static_cast<std::size_t>(position_)];
}

std::int32_t CPlaylistCtrlImpl::NextItem() const {
  std::lock_guard lock(mutex_);
  if (order_.empty()) return 0;
  const std::int32_t next = position_ + 1 < CountLocked() ? position_ + 1 : 0;
  return order_[static_cast<std::size_t>(next)];
}

std::int32_t CPlaylistCtrlImpl::GetItem(std::int32_t index, TrackInfo* out) const {
  std::lock_guard lock(mutex_);
  if (order_.empty() || out == nullptr) return -1;
  if (index < 0 || index >= CountLocked()) index = 0;
  *out = items_[static_cast<std::size_t>(index)];
  return 0;
}

std::vector<TrackInfo> CPlaylistCtrlImpl::Items() const {
  std::lock_guard lock(mutex_);
  return items_;
}

void CPlaylistCtrlImpl::VisitItems(const std::function<void(const TrackInfo&)>& visit) const {
  std::lock_guard lock(mutex_);
  for (const TrackInfo& item : items_)
    visit(item);
}

std::vector<std::int32_t> CPlaylistCtrlImpl::PlayOrder() const {
  std::lock_guard lock(mutex_);
  return order_;
}

std::uint64_t CPlaylistCtrlImpl::PlayedSeconds() const {
  std::lock_guard lock(mutex_);
  std::uint64_t seconds = 0;
  for (std::int32_t p = 0; p < position_; ++p) {
    const std::int32_t item = shuffle_ ? order_[static_cast<std::size_t>(p)] : p;
    seconds += items_[static_cast<std::size_t>(item)].length / kFramesPerSecond;
  }
  return seconds;
}

bool CPlaylistCtrlImpl::AllUnplayable() const {
  std::lock_guard lock(mutex_);
  return std::all_of(items_.begin(), items_.end(), IsMarkedUnplayable);
}

void CPlaylistCtrlImpl::SetModified(bool modified) {
  std::lock_guard lock(mutex_);
  modified_ = modified;
}

void CPlaylistCtrlImpl::RemoveAll() {
  std::lock_guard lock(mutex_);
  modified_ = false;
  position_ = 0;
  items_.clear();
  order_.clear();
}

void CPlaylistCtrlImpl::Append(const TrackInfo& item) {
  std::lock_guard lock(mutex_);
  order_.push_back(CountLocked());
  items_.push_back(PlayableCopy(item));
  modified_ = true;
}

void CPlaylistCtrlImpl::Insert(const TrackInfo& item, std::int32_t index) {
  std::lock_guard lock(mutex_);
  index = std::clamp(index, 0, CountLocked());
  const std::int32_t current = TakeCurrentItem();
  items_.insert(items_.begin() + index, PlayableCopy(item));
  const std::int32_t pinned = current >= index ? current + 1 : current;
  if (!shuffle_) {
    // The order in sequence is the items' own and stays so with one more
    // at the end: what the rebuild would give, without going over every
    // item once per insert (a list of thousands added one by one).
    order_.push_back(CountLocked() - 1);
    position_ = pinned >= 0 && pinned < CountLocked() ? pinned : 0;
    return;
  }
  order_.push_back(CountLocked() - 1);  // any entry: the rebuild below rewrites them all
  PlayItemLocked(RebuildOrderLocked(shuffle_, pinned));
}

bool CPlaylistCtrlImpl::Remove(std::int32_t index) {
  std::lock_guard lock(mutex_);
  if (index < 0 || index >= CountLocked()) return false;
  const std::int32_t current = TakeCurrentItem();
  items_.erase(items_.begin() + index);
  order_.pop_back();
  PlayItemLocked(RebuildOrderLocked(shuffle_, index < current ? current - 1 : current));
  return index == current;
}

bool CPlaylistCtrlImpl::Move(std::span<const std::int32_t> indices, std::int32_t target) {
  std::lock_guard lock(mutex_);
  const std::int32_t count = CountLocked();
  if (indices.empty() || target < 0 || target > count) return false;
  for (std::size_t i = 0; i < indices.size(); ++i) {
    if (indices[i] < 0 || indices[i] >= count || (i > 0 && indices[i] <= indices[i - 1])) {
      return false;
    }
  }
  if (indices.size() == 1 && indices[0] == target) return true;

  // The new arrangement as old item indices: the others in their order, with
  // the moved ones inserted before the item that was at `target`.
  std::vector<std::int32_t> arrangement;
  arrangement.reserve(static_cast<std::size_t>(count));
  std::int32_t insertAt = -1;
  for (std::int32_t i = 0, next = 0; i <= count; ++i) {
    if (i == target) insertAt = static_cast<std::int32_t>(arrangement.size());
    if (i == count) break;
    if (next < static_cast<std::int32_t>(indices.size()) && indices[next] == i) {
      ++next;
    } else {
      arrangement.push_back(i);
    }
  }
  arrangement.insert(arrangement.begin() + insertAt, indices.begin(), indices.end());

  const std::int32_t current = TakeCurrentItem();
  std::vector<TrackInfo> moved;
  moved.reserve(items_.size());
  for (const std::int32_t old : arrangement)
    moved.push_back(std::move(items_[static_cast<std::size_t>(old)]));
  items_ = std::move(moved);
  // Pin the current item by its new index: in shuffle mode the play order is
  // a permutation, so a position in it says nothing about where an item went.
  const auto newIndex = std::find(arrangement.begin(), arrangement.end(), current);
  PlayItemLocked(
      RebuildOrderLocked(shuffle_, static_cast<std::int32_t>(newIndex - arrangement.begin())));
  return true;
}

std::int32_t CPlaylistCtrlImpl::SetPlayPosition(std::int32_t position) {
  std::lock_guard lock(mutex_);
  const std::int32_t count = CountLocked();
  // An empty playlist keeps position 0: -1 would index before the order.
  if (count == 0) {
    position = 0;
  } else if (position < 0) {
    position = count - 1;
  } else if (position >= count) {
    position = 0;
  }
  position_ = position;
  return position;
}

std::int32_t CPlaylistCtrlImpl::SetPlayPositionToItem(std::int32_t item) {
  std::lock_guard lock(mutex_);
  const auto entry = std::find(order_.begin(), order_.end(), item);
  if (entry != order_.end()) position_ = static_cast<std::int32_t>(entry - order_.begin());
  return position_;
}

std::int32_t CPlaylistCtrlImpl::MarkUnplayable(std::int32_t item) {
  std::lock_guard lock(mutex_);
  if (order_.empty()) return -1;
  if (item < 0 || item >= CountLocked()) item = 0;
  SetUnplayable(items_[static_cast<std::size_t>(item)], true);
  return 0;
}

void CPlaylistCtrlImpl::ClearUnplayable() {
  std::lock_guard lock(mutex_);
  for (auto& item : items_)
    SetUnplayable(item, false);
}

void CPlaylistCtrlImpl::RebuildOrder(bool shuffle, std::int32_t pinned) {
  std::lock_guard lock(mutex_);
  RebuildOrderLocked(shuffle, pinned);
}

std::int32_t CPlaylistCtrlImpl::TakeCurrentItem() {
  if (position_ < 0 || position_ >= static_cast<std::int32_t>(order_.size())) {
    position_ = 0;
    if (order_.empty()) return 0;
  }
  return order_[static_cast<std::size_t>(position_)];
}

std::int32_t CPlaylistCtrlImpl::RebuildOrderLocked(bool shuffle, std::int32_t pinned) {
  shuffle_ = shuffle;
  position_ = 0;
  const std::int32_t n = static_cast<std::int32_t>(order_.size());
  if (n == 0) return -1;
  if (pinned >= n) pinned = 0;
  if (pinned < 0) pinned = -1;
  if (!shuffle) {
    std::iota(order_.begin(), order_.end(), 0);
    return pinned;
  }

  // Each item lands a random step after the previous one, sliding back to
  // the nearest free entry; a fresh seed every time.
  std::fill(order_.begin(), order_.end(), -1);
  std::mt19937 engine(std::random_device{}());
  if (pinned != -1) order_[0] = pinned;
  const auto size = static_cast<std::uint32_t>(n);
  std::uint32_t b = 0;
  for (std::int32_t i = 0; i < n; ++i) {
    if (i == pinned) continue;
    b += engine() % size;
    if (b >= size) b -= size;
    while (order_[b] != -1)
      b = b == 0 ? size - 1 : b - 1;
    order_[b] = i;
  }
  for (auto& item : items_)
    SetUnplayable(item, false);
  return pinned;
}

void CPlaylistCtrlImpl::PlayItemLocked(std::int32_t item) {
  const auto entry = std::find(order_.begin(), order_.end(), item);
  position_ = entry == order_.end() ? 0 : static_cast<std::int32_t>(entry - order_.begin());
}
