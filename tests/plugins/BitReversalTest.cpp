#include "plugins/common/BitReversal.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

std::uint8_t Reversed(std::uint8_t byte) {
  std::uint8_t out = 0;
  for (int bit = 0; bit < 8; ++bit)
    out = static_cast<std::uint8_t>(out | ((byte >> bit) & 1) << (7 - bit));
  return out;
}

// Every way this CPU runs, on every length around its vector widths and at
// every start alignment, reverses each byte in place and touches nothing
// beside the buffer.
TEST(BitReversal, EveryWayReversesEachByteAndNothingElse) {
  ASSERT_FALSE(ppi::BitReversalWays().empty());
  EXPECT_STREQ(ppi::BitReversalWays().back().name, "portable");
  std::mt19937 random(3);
  std::vector<std::uint8_t> source(300);
  for (std::size_t i = 0; i < source.size(); ++i)
    source[i] = i < 256 ? static_cast<std::uint8_t>(i) : static_cast<std::uint8_t>(random());
  for (const auto& way : ppi::BitReversalWays()) {
    SCOPED_TRACE(way.name);
    for (std::size_t start = 0; start < 4; ++start) {
      for (std::size_t size = 0; size + start <= source.size(); size += size < 70 ? 1 : 37) {
        std::vector<std::uint8_t> buffer(source.size() + 2, 0xA5);
        std::copy(source.begin(), source.end(), buffer.begin() + 1);
        way.reverse(buffer.data() + 1 + start, size);
        for (std::size_t i = 0; i < source.size(); ++i) {
          const bool inside = i >= start && i < start + size;
          ASSERT_EQ(buffer[1 + i], inside ? Reversed(source[i]) : source[i])
              << "start " << start << " size " << size << " at " << i;
        }
        ASSERT_EQ(buffer.front(), 0xA5);
        ASSERT_EQ(buffer.back(), 0xA5);
      }
    }
  }
}

}  // namespace
