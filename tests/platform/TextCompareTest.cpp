#include "platform/TextCompare.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using platform::CompareNatural;

TEST(TextCompare, NaturalOrderSortsNumbersByValueAndIgnoresCase) {
  const std::vector<std::wstring> expected = {
      L"",
      L"a",
      L"a1",
      L"a01b",  // equal in value to "a1b": plain order decides, '0' before '1'
      L"a1b",
      L"a2",
      L"a10",
      L"a99999999999999999999",  // longer than any machine integer
      L"a100000000000000000000",
      L"b-",
      L"B1",
      L"Track2.wav",
      L"track10.wav",
      L"\u00c9t\u00e9 2",
      L"\u00e9t\u00e9 10",
  };
  std::vector<std::wstring> sorted(expected.rbegin(), expected.rend());
  std::sort(sorted.begin(), sorted.end(),
            [](const auto& a, const auto& b) { return CompareNatural(a, b) < 0; });
  EXPECT_EQ(sorted, expected);

  // A strict total order: antisymmetric, and zero only for the same text.
  for (const auto& a : expected) {
    for (const auto& b : expected) {
      EXPECT_EQ(CompareNatural(a, b), -CompareNatural(b, a)) << a << L" / " << b;
      EXPECT_EQ(CompareNatural(a, b) == 0, a == b) << a << L" / " << b;
    }
  }
}

TEST(TextCompare, EqualsIgnoringCaseFoldsBeyondAscii) {
  EXPECT_TRUE(platform::EqualsIgnoringCase(L"Config", L"CONFIG"));
  EXPECT_TRUE(platform::EqualsIgnoringCase(L"\u00c9t\u00e9", L"\u00e9T\u00c9"));
  EXPECT_FALSE(platform::EqualsIgnoringCase(L"Config", L"Configs"));
  EXPECT_FALSE(platform::EqualsIgnoringCase(L"X", L"Y"));
}

}  // namespace
