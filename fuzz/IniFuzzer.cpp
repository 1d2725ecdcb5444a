// INI files and config.ini. What the INI layer promises is checked, not just
// survived: a document loaded and not changed is the file byte for byte, and
// the settings store saving what it loaded reads back the same settings.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "app/AppConfigData.h"
#include "app/AppConfigDataIniFileBackend.h"
#include "fuzz/FuzzInput.h"
#include "platform/IniFile.h"

namespace {

using IniBackend = CAppConfigDataIniFileBackend<CAppConfigDataAppProfileBackend>;

// A text value as saving writes it: a line holds no line break, so a lone
// CR read inside a value is saved as a blank (IniFile::SetString).
std::wstring AsSaved(std::wstring text) {
  std::replace_if(
      text.begin(), text.end(), [](wchar_t c) { return c == L'\r' || c == L'\n'; }, L' ');
  return text;
}

// Whether `b`, read back after saving `a`, holds the settings of `a`.
bool SameSettings(const CAppConfigData& a, const CAppConfigData& b) {
  return a.windowX.value == b.windowX.value && a.windowY.value == b.windowY.value &&
         AsSaved(a.device.value) == b.device.value && a.mp3Gapless.value == b.mp3Gapless.value &&
         a.thrGapless.value == b.thrGapless.value && a.decodeMode.value == b.decodeMode.value &&
         a.ramMode.value == b.ramMode.value && a.repeatMode.value == b.repeatMode.value &&
         a.shuffleMode.value == b.shuffleMode.value &&
         AsSaved(a.playlistFile.value) == b.playlistFile.value;
}

std::unique_ptr<CAppConfigData> LoadedConfig(const std::wstring& path) {
  auto config = std::make_unique<CAppConfigData>();
  config->ResetToDefaults();
  config->SetBackend(std::make_shared<IniBackend>(path));
  if (!config->Load()) fuzzing::Violated("config.ini did not load");
  return config;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::wstring path = fuzzing::WriteScratchFile("config.ini", data, size);
  platform::IniFile ini;
  if (!ini.Load(path)) fuzzing::Violated("an INI file did not load");
  if (ini.Text() != std::string_view(reinterpret_cast<const char*>(data), size)) {
    fuzzing::Violated("an unchanged INI document differs from its file");
  }

  const auto first = LoadedConfig(path);
  if (!first->Save()) fuzzing::Violated("config.ini was not saved");
  if (!SameSettings(*first, *LoadedConfig(path))) {
    fuzzing::Violated("config.ini read back other settings than were saved");
  }
  return 0;
}
