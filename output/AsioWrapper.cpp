#include "output/AsioWrapper.h"

#include <mutex>

#include "platform/Paths.h"
#include "platform/TextConv.h"

namespace {

std::mutex gBindingMutex;
std::weak_ptr<CAsioWrapperImpl> gBinding;

template <typename Fn>
void Resolve(const platform::DynamicLibrary& library, const char* name, Fn& entry) {
  entry = reinterpret_cast<Fn>(library.Symbol(name));
}

}  // namespace

std::shared_ptr<CAsioWrapperImpl> CAsioWrapperImpl::Create() {
  return Create(platform::ExecutableDirectory());
}

std::shared_ptr<CAsioWrapperImpl> CAsioWrapperImpl::Create(const std::wstring& folder) {
  std::shared_ptr<CAsioWrapperImpl> binding(new CAsioWrapperImpl());
  binding->Load(folder);
  std::lock_guard lock(gBindingMutex);
  gBinding = binding;
  return binding;
}

std::shared_ptr<CAsioWrapperImpl> CAsioWrapperImpl::Current() {
  std::lock_guard lock(gBindingMutex);
  return gBinding.lock();
}

void CAsioWrapperImpl::Load(const std::wstring& folder) {
  if (folder.empty() || !library_.Load(folder + L"/" + platform::FromUtf8(kRendererLibraryName))) {
    return;
  }
  RendererEntryPoints& e = entry_;
  Resolve(library_, "Init", e.Init);
  Resolve(library_, "Exit", e.Exit);
  Resolve(library_, "Start", e.Start);
  Resolve(library_, "Stop", e.Stop);
  Resolve(library_, "GetChannels", e.GetChannels);
  Resolve(library_, "GetLatencies", e.GetLatencies);
  Resolve(library_, "GetBufferSize", e.GetBufferSize);
  Resolve(library_, "CanSampleRate", e.CanSampleRate);
  Resolve(library_, "GetSampleRate", e.GetSampleRate);
  Resolve(library_, "SetSampleRate", e.SetSampleRate);
  Resolve(library_, "GetClockSources", e.GetClockSources);
  Resolve(library_, "SetClockSource", e.SetClockSource);
  Resolve(library_, "GetSamplePosition", e.GetSamplePosition);
  Resolve(library_, "GetChannelInfo", e.GetChannelInfo);
  Resolve(library_, "CreateBuffers", e.CreateBuffers);
  Resolve(library_, "DisposeBuffers", e.DisposeBuffers);
  Resolve(library_, "ControlPanel", e.ControlPanel);
  Resolve(library_, "Future", e.Future);
  Resolve(library_, "OutputReady", e.OutputReady);
  Resolve(library_, "EnumerateWASAPIDevices", e.EnumerateWASAPIDevices);
  Resolve(library_, "SelectWASAPIDevice", e.SelectWASAPIDevice);
  Resolve(library_, "GetSelectedFlags", e.GetSelectedFlags);
}
