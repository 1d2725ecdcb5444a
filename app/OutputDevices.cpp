#include "app/OutputDevices.h"

#include "output/DevNameInfo.h"
#include "output/DeviceSelection.h"

std::vector<OutputDeviceEntry> CSystemOutputDevices::Catalogue() {
  const CDevNameInfo catalogue;
  std::vector<OutputDeviceEntry> entries;
  for (std::uint32_t i = 0; i < catalogue.GetDeviceCount(); ++i)
    entries.push_back({catalogue.GetDeviceName(i), catalogue.GetDeviceFlags(i)});
  return entries;
}

bool CSystemOutputDevices::CanOpen(const std::wstring& name) {
  return CanOpenDevice(name);
}
