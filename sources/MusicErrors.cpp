#include "sources/MusicErrors.h"

#include <cwchar>

#include "platform/StringTable.h"
#include "sources/MusicData.h"

namespace {

void ReplaceFirst(std::wstring& text, std::wstring_view placeholder, const std::wstring& value) {
  const auto at = text.find(placeholder);
  if (at != std::wstring::npos) text.replace(at, placeholder.size(), value);
}

}  // namespace

std::wstring FormatMusicError(std::int32_t code, const std::wstring& path) {
  using namespace platform;
  switch (code) {
    case kMusicOk:
    case kMusicEndOfRange:
      return {};
    case kMusicErrParam:
      return LoadResString(IDS_ERR_PARAMETER);
    case kMusicErrSequence:
      return LoadResString(IDS_ERR_SEQUENCE);
    case kMusicErrOpen: {
      std::wstring text = LoadResString(IDS_ERR_OPEN_FILE);
      ReplaceFirst(text, L"%s", path);
      return text;
    }
    case kMusicErrDecode:
      return LoadResString(IDS_ERR_DECODE);
    case kMusicErrMemory:
      return LoadResString(IDS_ERR_MEMORY);
    case kMusicErrRead:
      return LoadResString(IDS_ERR_READ);
    case kMusicErrTooLarge:
      return LoadResString(IDS_ERR_TOO_LARGE);
    default: {
      wchar_t hex[16];
      std::swprintf(hex, 16, L"%08x", static_cast<std::uint32_t>(code));
      std::wstring text = LoadResString(IDS_ERR_UNKNOWN);
      ReplaceFirst(text, L"%08x", hex);
      return text;
    }
  }
}

std::wstring FormatNoDeviceError() {
  return platform::LoadResString(platform::IDS_ERR_NO_DEVICE);
}

std::wstring FormatNonPlayableError(const std::wstring&, const std::wstring&, std::uint32_t) {
  return platform::LoadResString(platform::IDS_ERR_NON_PLAYABLE);
}

std::wstring FormatOpenError(std::int32_t code, const std::wstring& path,
                             const CMusicData& source) {
  std::wstring text = FormatMusicError(code, path);
  const std::wstring reason = source.OpenFailureReason();
  if (!reason.empty()) text += L"\n" + reason;
  return text;
}
