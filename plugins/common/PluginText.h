#pragma once

// Text handling every plug-in file needs alike, header-only so that each
// plug-in stays built from the plug-in header and its own sources: file
// names across the boundary, identity texts, and the tag texts with their
// dictionary.

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <utility>

#include "platform/Utf8.h"
#include "sources/PluginInterface.h"

namespace ppi {

// File names cross the plug-in boundary as UTF-16; the file system takes UTF-8.
inline std::string Utf16ToUtf8(const char16_t* text) {
  std::string out;
  for (const char16_t* p = text; *p != 0; ++p) {
    char32_t c = *p;
    if (c >= 0xD800 && c <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (p[1] - 0xDC00);
      ++p;
    }
    platform::AppendUtf8(out, c);  // a lone surrogate becomes U+FFFD
  }
  return out;
}

// Copies a zero-terminated text into a caller's buffer of `length` units.
inline int32_t CopyNarrow(const char* text, char* buffer, int32_t length) {
  if (buffer == nullptr || length <= 0) return PPI_E_ARGUMENT;
  std::memset(buffer, 0, static_cast<std::size_t>(length));
  const std::size_t size = std::strlen(text);
  if (static_cast<std::size_t>(length) <= size) return PPI_E_ARGUMENT;
  std::memcpy(buffer, text, size + 1);
  return PPI_OK;
}

inline int32_t CopyWide(const char16_t* text, char16_t* buffer, int32_t length) {
  if (buffer == nullptr || length <= 0) return PPI_E_ARGUMENT;
  const std::size_t size = std::char_traits<char16_t>::length(text);
  if (static_cast<std::size_t>(length) <= size) return PPI_E_ARGUMENT;
  std::memcpy(buffer, text, (size + 1) * sizeof(char16_t));
  return PPI_OK;
}

// CopyWide of an ASCII text.
inline int32_t CopyWideAscii(const char* text, char16_t* buffer, int32_t length) {
  const std::u16string wide(text, text + std::strlen(text));
  return CopyWide(wide.c_str(), buffer, length);
}

// The text encodings of tag texts, as ID3v2 numbers them.
enum TextEncoding : std::uint8_t { kEncodingLatin1 = 0, kEncodingUtf8 = 3 };

// One tag text: its ID3 encoding byte and its bytes followed by two zeros.
struct TagText {
  std::uint8_t encoding = 0;
  std::string bytes;
};

inline TagText Utf8Tag(std::string text) {
  return {kEncodingUtf8, std::move(text) + std::string(2, '\0')};
}

inline TagText Latin1Tag(std::string text) {
  return {kEncodingLatin1, std::move(text) + std::string(2, '\0')};
}

// Whether `text` is well-formed UTF-8 (shortest forms, no surrogates).
inline bool IsUtf8(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80                   ? 1
                               : lead >= 0xC2 && lead < 0xE0 ? 2
                               : lead >= 0xE0 && lead < 0xF0 ? 3
                               : lead >= 0xF0 && lead < 0xF5 ? 4
                                                             : 0;
    if (length == 0 || i + length > text.size()) return false;
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      c = c << 6 | (next & 0x3F);
    }
    if ((length == 3 && (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))) ||
        (length == 4 && (c < 0x10000 || c > 0x10FFFF))) {
      return false;
    }
    i += length;
  }
  return true;
}

// The texts a plug-in reports: title and artist through GetTitleArtist,
// all four through the tag dictionary (name -> bytes, "enc" + name ->
// encoding name).
struct TrackTags {
  using Dictionary = std::map<std::string, std::string>;

  TagText title, artist, album, track;
  Dictionary dictionary;

  void Clear() { *this = TrackTags{}; }

  void RebuildDictionary() {
    static const char* const kEncodingNames[] = {"ENC_SYSTEM", "ENC_UTF-16LE_BOM", "ENC_UTF-16BE",
                                                 "ENC_UTF-8"};
    dictionary.clear();
    const std::pair<const char*, const TagText*> texts[] = {
        {"Artist", &artist}, {"Title", &title}, {"Album", &album}, {"Track", &track}};
    for (const auto& [key, text] : texts) {
      if (text->bytes.empty()) continue;
      dictionary[key] = text->bytes;
      if (text->encoding <= 3)
        dictionary[std::string("enc") + key] = kEncodingNames[text->encoding];
    }
  }

  int32_t CopyTitleArtist(void* titleOut, int32_t titleBytes, int32_t* titleEncoding,
                          void* artistOut, int32_t artistBytes, int32_t* artistEncoding) const {
    *titleEncoding = title.encoding;
    *artistEncoding = artist.encoding;
    if (title.bytes.size() > static_cast<std::size_t>(titleBytes) ||
        artist.bytes.size() > static_cast<std::size_t>(artistBytes)) {
      return PPI_E_FAIL;
    }
    std::memcpy(titleOut, title.bytes.data(), title.bytes.size());
    std::memcpy(artistOut, artist.bytes.data(), artist.bytes.size());
    return PPI_OK;
  }
};

}  // namespace ppi
