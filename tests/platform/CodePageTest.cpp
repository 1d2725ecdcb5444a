#include "platform/CodePage.h"

#include <gtest/gtest.h>

namespace {

TEST(CodePage, LegacyCodePageIsWindows1252) {
  EXPECT_EQ(platform::DecodeCodePage("\x80 caf\xE9", platform::kLegacyCodePage),
            std::wstring(L"\u20ac caf\u00e9"));
  EXPECT_FALSE(platform::DecodeCodePage("x", "no-such-code-page").has_value());
}

TEST(CodePage, DetectsAndConvertsCommonTagEncodings) {
  // "Japanese song title" in UTF-8 and in Shift_JIS, as INFO chunks carry it.
  const std::wstring title = L"\u65e5\u672c\u8a9e\u306e\u66f2\u540d\u3067\u3059";
  const std::string utf8 =
      "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE6\x9B\xB2\xE5\x90\x8D\xE3\x81\xA7\xE3\x81"
      "\x99";
  const std::string shiftJis = "\x93\xFA\x96\x7B\x8C\xEA\x82\xCC\x8B\xC8\x96\xBC\x82\xC5\x82\xB7";
  EXPECT_EQ(platform::DecodeDetectedCodePage(utf8), title);
  EXPECT_EQ(platform::DecodeDetectedCodePage(shiftJis), title);
  EXPECT_EQ(platform::DecodeDetectedCodePage("Plain Artist"), std::wstring(L"Plain Artist"));
  // Latin text with accents stays Latin, even where its bytes happen to pair
  // up as Japanese double-byte characters.
  const struct {
    std::string bytes;
    std::wstring text;
  } latin[] = {
      {"Caf\xE9 del Mar", L"Caf\u00e9 del Mar"},
      {"Beyonc\xE9", L"Beyonc\u00e9"},
      {"Soci\xE9t\xE9 G\xE9n\xE9rale des Concerts",
       L"Soci\u00e9t\u00e9 G\u00e9n\u00e9rale des Concerts"},
      {"M\xFCller", L"M\u00fcller"},
  };
  for (const auto& c : latin)
    EXPECT_EQ(platform::DecodeDetectedCodePage(c.bytes), c.text) << c.bytes;
}

}  // namespace
