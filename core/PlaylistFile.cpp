#include "core/PlaylistFile.h"

#include <charconv>
#include <cwchar>
#include <iterator>
#include <optional>
#include <string_view>

#include "core/PlaylistCtrl.h"
#include "platform/AtomicFile.h"
#include "platform/File.h"
#include "platform/Paths.h"
#include "platform/TextConv.h"
#include "platform/Utf8.h"
#include "sources/SourceFactory.h"

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::size_t kFieldCount = 7;

// Appends `text` in quotes, inner quotes doubled. A title or artist with a
// line break would split its line and lose the item at the next load, so
// `oneLine` turns breaks into blanks.
void AppendQuoted(std::string& out, std::wstring_view text, bool oneLine) {
  out += '"';
  for (wchar_t c : text) {
    if (c == L'"') out += '"';
    if (oneLine && (c == L'\r' || c == L'\n')) c = L' ';
    platform::AppendUtf8(out, static_cast<char32_t>(c));
  }
  out += '"';
}

// Lengths and positions are written as signed numbers.
void AppendNumber(std::string& out, std::int64_t value) {
  char digits[24];
  const auto end = std::to_chars(std::begin(digits), std::end(digits), value).ptr;
  out.append(digits, end);
}

// One item's line, straight into the file's UTF-8.
void AppendLine(std::string& out, const TrackInfo& item) {
  AppendQuoted(out, item.path, false);
  out += ',';
  AppendNumber(out, item.type);
  out += ',';
  AppendQuoted(out, item.title, true);
  out += ',';
  AppendQuoted(out, item.artist, true);
  for (const std::uint32_t number : {item.length, item.start, item.end}) {
    out += ',';
    AppendNumber(out, static_cast<std::int32_t>(number));
  }
  out += "\r\n";
}

// Splits a line into its fields. Between fields a comma starts nothing (so
// an empty unquoted field vanishes); a field starting with a quote runs to
// the quote before the next comma, with doubled quotes standing for one. A
// quote inside an unquoted field, text after a closing quote, an unclosed
// quote or an eighth field makes the line unusable.
std::optional<std::vector<std::wstring>> SplitFields(std::wstring_view line) {
  enum class State { kBetween, kUnquoted, kQuoted, kAfterQuote };
  std::vector<std::wstring> fields;
  State state = State::kBetween;
  for (const wchar_t c : line) {
    switch (state) {
      case State::kBetween:
        if (c == L',') break;
        if (fields.size() == kFieldCount) return std::nullopt;
        fields.emplace_back();
        if (c == L'"') {
          state = State::kQuoted;
        } else {
          fields.back() += c;
          state = State::kUnquoted;
        }
        break;
      case State::kUnquoted:
        if (c == L'"') return std::nullopt;
        if (c == L',') {
          state = State::kBetween;
        } else {
          fields.back() += c;
        }
        break;
      case State::kQuoted:
        if (c == L'"') {
          state = State::kAfterQuote;
        } else {
          fields.back() += c;
        }
        break;
      case State::kAfterQuote:
        if (c == L',') {
          state = State::kBetween;
        } else if (c == L'"') {
          fields.back() += L'"';
          state = State::kQuoted;
        } else {
          return std::nullopt;
        }
        break;
    }
  }
  if (state == State::kQuoted || fields.size() != kFieldCount) return std::nullopt;
  return fields;
}

// A playlist of tens of thousands of items is a few megabytes; anything this
// large is no playlist and is not read into memory, nor is a line longer
// than any item's (a path, two texts and four numbers).
constexpr std::size_t kMaxPlaylistBytes = std::size_t{16} << 20;
constexpr std::size_t kMaxLineChars = 65536;

// Leading blanks, a sign and the digits up to the first other character; 0
// when there are none.
long NumberOf(const std::wstring& field) {
  return std::wcstol(field.c_str(), nullptr, 10);
}

std::optional<TrackInfo> ItemOf(std::wstring_view line) {
  const auto fields = SplitFields(line);
  if (!fields) return std::nullopt;
  TrackInfo item;
  item.path = (*fields)[0];
  item.fileName = platform::FileName(item.path);
  item.type = static_cast<std::int32_t>(NumberOf((*fields)[1]));
  item.title = (*fields)[2];
  item.artist = (*fields)[3];
  item.length = static_cast<std::uint32_t>(NumberOf((*fields)[4]));
  item.start = static_cast<std::uint32_t>(NumberOf((*fields)[5]));
  item.end = static_cast<std::uint32_t>(NumberOf((*fields)[6]));
  return item;
}

// Opens the item's audio file to take its format name and format; false
// when the file no longer opens. An audio-CD item names its drive or disc
// image, which only the CD source reads as a disc; every other item is
// opened by its path, as when it was added.
bool TakeFormatFromAudio(TrackInfo& item, const std::shared_ptr<CPluginCtrl>& plugins) {
  const auto source = item.type == kSourceTypeCdda
                          ? CreateSourceForType(item.type, item.path, plugins)
                          : CreateSourceForPath(item.path, plugins);
  if (!source || source->Open({.path = item.path}) != kMusicOk) return false;
  TrackInfo audio;
  if (source->GetTrackInfo(0, &audio) != kMusicOk) return false;
  item.formatName = audio.formatName;
  item.format = audio.format;
  return true;
}

}  // namespace

bool WritePlaylistFile(CPlaylistCtrl& playlist, const std::wstring& path) {
  std::string text(kByteOrderMark);
  playlist.VisitItems([&text](const TrackInfo& item) { AppendLine(text, item); });
  if (!platform::WriteFileAtomically(path, text)) return false;
  playlist.SetModified(false);
  return true;
}

bool ReadPlaylistFile(const std::wstring& path, std::vector<TrackInfo>* items,
                      const std::shared_ptr<CPluginCtrl>& plugins, const WorkProgress& progress) {
  if (items == nullptr) return false;
  items->clear();
  std::string bytes;
  if (platform::ReadWholeFile(path, bytes, kMaxPlaylistBytes) != platform::ReadStatus::kOk) {
    return false;
  }
  std::string_view content = bytes;
  if (content.starts_with(kByteOrderMark)) content.remove_prefix(kByteOrderMark.size());
  const std::wstring text = platform::FromUtf8(content);

  std::wstring_view rest = text;
  while (!rest.empty()) {
    const auto lineFeed = rest.find(L'\n');
    std::wstring_view line = rest.substr(0, lineFeed);
    rest.remove_prefix(lineFeed == std::wstring_view::npos ? rest.size() : lineFeed + 1);
    while (!line.empty() && (line.back() == L'\r' || line.back() == L'\n'))
      line.remove_suffix(1);
    if (line.size() > kMaxLineChars) continue;
    auto item = ItemOf(line);
    if (item && TakeFormatFromAudio(*item, plugins)) items->push_back(std::move(*item));
    if (progress) progress(text.size() - rest.size(), text.size());
  }
  return true;
}
