#include "sources/MusicDataCue.h"

#include <algorithm>
#include <cstdlib>
#include <cwchar>
#include <limits>
#include <string>

#include "platform/CodePage.h"
#include "platform/File.h"
#include "platform/Paths.h"
#include "platform/StringTable.h"
#include "platform/TextCompare.h"
#include "platform/TextConv.h"
#include "sources/BuiltInSources.h"
#include "sources/SourceFactory.h"

namespace {

// Lines are taken in pieces of at most this many characters, each piece
// parsed as a line of its own; a line holds at most this many tokens (the
// rest of it is ignored).
constexpr std::size_t kMaxLineUnits = 1023;
constexpr std::size_t kMaxTokens = 9;

// Sheets are a few kilobytes; anything this large is no cue sheet, and is
// not read into memory whole.
constexpr std::int64_t kMaxSheetBytes = std::int64_t{16} << 20;

constexpr std::uint64_t kFramesPerMinute = 60 * kFramesPerSecond;

// Blanks (U+0020 only; a tab is an ordinary character) separate tokens; a
// token opening with a double or single quote runs to the next such quote,
// without both, or to the end of the line when none follows.
std::vector<std::wstring> Tokenize(std::wstring_view line) {
  // The line ends at its first line break; a zero character ends it too, as
  // it ends any text the system hands over.
  line = line.substr(0, line.find_first_of(std::wstring_view(L"\r\n\0", 3)));
  std::vector<std::wstring> tokens;
  std::size_t at = 0;
  while (tokens.size() < kMaxTokens) {
    while (at < line.size() && line[at] == L' ')
      ++at;
    if (at >= line.size()) break;
    const bool quoted = line[at] == L'"' || line[at] == L'\'';
    const wchar_t close = quoted ? line[at++] : L' ';
    const std::size_t end = std::min(line.find(close, at), line.size());
    tokens.emplace_back(line.substr(at, end - at));
    at = quoted ? end + 1 : end;
  }
  return tokens;
}

// The leading decimal number of a token (blanks and a sign allowed before
// it), 0 when there is none.
long LeadingNumber(const std::wstring& token) {
  return std::wcstol(token.c_str(), nullptr, 10);
}

// "mm:ss:ff" (minutes, seconds, CD frames) in CD frames. Each of the three
// colon-separated fields counts by its leading digits, so minute counts of
// any width read as written; the total stops at the largest 32-bit frame.
std::uint32_t FramesOfTime(std::wstring_view text) {
  constexpr std::uint64_t kFieldLimit = std::uint64_t{1} << 40;  // far beyond any real time
  std::uint64_t fields[3] = {0, 0, 0};
  std::size_t field = 0;
  bool inDigits = true;
  for (const wchar_t c : text) {
    if (c == L':') {
      if (++field == 3) break;
      inDigits = true;
    } else if (inDigits && c >= L'0' && c <= L'9') {
      fields[field] =
          std::min(fields[field] * 10 + static_cast<std::uint64_t>(c - L'0'), kFieldLimit);
    } else {
      inDigits = false;
    }
  }
  const std::uint64_t frames =
      fields[0] * kFramesPerMinute + fields[1] * kFramesPerSecond + fields[2];
  return static_cast<std::uint32_t>(
      std::min<std::uint64_t>(frames, std::numeric_limits<std::uint32_t>::max()));
}

std::wstring TrackTitle(std::int32_t number) {
  wchar_t title[64] = {};
  const std::wstring format = platform::LoadResString(platform::IDS_CUE_TRACK_TITLE);
  if (std::swprintf(title, std::size(title), format.c_str(), static_cast<int>(number)) < 0)
    return {};
  return title;
}

// Calls `onLine` with each line of `text` (split at line feeds) decoded by
// `decode`, in pieces of at most kMaxLineUnits characters; stops at the
// first result other than kMusicOk and returns it.
template <typename Char, typename Decode, typename OnLine>
std::int32_t ForEachLine(std::basic_string_view<Char> text, Decode decode, OnLine onLine) {
  while (!text.empty()) {
    const std::size_t end = std::min(text.find(Char('\n')), text.size());
    const std::wstring line = decode(text.substr(0, end));
    std::size_t at = 0;
    do {
      const std::wstring_view piece = std::wstring_view(line).substr(at, kMaxLineUnits);
      if (const std::int32_t result = onLine(piece); result != kMusicOk) return result;
      at += kMaxLineUnits;
    } while (at < line.size());
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  return kMusicOk;
}

// UTF-16 units of `bytes` in the given byte order; a trailing odd byte is
// dropped. Lines are split on units, never on bytes: a character such as
// U+4E0A holds a line-feed byte.
std::u16string Utf16Units(std::string_view bytes, bool bigEndian) {
  std::u16string units(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    const auto first = static_cast<unsigned char>(bytes[2 * i]);
    const auto second = static_cast<unsigned char>(bytes[2 * i + 1]);
    units[i] = static_cast<char16_t>(bigEndian ? first << 8 | second : second << 8 | first);
  }
  return units;
}

// Splits the sheet into lines by its byte-order mark: UTF-8, UTF-16 little
// or big endian; without one, the Japanese code page (932).
template <typename OnLine>
std::int32_t ForEachSheetLine(std::string_view bytes, OnLine onLine) {
  if (bytes.starts_with("\xEF\xBB\xBF")) {
    return ForEachLine(bytes.substr(3), platform::FromUtf8, onLine);
  }
  if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
    const std::u16string units = Utf16Units(bytes.substr(2), bytes[0] == '\xFE');
    return ForEachLine(std::u16string_view(units), platform::FromUtf16, onLine);
  }
  return ForEachLine(
      bytes,
      [](std::string_view line) {
        return platform::DecodeCodePage(line, platform::kJapaneseCodePage).value_or(std::wstring());
      },
      onLine);
}

}  // namespace

