#include "drivers/alsa/AlsaPcmCache.h"

#include <algorithm>

AlsaPcmCache& AlsaPcmCache::Instance() {
  static AlsaPcmCache cache;
  return cache;
}

AlsaPcmCache::~AlsaPcmCache() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (closer_.joinable()) closer_.join();
  kept_.clear();
}

int AlsaPcmCache::Acquire(const std::string& name, std::unique_ptr<AlsaPcm>& pcm) {
  {
    std::lock_guard lock(mutex_);
    const auto it = std::find_if(kept_.begin(), kept_.end(),
                                 [&](const Kept& kept) { return kept.pcm->name() == name; });
    if (it != kept_.end()) {
      pcm = std::move(it->pcm);
      kept_.erase(it);
      return 0;
    }
  }
  return AlsaPcm::Open(name, pcm);
}

void AlsaPcmCache::Release(std::unique_ptr<AlsaPcm> pcm, std::chrono::milliseconds grace) {
  if (!pcm || grace <= std::chrono::milliseconds::zero()) return;  // closes here
  {
    std::lock_guard lock(mutex_);
    kept_.push_back(Kept{std::move(pcm), Clock::now() + grace});
    if (!closer_.joinable()) closer_ = std::thread(&AlsaPcmCache::CloseExpired, this);
  }
  changed_.notify_all();
}

void AlsaPcmCache::CloseExpired() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    if (kept_.empty()) {
      changed_.wait(lock);
      continue;
    }
    const auto first = std::min_element(
        kept_.begin(), kept_.end(), [](const auto& a, const auto& b) { return a.until < b.until; });
    if (Clock::now() < first->until) {
      changed_.wait_until(lock, first->until);
      continue;
    }
    std::unique_ptr<AlsaPcm> expired = std::move(first->pcm);
    kept_.erase(first);
    lock.unlock();
    expired.reset();  // snd_pcm_close, outside the lock
    lock.lock();
  }
}
