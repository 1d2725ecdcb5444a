#pragma once

#include <memory>
#include <string>

#include "core/TkSettings.h"

class CAppConfigData;

// The application's configuration store as the facade sees it.
class CAppTkSettings : public ITkSettings {
 public:
  explicit CAppTkSettings(std::shared_ptr<CAppConfigData> config) : config_(std::move(config)) {}

  TkOutputConfig OutputConfig() const override;
  std::wstring PlaylistFile() const override;
  void SetPlaylistFile(const std::wstring& path) override;
  void Save() override;

 private:
  std::shared_ptr<CAppConfigData> config_;
};

// The output settings stored in a configuration.
TkOutputConfig OutputConfigOf(const CAppConfigData& config);

// Loads "config.ini" of `dataFolder` into `config` without ever writing it:
// the store keeps no backend afterwards, so saving does nothing. Defaults
// where there is no such file.
void LoadConfigurationReadOnly(CAppConfigData& config, const std::wstring& dataFolder);
