#pragma once

// Encoding one code point as UTF-8, header-only so the plug-ins encode file
// names exactly as the player does.

#include <string>

namespace platform {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

constexpr bool IsUnicodeScalar(char32_t c) {
  return c < 0x110000 && (c < 0xD800 || c > 0xDFFF);
}

// Appends `c`, or U+FFFD when it is not a Unicode scalar value (a lone
// surrogate, or beyond U+10FFFF).
inline void AppendUtf8(std::string& out, char32_t c) {
  if (!IsUnicodeScalar(c)) c = kReplacementCharacter;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace platform
