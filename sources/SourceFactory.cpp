#include "sources/SourceFactory.h"

#include <cwctype>

#include "platform/Paths.h"
#include "sources/MusicDataCDDA.h"
#include "sources/MusicDataCue.h"
#include "sources/MusicDataMP3.h"
#include "sources/MusicDataPlugin.h"
#include "sources/MusicDataWave.h"

namespace {

// The text from the last dot of the file name on, lower-cased.
std::wstring LowerExtension(const std::wstring& path) {
  std::wstring extension = platform::FileExtension(path);
  for (auto& c : extension)
    c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  return extension;
}

}  // namespace

std::int32_t GetMusicDataType(const std::wstring& path) {
  const std::wstring extension = LowerExtension(path);
  if (extension == L".wav") return kSourceTypeWave;
  if (extension == L".mp3") return kSourceTypeMp3;
  return kSourceTypePlugin;
}

std::unique_ptr<CMusicData> CreateSourceForPath(const std::wstring& path,
                                                const std::shared_ptr<CPluginCtrl>& plugins) {
  if (LowerExtension(path) == L".cue") return std::make_unique<CMusicDataCue>(plugins);
  return CreateSourceForType(GetMusicDataType(path), path, plugins);
}

std::unique_ptr<CMusicData> CreateSourceForType(std::int32_t type, const std::wstring& path,
                                                const std::shared_ptr<CPluginCtrl>& plugins) {
  switch (type) {
    case kSourceTypeCdda:
      return std::make_unique<CMusicDataCDDA>();
    case kSourceTypeWave:
      return std::make_unique<CMusicDataWave>();
    case kSourceTypeMp3:
      return std::make_unique<CMusicDataMP3>();
    case kSourceTypePlugin:
      return std::make_unique<CMusicDataPlugin>(plugins, path);
    default:
      return nullptr;
  }
}
