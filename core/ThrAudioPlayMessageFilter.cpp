#include "core/ThrAudioPlayMessageFilter.h"

#include <algorithm>

#include "output/PlaybackMessages.h"

namespace {

bool IsSetting(std::uint32_t id) {
  return id == TM_SET_SHUFFLE || id == TM_SET_REPEAT || id == TM_OUTPUT_CHANGED;
}

}  // namespace

bool CThrAudioPlayMessageFilter::IsControl(std::uint32_t id) {
  return id == platform::kQuitMessage || id == TM_PLAY_ITEM || id == TM_SEEK || id == TM_STOP ||
         id == TM_PREVIOUS || id == TM_NEXT;
}

bool CThrAudioPlayMessageFilter::Supersedes(std::uint32_t newer, std::uint32_t older) {
  switch (newer) {
    case platform::kQuitMessage:
      return true;
    case TM_STOP:
      return !IsSetting(older) && older != platform::kQuitMessage;
    case TM_PLAY_ITEM:
      return older == TM_PLAY_ITEM || older == TM_STOP;
    case TM_SEEK:
      return older == TM_SEEK;
    case TM_PREVIOUS:
    case TM_NEXT:
      return older == TM_PLAY_ITEM || older == TM_SEEK || older == TM_STOP || older == TM_PAUSE;
    default:
      return false;
  }
}

void CThrAudioPlayMessageFilter::Collect(platform::ThreadMessageQueue& queue) {
  std::lock_guard lock(lock_);
  while (auto message = queue.TryTake())
    records_.push_back({*message, false});
}

void CThrAudioPlayMessageFilter::Append(const platform::ThreadMessage& message) {
  std::lock_guard lock(lock_);
  records_.push_back({message, false});
}

bool CThrAudioPlayMessageFilter::Empty() const {
  std::lock_guard lock(lock_);
  return records_.empty();
}

void CThrAudioPlayMessageFilter::Coalesce() {
  std::lock_guard lock(lock_);
  const Record* reference = nullptr;
  for (auto record = records_.rbegin(); record != records_.rend(); ++record) {
    if (record->dropped) break;
    if (reference != nullptr && Supersedes(reference->message.id, record->message.id)) {
      record->dropped = true;
    } else if (IsControl(record->message.id)) {
      reference = &*record;
    }
  }
  RemoveDroppedFront();
}

std::optional<platform::ThreadMessage> CThrAudioPlayMessageFilter::TakeFront() {
  std::lock_guard lock(lock_);
  RemoveDroppedFront();
  if (records_.empty()) return std::nullopt;
  const platform::ThreadMessage message = records_.front().message;
  records_.pop_front();
  return message;
}

std::optional<platform::ThreadMessage> CThrAudioPlayMessageFilter::TakeFirstOf(
    std::initializer_list<std::uint32_t> ids) {
  std::lock_guard lock(lock_);
  const auto found = std::find_if(records_.begin(), records_.end(), [&](const Record& record) {
    return !record.dropped && std::find(ids.begin(), ids.end(), record.message.id) != ids.end();
  });
  if (found == records_.end()) return std::nullopt;
  const platform::ThreadMessage message = found->message;
  records_.erase(found);
  return message;
}

void CThrAudioPlayMessageFilter::RemoveDroppedFront() {
  while (!records_.empty() && records_.front().dropped)
    records_.pop_front();
}
