#include "sources/SourceFactory.h"

#include <cwctype>

#include "sources/MusicDataMP3.h"
#include "sources/MusicDataWave.h"

namespace {

// The text from the last dot of the file name on, lower-cased; empty when the
// file name has no dot.
std::wstring LowerExtension(const std::wstring& path) {
  const auto slash = path.find_last_of(L"/\\");
  const auto dot = path.rfind(L'.');
  if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) return {};
  std::wstring extension = path.substr(dot);
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

std::unique_ptr<CMusicData> CreateSourceForPath(const std::wstring& path) {
  // Cue sheets and the MP3 and plug-in sources join this factory as they are
  // built; until then their paths have no source.
  if (LowerExtension(path) == L".cue") return nullptr;
  return CreateSourceForType(GetMusicDataType(path), path);
}

std::unique_ptr<CMusicData> CreateSourceForType(std::int32_t type, const std::wstring&) {
  switch (type) {
    case kSourceTypeWave:
      return std::make_unique<CMusicDataWave>();
    case kSourceTypeMp3:
      return std::make_unique<CMusicDataMP3>();
    default:
      return nullptr;
  }
}
