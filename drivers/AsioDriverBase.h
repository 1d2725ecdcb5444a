#pragma once

#include <atomic>

#include "output/AsioApi.h"
#include "output/AsioDriverSupport.h"

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
    return GetInternalClock(clocks, count);
  }
  AsioError setClockSource(int32_t reference) override { return SetInternalClock(reference); }
  AsioError controlPanel() override { return kAsioNotPresent; }

 private:
  std::atomic<uint32_t> references_{1};
};
