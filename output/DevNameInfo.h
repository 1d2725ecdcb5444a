#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The maker's output devices present right now, as the Configure dialog
// lists them: installed drivers whose name matches one of the maker's driver
// names while a USB device with the maker's ids is plugged in, then desktop
// endpoints ("WASAPI: " + friendly name) whose hardware id carries those
// ids. Drivers come first, in list order, then endpoints in the server's
// order. The scan runs once, at construction: a snapshot.
class CDevNameInfo {
 public:
  enum Kind : int32_t { kAsio = 1, kWasapi = 2 };
  struct DeviceEntry {
    int32_t kind;
    std::wstring name;
    double leadInSeconds;
    std::uint8_t flags;  // bit 1: both DSD modes may be chosen
  };
  static constexpr double kDefaultLeadIn = 0.1;

  CDevNameInfo();
  std::uint32_t GetDeviceCount() const;
  std::wstring GetDeviceName(std::uint32_t index) const;
  std::uint8_t GetDeviceFlags(std::uint32_t index) const;
  double GetLeadInSeconds(std::uint32_t index) const;

  class Impl;

 private:
  std::shared_ptr<Impl> impl_;
};

// True with the ids of the last "VID_xxxx&PID_xxxx" in the text (any case).
bool ParseVidPid(const std::wstring& text, std::uint16_t& vendor, std::uint16_t& product);

// The USB devices plugged in, as device-interface paths
// ("\\?\usb#vid_3c5d&pid_0a17#<port>#{a5dcbf10-6530-11d2-901f-00c04fb951ed}"),
// read from sysfs (its root taken from QP_SYSFS_ROOT when set, for tests).
std::vector<std::wstring> EnumerateUsbDevicePaths();
