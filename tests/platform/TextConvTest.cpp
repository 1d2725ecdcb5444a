#include "platform/TextConv.h"

#include <gtest/gtest.h>

namespace {

TEST(TextConv, Utf8RoundTripsEveryPlane) {
  const std::wstring texts[] = {L"", L"plain", L"caf\u00e9 \u65e5\u672c", L"\U0001F3B5 note"};
  for (const auto& text : texts) {
    EXPECT_EQ(platform::FromUtf8(platform::ToUtf8(text)), text);
    EXPECT_EQ(platform::FromUtf16(platform::ToUtf16(text)), text);
  }
  EXPECT_EQ(platform::ToUtf8(L"\u00e9"), "\xC3\xA9");
  EXPECT_EQ(platform::ToUtf16(L"\U0001F3B5"), (std::u16string{0xD83C, 0xDFB5}));
}

TEST(TextConv, MalformedInputBecomesReplacementCharacters) {
  struct Case {
    std::string utf8;
    std::wstring wide;
  } cases[] = {
      {"a\xFF"
       "b",
       L"a\uFFFDb"},                // byte that starts nothing
      {"a\xC3", L"a\uFFFD"},        // sequence cut at the end
      {"\xC0\xAF", L"\uFFFD"},      // overlong encoding
      {"\xED\xA0\x80", L"\uFFFD"},  // encoded surrogate
      {"\xE6\x97"
       "x",
       L"\uFFFDx"},  // sequence cut by an ASCII byte
  };
  for (const auto& c : cases)
    EXPECT_EQ(platform::FromUtf8(c.utf8), c.wide) << c.utf8;
  EXPECT_EQ(platform::FromUtf16(std::u16string{u'a', 0xD800, u'b'}), L"a\uFFFDb");
}

}  // namespace
