#pragma once

#include <cstdint>
#include <string>

#include "app/AppConfigItem.h"

class CAppConfigDataBase;

namespace platform {
class IniFile;
}

// Where settings are kept; the base keeps them nowhere.
class CAppConfigDataBackendBase {
 public:
  virtual ~CAppConfigDataBackendBase() = default;
  virtual bool Save(CAppConfigDataBase& /*config*/) { return false; }
  virtual bool Load(CAppConfigDataBase& /*config*/) { return false; }
};

// A backend that reads and writes in one exchange, one direction at a time.
class CAppConfigDataAppProfileBackendBase : public CAppConfigDataBackendBase {
 public:
  bool Save(CAppConfigDataBase& config) override { return Exchange(config, true); }
  bool Load(CAppConfigDataBase& config) override { return Exchange(config, false); }

 protected:
  virtual bool Exchange(CAppConfigDataBase& /*config*/, bool /*write*/) { return false; }
};

// Exchanges every item of a CAppConfigData with the application's profile,
// in member order: reading replaces each value by the profile's (its
// default when the key is missing), writing stores each value. Without a
// profile nothing happens.
class CAppConfigDataAppProfileBackend : public CAppConfigDataAppProfileBackendBase {
 protected:
  bool Exchange(CAppConfigDataBase& config, bool write) override;
  // The profile the exchange works on; set only for the span of an exchange.
  void SetProfile(platform::IniFile* profile) { profile_ = profile; }

 private:
  void ExchangeItem(const wchar_t* section, CAppConfigItem<std::int32_t>& item, bool write);
  void ExchangeItem(const wchar_t* section, CAppConfigItem<bool>& item, bool write);
  void ExchangeItem(const wchar_t* section, CAppConfigItem<std::wstring>& item, bool write);

  platform::IniFile* profile_ = nullptr;
};
