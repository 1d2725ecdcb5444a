#include "core/TkText.h"

#include <cwchar>

#include "platform/StringTable.h"
#include "platform/TextCompare.h"
#include "sources/TrackInfo.h"

namespace tk {
namespace {

constexpr std::size_t kCellCharacters = 260;

std::wstring Cell(const std::wstring& text) {
  return text.substr(0, kCellCharacters);
}

}  // namespace

std::wstring FormatNameToken(const std::wstring& formatName) {
  return formatName.substr(0, formatName.find_first_of(L", "));
}

ItemRate RateOf(const TrackInfo& item) {
  ItemRate rate{item.format.nSamplesPerSec, false};
  const std::wstring name = FormatNameToken(item.formatName);
  rate.dsd = name == L"DSF" || name == L"DFF";
  if (rate.dsd && item.format.wBitsPerSample == 24) rate.hertz *= 16;
  if (rate.dsd && item.format.wBitsPerSample == 32) rate.hertz *= 32;
  return rate;
}

std::wstring DurationText(std::uint32_t length) {
  const std::uint32_t seconds = length / kFramesPerSecond;
  const std::uint32_t hours = length / (kFramesPerSecond * 3600);
  wchar_t text[32];
  if (hours != 0) {
    std::swprintf(text, 32, L"%u:%02u:%02u", hours, seconds % 3600 / 60, seconds % 60);
  } else {
    std::swprintf(text, 32, L"%u:%02u", seconds % 3600 / 60, seconds % 60);
  }
  return text;
}

std::array<std::wstring, 4> RowTexts(const TrackInfo& item) {
  return {Cell(item.artist), Cell(item.title.empty() ? item.fileName : item.title),
          Cell(DurationText(item.length)), Cell(item.path)};
}

std::vector<std::wstring> ExtensionTokens(const std::wstring& text) {
  std::vector<std::wstring> tokens;
  std::size_t at = 0;
  bool first = true;
  while (at <= text.size()) {
    const std::size_t end = text.find_first_of(first ? L"|, " : L", ", at);
    const std::wstring token = text.substr(at, end == std::wstring::npos ? end : end - at);
    if (!token.empty()) tokens.push_back(token);
    if (end == std::wstring::npos) break;
    at = end + 1;
    first = false;
  }
  return tokens;
}

bool HasPlayableExtension(const std::wstring& path, const std::vector<std::wstring>& extensions) {
  const std::size_t dot = path.rfind(L'.');
  if (dot == std::wstring::npos) return false;
  const std::wstring extension = path.substr(dot + 1);
  for (const auto& candidate : extensions) {
    if (platform::EqualsIgnoringCase(extension, candidate)) return true;
  }
  return false;
}

std::wstring MusicFilter(const std::vector<FileKind>& kinds) {
  auto patterns = [](const FileKind& kind) {
    std::wstring out;
    for (const auto& extension : kind.extensions)
      out += L"*." + extension + L";";
    return out;
  };
  std::wstring filter = platform::LoadResString(platform::IDS_FILTER_ALL_MUSIC) + L"|";
  for (const auto& kind : kinds)
    filter += patterns(kind);
  for (const auto& kind : kinds)
    filter += L"|" + kind.description + L"|" + patterns(kind);
  return filter + L"||";
}

}  // namespace tk
