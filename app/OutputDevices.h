#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One output device the user may choose.
struct OutputDeviceEntry {
  std::wstring name;
  std::uint8_t flags = 0;  // bit 1: both DSD modes may be chosen
};

inline constexpr std::uint8_t kDeviceBothDsdModes = 0x02;

// The output devices as the Configure dialog sees them: the maker's devices
// present right now, and whether one of them opens.
class IOutputDevices {
 public:
  virtual ~IOutputDevices() = default;
  virtual std::vector<OutputDeviceEntry> Catalogue() = 0;
  virtual bool CanOpen(const std::wstring& name) = 0;
};

// The devices of this machine: a fresh catalogue scan per call, and a real
// open, init and close of the device.
class CSystemOutputDevices : public IOutputDevices {
 public:
  std::vector<OutputDeviceEntry> Catalogue() override;
  bool CanOpen(const std::wstring& name) override;
};
