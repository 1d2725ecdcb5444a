#pragma once

#include <string>
#include <utility>

#include "app/AppConfigDataBackend.h"
#include "platform/IniFile.h"

// Keeps the settings in an INI file: each exchange reads the file, points
// the application's profile at it for the item-by-item exchange of `Base`
// and, when writing, saves it atomically. Sections and keys of the file that
// the player does not know survive every save, and a file that exists but
// cannot be read is never written over. Exceptions end the exchange quietly.
template <class Base>
class CAppConfigDataIniFileBackend : public Base {
 public:
  explicit CAppConfigDataIniFileBackend(std::wstring path) : path_(std::move(path)) {}
  const std::wstring& path() const { return path_; }

 protected:
  bool Exchange(CAppConfigDataBase& config, bool write) override {
    try {
      platform::IniFile profile;
      const bool readable = profile.Load(path_);
      if (write && !readable) return false;
      bool ok = false;
      {
        ProfileScope scope(*this, profile);
        ok = Base::Exchange(config, write);
      }
      if (write) ok = ok && profile.Save(path_);
      return ok && readable;
    } catch (...) {
      return false;
    }
  }

 private:
  // Sets the profile for the span of one exchange, also when it throws.
  class ProfileScope {
   public:
    ProfileScope(CAppConfigDataIniFileBackend& backend, platform::IniFile& profile)
        : backend_(backend) {
      backend_.SetProfile(&profile);
    }
    ~ProfileScope() { backend_.SetProfile(nullptr); }
    ProfileScope(const ProfileScope&) = delete;
    ProfileScope& operator=(const ProfileScope&) = delete;

   private:
    CAppConfigDataIniFileBackend& backend_;
  };

  std::wstring path_;
};
