#include "output/DeviceSelection.h"

#include <regex>

#include "output/AsioHost.h"
#include "output/AsioWrapper.h"
#include "platform/TextConv.h"

namespace {

// The maker's two desktop DACs stay open when playback stops.
int32_t SelectionFlags(const std::u16string& hardwareId) {
  static const std::wregex kUsbId(LR"(^USB\\(VID_[0-9A-F]{4,4}&PID_[0-9A-F]{4,4})&.*$)");
  int32_t flags = kWasapiSelectFlag;
  const std::wstring id = platform::FromUtf16(hardwareId);
  std::wsmatch match;
  if (!id.empty() && std::regex_match(id, match, kUsbId)) {
    if (match[1] == L"VID_2F7A&PID_0101" || match[1] == L"VID_2F7A&PID_0102") {
      flags |= kWasapiKeepOpenFlag;
    }
  }
  return flags;
}

bool SelectEndpoint(const CAsioWrapperImpl& binding, std::wstring name) {
  const RendererEntryPoints& entry = binding.entry();
  if (!binding.IsLoaded() || entry.EnumerateWASAPIDevices == nullptr ||
      entry.SelectWASAPIDevice == nullptr) {
    return false;
  }
  if (name.starts_with(kWasapiPrefix)) name.erase(0, kWasapiPrefix.size());
  std::vector<WasapiDeviceRecord> records(kWasapiMaxDevices);
  int32_t count = 0;
  if (entry.EnumerateWASAPIDevices(records.data(), kWasapiMaxDevices, &count) == 0) return false;
  const std::u16string wanted = platform::ToUtf16(name);
  std::u16string hardwareId;
  for (int32_t i = 0; i < std::min(count, kWasapiMaxDevices); ++i) {
    WasapiDeviceRecord& record = records[static_cast<std::size_t>(i)];
    record.name[255] = record.hardwareId[255] = 0;
    if (wanted == record.name) {
      hardwareId = record.hardwareId;
      break;
    }
  }
  return entry.SelectWASAPIDevice(wanted.c_str(), SelectionFlags(hardwareId)) != 0;
}

}  // namespace

bool SelectOutputDevice(const std::wstring& name) {
  const auto binding = CAsioWrapperImpl::Current();
  if (!binding) return false;
  binding->SetWasapi(false);
  if (LoadDriverByName(name)) return true;
  if (!SelectEndpoint(*binding, name)) return false;
  binding->SetWasapi(true);
  return true;
}

bool CanOpenDevice(const std::wstring& name, std::string* driverMessage) {
  if (driverMessage != nullptr) driverMessage->clear();
  if (name.empty()) return false;
  HostExit();
  AsioDriverInfo info{};
  int32_t inputs = 0, outputs = 0;
  bool open = SelectOutputDevice(name);
  if (open && HostInit(&info) != kAsioOk) {
    open = false;
    info.errorMessage[sizeof info.errorMessage - 1] = '\0';
    if (driverMessage != nullptr) *driverMessage = info.errorMessage;
  } else if (open) {
    open = HostGetChannels(&inputs, &outputs) == kAsioOk && outputs > 0;
    char text[124] = {};
    if (!open && driverMessage != nullptr && HostGetErrorMessage(text) == kAsioOk) {
      *driverMessage = text;
    }
  }
  HostExit();
  return open;
}
