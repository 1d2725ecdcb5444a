#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/AppConfigItem.h"

class CAppConfigDataBackendBase;

// A settings record that loads and saves itself through an exchangeable
// backend; without a backend, loading and saving do nothing.
class CAppConfigDataBase {
 public:
  CAppConfigDataBase() = default;
  CAppConfigDataBase(const CAppConfigDataBase&) = default;
  CAppConfigDataBase& operator=(const CAppConfigDataBase&) = default;
  virtual ~CAppConfigDataBase() = default;

  virtual void ResetToDefaults() {}
  // False when there is no backend or it could not save everything (the
  // player ignores that, as a failed profile write always was).
  virtual bool Save();
  // False when there is no backend or the stored settings could not be read
  // (the items then hold their defaults).
  virtual bool Load();
  virtual void SetBackend(std::shared_ptr<CAppConfigDataBackendBase> backend);

 private:
  std::shared_ptr<CAppConfigDataBackendBase> backend_;
};

// The player's settings. Assignment copies the backend and every current
// value, so a dialog can edit a copy and assign it back on OK.
class CAppConfigData : public CAppConfigDataBase {
 public:
  void ResetToDefaults() override;

  // Section "Window": the main window's top-left corner in screen pixels.
  CAppConfigItem<std::int32_t> windowX{L"X", 0};
  CAppConfigItem<std::int32_t> windowY{L"Y", 0};
  // Section "Config".
  CAppConfigItem<std::wstring> device{L"Device", L""};  // output device name; empty: none
  CAppConfigItem<bool> mp3Gapless{L"Mp3Gapless", false};
  CAppConfigItem<std::int32_t> thrGapless{L"ThrGapless", -45};  // dB
  CAppConfigItem<std::int32_t> decodeMode{L"DecodeMode", 0};    // 1 DSD native, else DoP
  CAppConfigItem<std::int32_t> ramMode{L"RamMode", 0};          // non-zero: expand to RAM
  CAppConfigItem<std::int32_t> repeatMode{L"RepeatMode", 0};    // 0 off, 1 title, 2 playlist
  CAppConfigItem<std::int32_t> shuffleMode{L"ShuffleMode", 0};  // 0 off, 1 on
  // Section "Playlist": the playlist file last loaded or saved.
  CAppConfigItem<std::wstring> playlistFile{L"File", L""};
};
