#pragma once

#include <cstdint>
#include <string>

// The output settings the facade copies into the engine settings.
struct TkOutputConfig {
  std::wstring device;  // empty: no output device chosen
  bool mp3Gapless = false;
  std::int32_t thrGapless = -45;  // dB
  std::int32_t decodeMode = 0;    // 1 DSD native, else DSD over PCM
  std::int32_t ramMode = 0;       // non-zero: expand to RAM
};

// The player's settings as the facade reads and writes them; the
// application puts its configuration store behind it.
class ITkSettings {
 public:
  virtual ~ITkSettings() = default;
  virtual TkOutputConfig OutputConfig() const = 0;
  // The playlist file last loaded or saved.
  virtual std::wstring PlaylistFile() const = 0;
  virtual void SetPlaylistFile(const std::wstring& path) = 0;
  // Writes the settings where they are kept (nothing where none are kept).
  virtual void Save() = 0;
};
