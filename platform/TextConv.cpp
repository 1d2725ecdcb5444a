#include "platform/TextConv.h"

#include <cstdint>

#include "platform/Utf8.h"

namespace platform {
std::string ToUtf8(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (wchar_t c : text)
    AppendUtf8(out, static_cast<char32_t>(c));
  return out;
}

std::wstring FromUtf8(std::string_view text) {
  std::wstring out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<std::uint8_t>(text[i]);
    int extra = 0;
    char32_t c = 0;
    char32_t min = 0;
    if (lead < 0x80) {
      c = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      extra = 1, c = lead & 0x1F, min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2, c = lead & 0x0F, min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3, c = lead & 0x07, min = 0x10000;
    } else {
      out += static_cast<wchar_t>(kReplacementCharacter);
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    for (; j < text.size() && j <= i + static_cast<std::size_t>(extra); ++j) {
      const auto next = static_cast<std::uint8_t>(text[j]);
      if ((next & 0xC0) != 0x80) break;
      c = (c << 6) | (next & 0x3F);
    }
    if (j != i + 1 + static_cast<std::size_t>(extra) || c < min || !IsUnicodeScalar(c)) {
      out += static_cast<wchar_t>(kReplacementCharacter);
      i = (j == i + 1) ? i + 1 : j;
      continue;
    }
    out += static_cast<wchar_t>(c);
    i = j;
  }
  return out;
}

std::u16string ToUtf16(std::wstring_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (wchar_t w : text) {
    char32_t c = static_cast<char32_t>(w);
    if (!IsUnicodeScalar(c)) c = kReplacementCharacter;
    if (c < 0x10000) {
      out += static_cast<char16_t>(c);
    } else {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 | (c >> 10));
      out += static_cast<char16_t>(0xDC00 | (c & 0x3FF));
    }
  }
  return out;
}

std::wstring FromUtf16(std::u16string_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t u = text[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      const char32_t c = 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) +
                         (static_cast<char32_t>(text[i + 1]) - 0xDC00);
      out += static_cast<wchar_t>(c);
      ++i;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      out += static_cast<wchar_t>(kReplacementCharacter);
    } else {
      out += static_cast<wchar_t>(u);
    }
  }
  return out;
}

}  // namespace platform
