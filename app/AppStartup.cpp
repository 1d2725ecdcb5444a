#include "app/AppStartup.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "app/AppConfigData.h"
#include "app/AppConfigDataBackend.h"
#include "app/AppConfigDataIniFileBackend.h"
#include "app/AppVersionInfo.h"
#include "output/DeviceNameMatcher.h"
#include "platform/TextConv.h"

std::wstring LocalDataFolder() {
  std::filesystem::path base;
  if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data == '/') {
    base = data;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    base = std::filesystem::path(home) / ".local" / "share";
  } else {
    return {};
  }
  const CAppVersionInfo version;
  return platform::FromUtf8(
      (base / platform::ToUtf8(version.companyName) / platform::ToUtf8(version.productName))
          .string());
}

bool LoadStartupConfiguration(CAppConfigData& config, const std::wstring& dataFolder) {
  bool attached = false;
  if (!dataFolder.empty()) {
    const std::filesystem::path folder(platform::ToUtf8(dataFolder));
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (std::filesystem::is_directory(folder, error)) {
      config.SetBackend(
          std::make_shared<CAppConfigDataIniFileBackend<CAppConfigDataAppProfileBackend>>(
              platform::FromUtf8((folder / "config.ini").string())));
      attached = true;
    }
  }
  config.ResetToDefaults();
  config.Load();
  if (config.device.value.empty()) {
    const std::wstring driver = PickMakerAsioDriver();
    if (!driver.empty()) {
      config.device.value = driver;
      config.Save();
    }
  }
  return attached;
}

std::vector<std::wstring> FileArguments(const std::vector<std::wstring>& arguments) {
  std::vector<std::wstring> files;
  for (const auto& argument : arguments) {
    if (!argument.empty() && argument[0] != L'-') files.push_back(argument);
  }
  return files;
}

std::wstring JoinFileArguments(const std::vector<std::wstring>& files) {
  std::wstring joined;
  for (const auto& file : files) {
    if (!joined.empty()) joined += L'|';
    joined += file;
  }
  return joined;
}
