#include "output/AsioHost.h"

#include <atomic>
#include <cstring>
#include <memory>

#include "output/AsioDriverList.h"
#include "output/AsioWrapper.h"
#include "platform/TextConv.h"

namespace {

constexpr std::size_t kLoaderNameBytes = 32;

// The loader's list lives from the first load to ReleaseAsioDrivers; the
// current driver object belongs to its record.
std::unique_ptr<InstalledAsioDrivers> gLoaderList;
IAsioDriver* gCurrent = nullptr;
std::atomic<bool> gListExists{false};

std::string LoaderName(int32_t id) {
  char name[kLoaderNameBytes] = {};
  gLoaderList->GetDriverName(id, name, sizeof name);
  return name;
}

bool LoadByLoaderName(const std::string& name) {
  if (!gLoaderList) {
    gLoaderList = std::make_unique<InstalledAsioDrivers>();
    gListExists = true;
  }
  int32_t found = -1;
  for (int32_t id = 0; id < gLoaderList->GetDriverCount() && found < 0; ++id) {
    if (LoaderName(id) == name) found = id;
  }
  if (found < 0) return false;

  const std::string previous =
      gLoaderList->currentId >= 0 ? LoaderName(gLoaderList->currentId) : std::string();
  UnloadCurrentDriver();

  AsioDriverRecord& record = *gLoaderList->Record(found);
  record.driver = CreateAsioDriver(record);
  if (record.driver) {
    gCurrent = record.driver->get();
    gLoaderList->currentId = found;
    return true;
  }
  gCurrent = nullptr;
  if (!previous.empty() && previous != name) LoadByLoaderName(previous);
  return false;
}

std::shared_ptr<CAsioWrapperImpl> Binding() {
  return CAsioWrapperImpl::Current();
}

void CopyText(char* field, std::size_t size, const char* text) {
  std::strncpy(field, text, size - 1);
  field[size - 1] = '\0';
}

// Runs `onRenderer` with the entry point on the WASAPI route and `onDriver`
// with the current driver otherwise; the fallbacks when either is missing.
template <typename Entry, typename OnRenderer, typename OnDriver, typename NoDriver>
AsioError Dispatch(Entry RendererEntryPoints::*entry, OnRenderer onRenderer, OnDriver onDriver,
                   NoDriver noDriver) {
  const auto binding = Binding();  // held for the whole call
  if (!binding) return kAsioInvalidMode;
  if (binding->IsWasapi()) {
    const Entry fn = binding->entry().*entry;
    return fn != nullptr ? onRenderer(fn) : kAsioNotPresent;
  }
  if (gCurrent == nullptr) {
    noDriver();
    return kAsioNotPresent;
  }
  return onDriver(*gCurrent);
}

void Nothing() {}

}  // namespace

bool LoadDriverByName(const std::wstring& name) {
  return LoadByLoaderName(platform::ToUtf8(name));
}

void UnloadCurrentDriver() {
  if (gLoaderList && gLoaderList->currentId >= 0) {
    gLoaderList->Record(gLoaderList->currentId)->driver.reset();
    gLoaderList->currentId = -1;
  }
  gCurrent = nullptr;
}

void ReleaseAsioDrivers() {
  UnloadCurrentDriver();
  gLoaderList.reset();
  gListExists = false;
}

bool AsioDriverListExists() {
  return gListExists;
}

AsioError HostInit(AsioDriverInfo* info) {
  const auto binding = Binding();
  if (!binding) return kAsioInvalidMode;
  if (binding->IsWasapi()) {
    const auto fn = binding->entry().Init;
    return fn != nullptr ? fn(info) : kAsioNotPresent;
  }
  info->driverVersion = 0;
  CopyText(info->name, sizeof info->name, "No ASIO Driver");
  if (gCurrent == nullptr) return kAsioNotPresent;
  if (gCurrent->init(info->sysRef) == kAsioTrue) {
    CopyText(info->errorMessage, sizeof info->errorMessage, "No ASIO Driver Error");
    gCurrent->getDriverName(info->name);
    info->name[sizeof info->name - 1] = '\0';
    info->driverVersion = gCurrent->getDriverVersion();
    return kAsioOk;
  }
  gCurrent->getErrorMessage(info->errorMessage);
  info->errorMessage[sizeof info->errorMessage - 1] = '\0';
  // The refusing object stays with its record until the next load.
  gCurrent = nullptr;
  return kAsioNotPresent;
}

AsioError HostExit() {
  const auto binding = Binding();
  if (!binding) return kAsioInvalidMode;
  if (binding->IsWasapi()) {
    const auto fn = binding->entry().Exit;
    return fn != nullptr ? fn() : kAsioNotPresent;
  }
  if (gCurrent != nullptr) UnloadCurrentDriver();
  gCurrent = nullptr;
  return kAsioOk;
}

