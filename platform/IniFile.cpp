#include "platform/IniFile.h"

#include <algorithm>
#include <climits>

#include "platform/AtomicFile.h"
#include "platform/File.h"
#include "platform/TextCompare.h"
#include "platform/TextConv.h"

namespace platform {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::size_t kNone = std::string::npos;

std::wstring Trim(const std::wstring& text) {
  const auto first = text.find_first_not_of(L" \t");
  if (first == std::wstring::npos) return {};
  return text.substr(first, text.find_last_not_of(L" \t") - first + 1);
}

bool IsQuote(wchar_t c) {
  return c == L'"' || c == L'\'';
}

bool IsEnclosedInQuotes(const std::wstring& value) {
  return value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front();
}

enum class LineKind { kOther, kSection, kEntry };

struct ParsedLine {
  LineKind kind = LineKind::kOther;
  std::wstring name;   // section or key
  std::wstring value;  // of a key, trimmed
};

// Lines before the first section, comments and lines without "=" or without
// a key are kept but never read.
ParsedLine Parse(const std::string& raw) {
  const std::wstring text = Trim(FromUtf8(raw));
  if (text.empty() || text.front() == L';') return {};
  if (text.front() == L'[') {
    const auto close = text.find(L']');
    return {LineKind::kSection, Trim(text.substr(1, close == kNone ? kNone : close - 1)), {}};
  }
  const auto equals = text.find(L'=');
  if (equals == kNone) return {};
  std::wstring key = Trim(text.substr(0, equals));
  if (key.empty()) return {};
  return {LineKind::kEntry, std::move(key), Trim(text.substr(equals + 1))};
}

// The text to write for a value so that reading it gives the value back.
std::wstring EncodeValue(std::wstring value) {
  for (auto& c : value) {
    if (c == L'\r' || c == L'\n') c = L' ';
  }
  const bool blankAtEnd = !value.empty() && (value.front() == L' ' || value.front() == L'\t' ||
                                             value.back() == L' ' || value.back() == L'\t');
  if (blankAtEnd || IsEnclosedInQuotes(value)) return L"\"" + value + L"\"";
  return value;
}

}  // namespace

bool IniFile::Load(const std::wstring& path) {
  byteOrderMark_.clear();
  newline_ = "\n";
  lines_.clear();
  std::string bytes;
  switch (ReadWholeFile(path, bytes)) {
    case ReadStatus::kNotFound:
      return true;
    case ReadStatus::kFailed:
    case ReadStatus::kTooLarge:
      return false;
    case ReadStatus::kOk:
      break;
  }
  std::string_view rest = bytes;
  if (rest.starts_with(kByteOrderMark)) {
    byteOrderMark_ = kByteOrderMark;
    rest.remove_prefix(kByteOrderMark.size());
  }
  bool newlineSeen = false;
  while (!rest.empty()) {
    const auto lineFeed = rest.find('\n');
    Line line;
    if (lineFeed == std::string_view::npos) {
      line.text = rest;
      rest = {};
    } else {
      line.text = rest.substr(0, lineFeed);
      line.ending = "\n";
      if (!line.text.empty() && line.text.back() == '\r') {
        line.text.pop_back();
        line.ending = "\r\n";
      }
      rest.remove_prefix(lineFeed + 1);
      if (!newlineSeen) newline_ = line.ending;
      newlineSeen = true;
    }
    lines_.push_back(std::move(line));
  }
  return true;
}

bool IniFile::Save(const std::wstring& path) const {
  return WriteFileAtomically(path, Text());
}

std::string IniFile::Text() const {
  std::string text = byteOrderMark_;
  for (const auto& line : lines_) {
    text += line.text;
    text += line.ending;
  }
  return text;
}

std::size_t IniFile::FindSection(const std::wstring& section) const {
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const ParsedLine parsed = Parse(lines_[i].text);
    if (parsed.kind == LineKind::kSection && EqualsIgnoringCase(parsed.name, section)) return i;
  }
  return kNone;
}

std::size_t IniFile::FindKey(std::size_t header, const std::wstring& key) const {
  for (std::size_t i = header + 1; i < lines_.size(); ++i) {
    const ParsedLine parsed = Parse(lines_[i].text);
    if (parsed.kind == LineKind::kSection) break;
    if (parsed.kind == LineKind::kEntry && EqualsIgnoringCase(parsed.name, key)) return i;
  }
  return kNone;
}

std::size_t IniFile::EndOfEntries(std::size_t header) const {
  std::size_t end = header + 1;
  for (std::size_t i = header + 1; i < lines_.size(); ++i) {
    const LineKind kind = Parse(lines_[i].text).kind;
    if (kind == LineKind::kSection) break;
    if (kind == LineKind::kEntry) end = i + 1;
  }
  return end;
}

std::optional<std::wstring> IniFile::Lookup(const std::wstring& section,
                                            const std::wstring& key) const {
  const std::size_t header = FindSection(section);
  if (header == kNone) return std::nullopt;
  const std::size_t line = FindKey(header, key);
  if (line == kNone) return std::nullopt;
  std::wstring value = Parse(lines_[line].text).value;
  if (IsEnclosedInQuotes(value)) value = value.substr(1, value.size() - 2);
  return value;
}

std::wstring IniFile::GetString(const std::wstring& section, const std::wstring& key,
                                const std::wstring& fallback) const {
  return Lookup(section, key).value_or(fallback);
}

std::int32_t IniFile::GetInt(const std::wstring& section, const std::wstring& key,
                             std::int32_t fallback) const {
  const auto value = Lookup(section, key);
  if (!value || value->empty()) return fallback;
  std::size_t i = 0;
  const bool negative = (*value)[0] == L'-';
  if (negative || (*value)[0] == L'+') ++i;
  long long number = 0;
  for (; i < value->size() && (*value)[i] >= L'0' && (*value)[i] <= L'9'; ++i) {
    number = std::min<long long>(number * 10 + ((*value)[i] - L'0'), 1LL + INT_MAX);
  }
  if (negative) number = -number;
  return static_cast<std::int32_t>(std::clamp<long long>(number, INT_MIN, INT_MAX));
}

void IniFile::SetString(const std::wstring& section, const std::wstring& key,
                        const std::wstring& value) {
  std::string text = ToUtf8(key + L"=" + EncodeValue(value));
  std::size_t header = FindSection(section);
  if (header == kNone) {
    InsertLine(lines_.size(), ToUtf8(L"[" + section + L"]"));
    header = lines_.size() - 1;
  }
  if (const std::size_t line = FindKey(header, key); line != kNone) {
    lines_[line].text = std::move(text);
  } else {
    InsertLine(EndOfEntries(header), std::move(text));
  }
}

void IniFile::InsertLine(std::size_t at, std::string text) {
  // Only the last line may lack an ending; it gains one when a line follows.
  if (at == lines_.size() && at > 0 && lines_.back().ending.empty())
    lines_.back().ending = newline_;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), Line{std::move(text), newline_});
}

}  // namespace platform