CMusicDataCue::CMusicDataCue(std::shared_ptr<CPluginCtrl> plugins)
    : plugins_(std::move(plugins)),
      typeDescription_(platform::LoadResString(platform::IDS_FILETYPE_CUE)) {
  fileType_ = {typeDescription_.c_str(), kCueSourceKind.extension.data()};
}

CMusicDataCue::~CMusicDataCue() = default;

const FileTypeInfo* CMusicDataCue::GetFileType() {
  return &fileType_;
}

void CMusicDataCue::Reset() {
  folder_.clear();
  albumPerformer_.clear();
  haveFile_ = false;
  file_ = AudioFile{};
  currentTrack_ = 0;
  trackCount_ = 0;
  tracks_.fill(Track{});
}

std::int32_t CMusicDataCue::Open(const MusicOpenParams& params) {
  Reset();
  // The sheet's own path is a path of this system: only '/' separates.
  folder_ = params.path.substr(0, params.path.rfind(L'/') + 1);

  platform::File file;
  if (!file.OpenRead(params.path)) return kMusicErrOpen;
  const std::int64_t size = file.Size();
  if (size < 0) return kMusicErrOpen;
  if (size > kMaxSheetBytes) return kMusicErrDecode;
  std::string bytes(static_cast<std::size_t>(size), '\0');
  const std::int64_t got = file.ReadAt(0, bytes.data(), bytes.size());
  if (got < 0) return kMusicErrOpen;
  bytes.resize(static_cast<std::size_t>(got));
  file.Close();

  std::int32_t result =
      ForEachSheetLine(bytes, [this](std::wstring_view line) { return ParseLine(line); });
  if (result == kMusicOk && !SetTrackEnds()) result = kMusicErrDecode;
  if (result != kMusicOk) trackCount_ = 0;
  return result;
}

std::int32_t CMusicDataCue::ParseLine(std::wstring_view line) {
  using platform::EqualsIgnoringCase;
  const std::vector<std::wstring> tokens = Tokenize(line);
  if (tokens.empty()) return kMusicOk;
  const std::wstring& command = tokens[0];
  if (EqualsIgnoringCase(command, L"PERFORMER")) {
    if (tokens.size() < 2) return kMusicErrDecode;
    if (currentTrack_ == 0) {
      albumPerformer_ = tokens[1];
    } else if (InTrack()) {
      CurrentTrack().info.artist = tokens[1];
    }
    return kMusicOk;
  }
  if (EqualsIgnoringCase(command, L"TITLE")) {
    if (tokens.size() < 2) return kMusicErrDecode;
    if (InTrack()) CurrentTrack().info.title = tokens[1];  // the album's title is not kept
    return kMusicOk;
  }
  if (EqualsIgnoringCase(command, L"FILE")) return OnFile(tokens);
  if (EqualsIgnoringCase(command, L"TRACK")) return OnTrack(tokens);
  if (EqualsIgnoringCase(command, L"INDEX")) return OnIndex(tokens);
  return kMusicOk;  // REM and every command not listed above
}