AsioError HostStart() {
  return Dispatch(
      &RendererEntryPoints::Start, [](auto fn) { return fn(); },
      [](IAsioDriver& d) { return d.start(); }, Nothing);
}

AsioError HostStop() {
  return Dispatch(
      &RendererEntryPoints::Stop, [](auto fn) { return fn(); },
      [](IAsioDriver& d) { return d.stop(); }, Nothing);
}

AsioError HostGetChannels(int32_t* inputs, int32_t* outputs) {
  return Dispatch(
      &RendererEntryPoints::GetChannels, [&](auto fn) { return fn(inputs, outputs); },
      [&](IAsioDriver& d) { return d.getChannels(inputs, outputs); },
      [&] { *inputs = *outputs = 0; });
}

AsioError HostGetLatencies(int32_t* input, int32_t* output) {
  return Dispatch(
      &RendererEntryPoints::GetLatencies, [&](auto fn) { return fn(input, output); },
      [&](IAsioDriver& d) { return d.getLatencies(input, output); }, [&] { *input = *output = 0; });
}

AsioError HostGetBufferSize(int32_t* minimum, int32_t* maximum, int32_t* preferred,
                            int32_t* granularity) {
  return Dispatch(
      &RendererEntryPoints::GetBufferSize,
      [&](auto fn) { return fn(minimum, maximum, preferred, granularity); },
      [&](IAsioDriver& d) { return d.getBufferSize(minimum, maximum, preferred, granularity); },
      [&] { *minimum = *maximum = *preferred = *granularity = 0; });
}

AsioError HostCanSampleRate(AsioSampleRate rate) {
  return Dispatch(
      &RendererEntryPoints::CanSampleRate, [&](auto fn) { return fn(rate); },
      [&](IAsioDriver& d) { return d.canSampleRate(rate); }, Nothing);
}

AsioError HostSetSampleRate(AsioSampleRate rate) {
  return Dispatch(
      &RendererEntryPoints::SetSampleRate, [&](auto fn) { return fn(rate); },
      [&](IAsioDriver& d) { return d.setSampleRate(rate); }, Nothing);
}

AsioError HostGetSamplePosition(int64_t* position, int64_t* timestamp) {
  return Dispatch(
      &RendererEntryPoints::GetSamplePosition, [&](auto fn) { return fn(position, timestamp); },
      [&](IAsioDriver& d) { return d.getSamplePosition(position, timestamp); }, Nothing);
}

AsioError HostGetChannelInfo(AsioChannelInfo* info) {
  return Dispatch(
      &RendererEntryPoints::GetChannelInfo, [&](auto fn) { return fn(info); },
      [&](IAsioDriver& d) { return d.getChannelInfo(info); },
      [&] {
        info->channelGroup = -1;
        info->type = 0;
        CopyText(info->name, sizeof info->name, "None");
      });
}

AsioError HostCreateBuffers(AsioBufferInfo* infos, int32_t count, int32_t bufferSize,
                            AsioCallbacks* callbacks) {
  return Dispatch(
      &RendererEntryPoints::CreateBuffers,
      [&](auto fn) { return fn(infos, count, bufferSize, callbacks); },
      [&](IAsioDriver& d) { return d.createBuffers(infos, count, bufferSize, callbacks); },
      [&] {
        for (int32_t i = 0; i < count; ++i)
          infos[i].buffers[0] = infos[i].buffers[1] = nullptr;
      });
}

AsioError HostDisposeBuffers() {
  return Dispatch(
      &RendererEntryPoints::DisposeBuffers, [](auto fn) { return fn(); },
      [](IAsioDriver& d) { return d.disposeBuffers(); }, Nothing);
}

AsioError HostFuture(int32_t selector, void* argument) {
  return Dispatch(
      &RendererEntryPoints::Future, [&](auto fn) { return fn(selector, argument); },
      [&](IAsioDriver& d) { return d.future(selector, argument); }, Nothing);
}

AsioError HostOutputReady() {
  return Dispatch(
      &RendererEntryPoints::OutputReady, [](auto fn) { return fn(); },
      [](IAsioDriver& d) { return d.outputReady(); }, Nothing);
}

AsioError HostGetErrorMessage(char* message) {
  message[0] = '\0';
  const auto binding = Binding();
  if (!binding) return kAsioInvalidMode;
  if (binding->IsWasapi() || gCurrent == nullptr) return kAsioNotPresent;
  char text[124] = {};
  gCurrent->getErrorMessage(text);
  CopyText(message, sizeof text, text);
  return kAsioOk;
}

int32_t HostIsWasapi() {
  const auto binding = Binding();
  return binding && binding->IsWasapi() ? 1 : 0;
}

int32_t HostGetSelectedFlags() {
  const auto binding = Binding();
  if (!binding || !binding->IsWasapi() || binding->entry().GetSelectedFlags == nullptr) return 0;
  return binding->entry().GetSelectedFlags();
}
