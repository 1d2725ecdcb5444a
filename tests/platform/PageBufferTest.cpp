#include "platform/PageBuffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace {

TEST(PageBuffer, GivesWholeZeroedPagesAndReleasesThem) {
  EXPECT_EQ(platform::AllocPages(0), nullptr);
  for (std::size_t size : {std::size_t{1}, platform::PageSize(), 3 * platform::PageSize() + 5}) {
    auto* p = static_cast<std::uint8_t*>(platform::AllocPages(size));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % platform::PageSize(), 0u);
    EXPECT_EQ(p[0], 0);
    EXPECT_EQ(p[size - 1], 0);
    std::memset(p, 0xA5, size);
    platform::FreePages(p);
  }
  platform::FreePages(nullptr);
}

}  // namespace
