#include "app/AppConfigDataBackend.h"

#include "app/AppConfigData.h"
#include "platform/IniFile.h"

namespace {

constexpr const wchar_t* kWindow = L"Window";
constexpr const wchar_t* kConfig = L"Config";
constexpr const wchar_t* kPlaylist = L"Playlist";

const wchar_t* TextOf(bool value) {
  return value ? L"true" : L"false";
}

}  // namespace

bool CAppConfigDataAppProfileBackend::Exchange(CAppConfigDataBase& base, bool write) {
  auto* config = dynamic_cast<CAppConfigData*>(&base);
  if (config == nullptr || profile_ == nullptr) return false;
  ExchangeItem(kWindow, config->windowX, write);
  ExchangeItem(kWindow, config->windowY, write);
  ExchangeItem(kConfig, config->device, write);
  ExchangeItem(kConfig, config->mp3Gapless, write);
  ExchangeItem(kConfig, config->thrGapless, write);
  ExchangeItem(kConfig, config->decodeMode, write);
  ExchangeItem(kConfig, config->ramMode, write);
  ExchangeItem(kConfig, config->repeatMode, write);
  ExchangeItem(kConfig, config->shuffleMode, write);
  ExchangeItem(kPlaylist, config->playlistFile, write);
  return true;
}

void CAppConfigDataAppProfileBackend::ExchangeItem(const wchar_t* section,
                                                   CAppConfigItem<std::int32_t>& item, bool write) {
  if (write) {
    profile_->SetString(section, item.key(), std::to_wstring(item.value));
  } else {
    item.value = profile_->GetInt(section, item.key(), item.defaultValue());
  }
}

void CAppConfigDataAppProfileBackend::ExchangeItem(const wchar_t* section,
                                                   CAppConfigItem<bool>& item, bool write) {
  // Only the exact text "true" is true.
  if (write) {
    profile_->SetString(section, item.key(), TextOf(item.value));
  } else {
    item.value = profile_->GetString(section, item.key(), TextOf(item.defaultValue())) == L"true";
  }
}

void CAppConfigDataAppProfileBackend::ExchangeItem(const wchar_t* section,
                                                   CAppConfigItem<std::wstring>& item, bool write) {
  if (write) {
    profile_->SetString(section, item.key(), item.value);
  } else {
    item.value = profile_->GetString(section, item.key(), item.defaultValue());
  }
}
