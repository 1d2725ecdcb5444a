#pragma once

#include <string>
#include <string_view>

// Renderer endpoints are listed among the devices as this prefix and their
// friendly name.
inline constexpr std::wstring_view kWasapiPrefix = L"WASAPI: ";
inline std::wstring EndpointDeviceName(const std::wstring& friendlyName) {
  return std::wstring(kWasapiPrefix) + friendlyName;
}

// Binds the named device as the host API's current device: an installed
// driver of exactly that name, else a renderer endpoint ("WASAPI: " + its
// friendly name, or the friendly name alone). False when neither answers.
bool SelectOutputDevice(const std::wstring& name);

// True when the device opens (select, init) and has an output channel; the
// device is closed again either way. An empty name is false at once.
// With `driverMessage`, a device that does not open leaves there what its
// driver said about it (empty when no driver answered).
bool CanOpenDevice(const std::wstring& name, std::string* driverMessage = nullptr);
