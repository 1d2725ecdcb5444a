#pragma once

#include <string>
#include <utility>

// One setting: its key in the profile, its current value and its default.
// Users read and write `value` directly; writing does not save it.
template <typename T>
class CAppConfigItem {
 public:
  CAppConfigItem(std::wstring key, T defaultValue)
      : key_(std::move(key)), value(defaultValue), default_(std::move(defaultValue)) {}
  CAppConfigItem(const CAppConfigItem&) = default;
  // Assignment takes over the value only: key and default belong to the item.
  CAppConfigItem& operator=(const CAppConfigItem& other) {
    value = other.value;
    return *this;
  }

  const std::wstring& key() const { return key_; }
  const T& defaultValue() const { return default_; }
  void Reset() { value = default_; }

 private:
  std::wstring key_;

 public:
  T value;

 private:
  T default_;
};
