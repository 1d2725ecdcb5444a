#include "app/AppTkSettings.h"

#include "app/AppConfigData.h"
#include "app/AppConfigDataBackend.h"
#include "app/AppConfigDataIniFileBackend.h"

TkOutputConfig OutputConfigOf(const CAppConfigData& config) {
  return {config.device.value, config.mp3Gapless.value, config.thrGapless.value,
          config.decodeMode.value, config.ramMode.value};
}

TkOutputConfig CAppTkSettings::OutputConfig() const {
  return OutputConfigOf(*config_);
}

std::wstring CAppTkSettings::PlaylistFile() const {
  return config_->playlistFile.value;
}

void CAppTkSettings::SetPlaylistFile(const std::wstring& path) {
  config_->playlistFile.value = path;
}

void CAppTkSettings::Save() {
  config_->Save();
}

void LoadConfigurationReadOnly(CAppConfigData& config, const std::wstring& dataFolder) {
  config.ResetToDefaults();
  if (dataFolder.empty()) return;
  config.SetBackend(std::make_shared<CAppConfigDataIniFileBackend<CAppConfigDataAppProfileBackend>>(
      dataFolder + L"/config.ini"));
  config.Load();
  config.SetBackend(nullptr);
}
