#include "output/DevNameInfo.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>

#include "output/AsioDriverList.h"
#include "output/DeviceSelection.h"
#include "output/RenderEndpoints.h"
#include "platform/TextConv.h"

namespace {

namespace fs = std::filesystem;

// One row of the table of the maker's devices.
struct RecognitionRule {
  const wchar_t* pattern;
  int32_t vendor;   // -1 for any
  int32_t product;  // -1 for any
  double leadIn;
  std::uint8_t flags;
};

constexpr RecognitionRule kRules[] = {
    {LR"(Corvane ASIO Audio Device\(KLM\))", 0x3C5D, 0x0A17, 0.1, 3},
    {LR"(Corvane ASIO Audio Driver\(KLM\))", 0x3C5D, 0x0A17, 0.1, 3},
    {LR"(Corvane USB DAC AMP\(KLM\))", 0x3C5D, 0x0A17, 0.1, 3},
    {LR"(^WASAPI: .*)", 0x3C5D, 0x0A17, 0.1, 3},
};

std::string ReadLine(const fs::path& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

bool IdsMatch(const RecognitionRule& rule, std::uint16_t vendor, std::uint16_t product) {
  return (rule.vendor == -1 || rule.vendor == vendor) &&
         (rule.product == -1 || rule.product == product);
}

}  // namespace

class CDevNameInfo::Impl {
 public:
  Impl() {
    for (const auto& rule : kRules)
      patterns_.emplace_back(rule.pattern, std::regex::ECMAScript);
    ScanDrivers();
    ScanEndpoints();
  }

  void ScanEndpoints() {
    for (const auto& endpoint : EnumerateRenderEndpoints()) {
      const std::wstring name = EndpointDeviceName(endpoint.friendlyName);
      std::uint16_t vendor = 0, product = 0;
      if (!ParseVidPid(endpoint.hardwareId, vendor, product)) continue;
      for (std::size_t r = 0; r < std::size(kRules); ++r) {
        if (!std::regex_match(name, patterns_[r]) || !IdsMatch(kRules[r], vendor, product))
          continue;
        entries.push_back({kWasapi, name, kRules[r].leadIn, kRules[r].flags});
        break;
      }
    }
  }

  void ScanDrivers() {
    const InstalledAsioDrivers drivers;
    const std::vector<std::wstring> usbPaths = EnumerateUsbDevicePaths();
    for (int32_t id = 0; id < drivers.GetDriverCount(); ++id) {
      char name[256] = {};
      if (drivers.GetDriverName(id, name, sizeof name) != 0) continue;
      const std::wstring wide = platform::FromUtf8(name);
      for (std::size_t r = 0; r < std::size(kRules); ++r) {
        if (!std::regex_match(wide, patterns_[r]) || !AnyPathMatches(kRules[r], usbPaths)) continue;
        entries.push_back({kAsio, wide, kRules[r].leadIn, kRules[r].flags});
        break;
      }
    }
  }

  static bool AnyPathMatches(const RecognitionRule& rule, const std::vector<std::wstring>& paths) {
    for (const auto& path : paths) {
      std::uint16_t vendor = 0, product = 0;
      if (ParseVidPid(path, vendor, product) && IdsMatch(rule, vendor, product)) return true;
    }
    return false;
  }

  std::vector<DeviceEntry> entries;

 private:
  std::vector<std::wregex> patterns_;
};

CDevNameInfo::CDevNameInfo() : impl_(std::make_shared<Impl>()) {}

std::uint32_t CDevNameInfo::GetDeviceCount() const {
  return static_cast<std::uint32_t>(impl_->entries.size());
}

std::wstring CDevNameInfo::GetDeviceName(std::uint32_t index) const {
  return index < impl_->entries.size() ? impl_->entries[index].name : std::wstring();
}

std::uint8_t CDevNameInfo::GetDeviceFlags(std::uint32_t index) const {
  return index < impl_->entries.size() ? impl_->entries[index].flags : 0;
}

double CDevNameInfo::GetLeadInSeconds(std::uint32_t index) const {
  return index < impl_->entries.size() ? impl_->entries[index].leadInSeconds : kDefaultLeadIn;
}

bool ParseVidPid(const std::wstring& text, std::uint16_t& vendor, std::uint16_t& product) {
  static const std::wregex kIds(LR"(^.*VID_([0-9a-f]{4})&PID_([0-9a-f]{4}).*$)",
                                std::regex::ECMAScript | std::regex::icase);
  std::wsmatch match;
  if (!std::regex_match(text, match, kIds)) return false;
  vendor = static_cast<std::uint16_t>(std::wcstoul(match[1].str().c_str(), nullptr, 16));
  product = static_cast<std::uint16_t>(std::wcstoul(match[2].str().c_str(), nullptr, 16));
  return true;
}

std::vector<std::wstring> EnumerateUsbDevicePaths() {
  const char* root = std::getenv("QP_SYSFS_ROOT");
  const fs::path devices =
      fs::path(root != nullptr && *root != '\0' ? root : "/sys") / "bus" / "usb" / "devices";
  std::vector<fs::path> folders;
  std::error_code error;
  for (fs::directory_iterator it(devices, error), end; !error && it != end; it.increment(error)) {
    folders.push_back(it->path());
  }
  std::sort(folders.begin(), folders.end());
  std::vector<std::wstring> paths;
  for (const auto& folder : folders) {
    const std::string vendor = ReadLine(folder / "idVendor");
    const std::string product = ReadLine(folder / "idProduct");
    if (vendor.size() != 4 || product.size() != 4) continue;
    paths.push_back(platform::FromUtf8("\\\\?\\usb#vid_" + vendor + "&pid_" + product + "#" +
                                       folder.filename().string() +
                                       "#{a5dcbf10-6530-11d2-901f-00c04fb951ed}"));
  }
  return paths;
}
