#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The 8-bit code page of tag text that names no encoding of its own.
inline constexpr const char* kLegacyCodePage = "windows-1252";

// Japanese text in the Windows flavour of Shift_JIS (code page 932).
inline constexpr const char* kJapaneseCodePage = "windows-31j";

// Converts bytes in the named code page (an ICU converter name such as
// "windows-1252", "UTF-8" or "ibm-943_P15A-2003") to wide text; nothing when
// the code page is unknown or the bytes cannot be converted.
std::optional<std::wstring> DecodeCodePage(std::string_view bytes, const char* codePage);

// Guesses the code page of a short 8-bit text (no zero bytes). Well-formed
// UTF-8 is taken as UTF-8; text that is well-formed code page 932 with
// double-byte characters and no convincing single-byte reading is taken as
// Japanese, which statistical detection misses in texts as short as tags;
// otherwise the best statistical guess that reads every byte, and failing
// that the legacy code page. Nothing only when detection itself fails.
std::optional<std::string> DetectCodePage(std::string_view bytes);

// Detects the code page and converts from it, as for RIFF INFO text.
std::optional<std::wstring> DecodeDetectedCodePage(std::string_view bytes);

}  // namespace platform
