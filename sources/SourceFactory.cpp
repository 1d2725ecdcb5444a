#include "sources/SourceFactory.h"

#include <array>
#include <cwctype>
#include <string_view>

#include "platform/Paths.h"
#include "sources/BuiltInSources.h"
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

using SourceMaker = std::unique_ptr<CMusicData> (*)(const std::wstring& path,
                                                    const std::shared_ptr<CPluginCtrl>& plugins);

template <typename Source>
std::unique_ptr<CMusicData> Make(const std::wstring&, const std::shared_ptr<CPluginCtrl>&) {
  return std::make_unique<Source>();
}

std::unique_ptr<CMusicData> MakeCue(const std::wstring&,
                                    const std::shared_ptr<CPluginCtrl>& plugins) {
  return std::make_unique<CMusicDataCue>(plugins);
}

struct BuiltInSource {
  BuiltInSourceKind kind;
  SourceMaker make;
};

constexpr std::array<BuiltInSource, kBuiltInSourceKinds.size()> kBuiltInSources = {{
    {kCdSourceKind, Make<CMusicDataCDDA>},
    {kWaveSourceKind, Make<CMusicDataWave>},
    {kMp3SourceKind, Make<CMusicDataMP3>},
    {kCueSourceKind, MakeCue},
}};

const BuiltInSource* SourceForExtension(const std::wstring& dottedExtension) {
  if (dottedExtension.size() < 2) return nullptr;
  const std::wstring_view extension = std::wstring_view(dottedExtension).substr(1);
  for (const BuiltInSource& source : kBuiltInSources) {
    if (!source.kind.extension.empty() && source.kind.extension == extension) return &source;
  }
  return nullptr;
}

}  // namespace

std::int32_t GetMusicDataType(const std::wstring& path) {
  const BuiltInSource* source = SourceForExtension(LowerExtension(path));
  return source != nullptr && source->kind.type != 0 ? source->kind.type : kSourceTypePlugin;
}

std::unique_ptr<CMusicData> CreateSourceForPath(const std::wstring& path,
                                                const std::shared_ptr<CPluginCtrl>& plugins) {
  if (const BuiltInSource* source = SourceForExtension(LowerExtension(path))) {
    return source->make(path, plugins);
  }
  return std::make_unique<CMusicDataPlugin>(plugins, path);
}

std::unique_ptr<CMusicData> CreateSourceForType(std::int32_t type, const std::wstring& path,
                                                const std::shared_ptr<CPluginCtrl>& plugins) {
  if (type == kSourceTypePlugin) return std::make_unique<CMusicDataPlugin>(plugins, path);
  for (const BuiltInSource& source : kBuiltInSources) {
    if (source.kind.type != 0 && source.kind.type == type) return source.make(path, plugins);
  }
  return nullptr;
}
