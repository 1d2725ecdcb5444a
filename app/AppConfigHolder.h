#pragma once

#include <memory>

class CAppConfigData;

// Gives the parts of the program that need them the application's settings.
class IAppConfigHolder {
 public:
  virtual ~IAppConfigHolder() = default;
  virtual std::shared_ptr<CAppConfigData>& GetConfig() = 0;
};