std::int32_t CMusicDataCue::OnFile(const std::vector<std::wstring>& tokens) {
  if (tokens.size() != 3 || !platform::EqualsIgnoringCase(tokens[2], L"WAVE")) {
    return kMusicErrDecode;
  }
  // Sheets made on Windows separate folders with backslashes.
  std::wstring name = tokens[1];
  std::replace(name.begin(), name.end(), L'\\', L'/');
  const std::wstring fileName = platform::FileName(name);
  const std::int32_t type = GetMusicDataType(fileName);
  if (type == kSourceTypePlugin && !plugins_) return kMusicErrDecode;
  // A relative name, with or without folders, starts from the sheet's folder.
  const std::wstring path = name.starts_with(L'/') ? name : folder_ + name;

  const auto source = CreateSourceForType(type, path, plugins_);
  TrackInfo info;
  if (!source || source->Open({.path = path, .gapless = false, .threshold = -96.0}) != kMusicOk ||
      source->GetTrackInfo(0, &info) != kMusicOk) {
    return kMusicErrDecode;
  }
  info.type = type;
  file_ = {path, fileName, std::move(info)};
  haveFile_ = true;
  return kMusicOk;
}

std::int32_t CMusicDataCue::OnTrack(const std::vector<std::wstring>& tokens) {
  if (tokens.size() != 3 || !platform::EqualsIgnoringCase(tokens[2], L"AUDIO")) {
    return kMusicErrDecode;
  }
  const long number = LeadingNumber(tokens[1]);
  // Numbers out of range make the lines up to the next TRACK ignored.
  currentTrack_ =
      number < 0 ? -1 : static_cast<std::int32_t>(std::min<long>(number, kMaxTracks + 1));
  if (!InTrack()) return kMusicOk;
  // A track is cut from the audio of the FILE before it; without one there
  // is nothing it could play.
  if (!haveFile_) return kMusicErrDecode;
  Track& track = CurrentTrack();
  track = Track{};
  track.filled = true;
  PlaceTrackInFile(track);
  track.info.title = TrackTitle(currentTrack_);
  track.info.artist = albumPerformer_;
  trackCount_ = currentTrack_;
  return kMusicOk;
}

std::int32_t CMusicDataCue::OnIndex(const std::vector<std::wstring>& tokens) {
  if (tokens.size() != 3) return kMusicErrDecode;
  if (!InTrack()) return kMusicOk;
  Track& track = CurrentTrack();
  const long number = LeadingNumber(tokens[1]);
  const std::uint32_t frame = FramesOfTime(tokens[2]);
  if (number == 0) {
    track.pregap = frame;
    return kMusicOk;
  }
  if (number != 1) return kMusicErrDecode;
  // A FILE line between TRACK and INDEX 01 (the gap before the track kept
  // at the end of the previous file) moves the track into the new file.
  if (track.info.path != file_.path) PlaceTrackInFile(track);
  track.info.start = frame;
  return kMusicOk;
}

void CMusicDataCue::PlaceTrackInFile(Track& track) {
  TrackInfo& info = track.info;
  info.path = file_.path;
  info.fileName = file_.fileName;
  info.type = file_.info.type;
  info.formatName = file_.info.formatName;
  info.totalBytes = file_.info.totalBytes;
  info.format = file_.info.format;
  info.length = file_.info.length;
  info.start = 0;
  info.end = file_.info.length;
  track.fileFrames = file_.info.length;
}

bool CMusicDataCue::SetTrackEnds() {
  for (std::int32_t k = 1; k <= trackCount_; ++k) {
    Track& track = tracks_[static_cast<std::size_t>(k)];
    if (!track.filled) continue;
    // Signed: an empty file, or a next track at frame 0, ends before 0.
    const std::int64_t lastOfFile = std::int64_t{track.fileFrames} - 1;
    std::int64_t end = lastOfFile;
    // The track runs up to the next listed track when that one plays from
    // the same file: its pregap (INDEX 00) if it has one, else its INDEX 01.
    // A missing track number in between does not stretch it over the next.
    const auto next = std::find_if(tracks_.begin() + k + 1, tracks_.end(),
                                   [](const Track& later) { return later.filled; });
    if (next != tracks_.end() && platform::EqualsIgnoringCase(next->info.path, track.info.path)) {
      const std::uint32_t nextBegins = next->pregap != 0 ? next->pregap : next->info.start;
      end = std::min(std::int64_t{nextBegins} - 1, lastOfFile);
    }
    // A track that begins after its end (past the end of its file, or after
    // the track that follows it) does not fit the audio the sheet names.
    if (end < std::int64_t{track.info.start}) return false;
    track.info.end = static_cast<std::uint32_t>(end);
    track.info.length = track.info.end - track.info.start + 1;
  }
  return true;
}

std::int32_t CMusicDataCue::GetTrackCount(std::int32_t* count) {
  if (count == nullptr) return kMusicErrParam;
  *count = trackCount_;
  return kMusicOk;
}

std::int32_t CMusicDataCue::GetTrackInfo(std::int32_t index, TrackInfo* info) {
  if (info == nullptr || index < 0 || index >= trackCount_) return kMusicErrParam;
  CopyReportedFields(tracks_[static_cast<std::size_t>(index) + 1].info, *info, true);
  return kMusicOk;
}
