#include "sources/Id3Text.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Id3Case {
  const char* name;
  std::uint8_t encoding;
  std::vector<std::uint8_t> bytes;
  std::wstring expected;
};

TEST(DecodeId3Text, EveryEncodingStopsAtItsTerminatorOrItsEnd) {
  const Id3Case cases[] = {
      {"utf16 with little-endian mark", 1, {0xFF, 0xFE, 'H', 0, 0xE9, 0, 0, 0, 'X', 0}, L"H\u00e9"},
      {"utf16 with big-endian mark", 1, {0xFE, 0xFF, 0, 'H', 0x65, 0xE5, 0, 0}, L"H\u65e5"},
      {"utf16 big-endian", 2, {0, 'O', 0, 'K', 0, 0, 0, 'X'}, L"OK"},
      {"utf16 odd length drops the last byte", 2, {0, 'O', 0, 'K', 0}, L"OK"},
      {"utf16 mark only", 1, {0xFF, 0xFE}, L""},
      {"utf16 one byte", 1, {0xFF}, L""},
      {"utf8", 3, {0xE6, 0x97, 0xA5, 'a', 0, 'b'}, L"\u65e5a"},
      {"utf8 unterminated", 3, {'a', 'b'}, L"ab"},
      {"legacy code page", 0, {'c', 'a', 'f', 0xE9, 0x80, 0}, L"caf\u00e9\u20ac"},
      {"unknown encoding as legacy", 9, {'x', 0}, L"x"},
      {"empty", 3, {}, L""},
  };
  for (const auto& c : cases) {
    // A copy of exactly the given size, so a read past it shows under sanitizers.
    std::vector<std::uint8_t> exact(c.bytes);
    EXPECT_EQ(DecodeId3Text(exact.data(), exact.size(), c.encoding), c.expected) << c.name;
  }
}

}  // namespace
