#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <string>

#include "output/AsioApi.h"

// What our driver objects do alike: reference counting (the last Release
// deletes the object), one internal clock source, no control panel.
class CAsioDriverBase : public IAsioDriver {
 public:
  virtual ~CAsioDriverBase() = default;

  int32_t QueryInterface(const AsioClassId&, void** object) override {
    if (object == nullptr) return kAsioInvalidParameter;
    AddRef();
    *object = this;
    return kAsioOk;
  }
  uint32_t AddRef() override { return ++references_; }
  uint32_t Release() override {
    const uint32_t left = --references_;
    if (left == 0) delete this;
    return left;
  }
  AsioError getClockSources(AsioClockSource* clocks, int32_t* count) override {
    if (clocks == nullptr || count == nullptr || *count < 1) return kAsioInvalidParameter;
    *clocks = AsioClockSource{0, -1, 0, kAsioTrue, {}};
    CopyText(clocks->name, sizeof clocks->name, "Internal");
    *count = 1;
    return kAsioOk;
  }
  AsioError setClockSource(int32_t reference) override {
    return reference == 0 ? kAsioOk : kAsioInvalidParameter;
  }
  AsioError controlPanel() override { return kAsioNotPresent; }

  // Copies `text` into a field of `size` bytes, cut to fit, terminated.
  static void CopyText(char* field, std::size_t size, const std::string& text) {
    const std::size_t length = std::min(text.size(), size - 1);
    std::memcpy(field, text.data(), length);
    field[length] = '\0';
  }

  // The system time of sample positions: the steady clock in nanoseconds.
  static int64_t NowNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }

 private:
  std::atomic<uint32_t> references_{1};
};
