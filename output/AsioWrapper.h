#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "output/RendererApi.h"
#include "platform/DynamicLibrary.h"

// The binding to the renderer library in the program's folder, and the flag
// that sends the host operations its way. The player core owns the one
// instance; host calls reach it through a process-wide weak reference.
class CAsioWrapperImpl {
 public:
  // Loads the renderer library from `folder` (the program's own folder by
  // default); a missing library still gives a binding whose calls answer
  // "not present". The new binding becomes the process-wide one.
  static std::shared_ptr<CAsioWrapperImpl> Create();
  static std::shared_ptr<CAsioWrapperImpl> Create(const std::wstring& folder);
  // The process-wide binding, or null when none exists.
  static std::shared_ptr<CAsioWrapperImpl> Current();

  bool IsLoaded() const { return library_.IsLoaded(); }
  const RendererEntryPoints& entry() const { return entry_; }
  bool IsWasapi() const { return wasapi_.load(); }
  void SetWasapi(bool wasapi) { wasapi_.store(wasapi); }

 private:
  CAsioWrapperImpl() = default;
  void Load(const std::wstring& folder);

  platform::DynamicLibrary library_;
  RendererEntryPoints entry_;
  std::atomic<bool> wasapi_{false};
};
