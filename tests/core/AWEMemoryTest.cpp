#include "core/AWEMemory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <vector>

#include "core/AWEMemoryAccessor.h"
#include "tests/core/FakeSystemMemory.h"

namespace {

using core::AccessError;
using core::AWEMemory;
using core::AWEMemorySequentialReader;
using core::AWEMemorySequentialWriter;
using coretest::FakeSystemMemory;

constexpr std::uint64_t kGiB = std::uint64_t{1} << 30;

TEST(AWEMemory, IsSetUpOnlyOnA64BitMachineWithMemoryAndPrivilege) {
  const struct {
    const char* name;
    void (*change)(FakeSystemMemory&);
    bool allocates;
  } cases[] = {
      {"a capable machine", [](FakeSystemMemory&) {}, true},
      {"exactly 5 GiB available", [](FakeSystemMemory& s) { s.availableBytes = 5 * kGiB; }, true},
      {"just under 5 GiB", [](FakeSystemMemory& s) { s.availableBytes = 5 * kGiB - 1; }, false},
      {"32-bit machine",
       [](FakeSystemMemory& s) {
         s.machine = "i686";
         s.is64Bit = false;
       },
       false},
      {"no privilege to lock", [](FakeSystemMemory& s) { s.mayLock = false; }, false},
      {"memory status unreadable", [](FakeSystemMemory& s) { s.statusReadable = false; }, false},
      {"lock refused", [](FakeSystemMemory& s) { s.grantBytes = 0; }, false},
      {"no page size", [](FakeSystemMemory& s) { s.pageSize = 0; }, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto system = std::make_shared<FakeSystemMemory>();
    c.change(*system);
    AWEMemory region(system);
    EXPECT_EQ(region.Allocate(), c.allocates);
    EXPECT_EQ(region.Data() != nullptr, c.allocates);
    if (!c.allocates) {
      EXPECT_EQ(region.PageCount(), 0u);
    }
  }
}

TEST(AWEMemory, AsksFor4GiBAndKeepsWhatIsGranted) {
  auto system = std::make_shared<FakeSystemMemory>();
  system->grantBytes = 3 * 4096 + 100;  // a partial page does not count
  AWEMemory region(system);
  ASSERT_TRUE(region.Allocate());
  EXPECT_EQ(system->requestedBytes, std::uint64_t{4} * kGiB);
  EXPECT_EQ(region.PageSize(), 4096u);
  EXPECT_EQ(region.PageCount(), 3u);
}

struct RegionFixture : ::testing::Test {
  void SetUp() override {
    system->grantBytes = 3 * 4096;
    ASSERT_TRUE(region.Allocate());
    writer.Attach(&region);
    reader.Attach(&region);
  }
  std::shared_ptr<FakeSystemMemory> system = std::make_shared<FakeSystemMemory>();
  AWEMemory region{system};
  AWEMemorySequentialWriter writer;
  AWEMemorySequentialReader reader;
};

std::vector<std::uint8_t> Pattern(std::size_t size, std::uint8_t seed) {
  std::vector<std::uint8_t> bytes(size);
  std::iota(bytes.begin(), bytes.end(), seed);
  return bytes;
}

TEST_F(RegionFixture, ATransferAcrossAPageBoundaryLandsWhereTheArithmeticSays) {
  auto head = Pattern(4090, 1), tail = Pattern(10, 200);
  ASSERT_TRUE(writer.Transfer(head.data(), 4090));
  EXPECT_EQ(writer.PageIndex(), 0u);
  EXPECT_EQ(writer.Offset(), 4090u);
  ASSERT_TRUE(writer.Transfer(tail.data(), 10));
  EXPECT_EQ(writer.PageIndex(), 1u);
  EXPECT_EQ(writer.Offset(), 4u);
  EXPECT_EQ(std::memcmp(system->regionData + 4090, tail.data(), 10), 0);

  // The reader walks the same sizes and meets the same bytes; a null buffer
  // skips without copying.
  std::vector<std::uint8_t> got(10);
  ASSERT_TRUE(reader.Transfer(nullptr, 4090));
  ASSERT_TRUE(reader.Transfer(got.data(), 10));
  EXPECT_EQ(got, tail);
  EXPECT_EQ(reader.PageIndex(), 1u);
  EXPECT_EQ(reader.Offset(), 4u);
}

TEST_F(RegionFixture, AnExhaustedRegionRefusesWithInvalidDataAndKeepsThePosition) {
  auto block = Pattern(5000, 7);
  ASSERT_TRUE(writer.Transfer(block.data(), 5000));
  ASSERT_TRUE(writer.Transfer(block.data(), 5000));  // ends at page 2, offset 1808
  EXPECT_FALSE(writer.Transfer(block.data(), 3000));
  EXPECT_EQ(writer.LastError(), AccessError::kInvalidData);
  EXPECT_EQ(writer.PageIndex(), 2u);
  EXPECT_EQ(writer.Offset(), 1808u);
  // What still fits is taken, up to the very last byte.
  ASSERT_TRUE(writer.Transfer(block.data(), 4096 - 1808));
  EXPECT_EQ(writer.LastError(), AccessError::kNone);
  EXPECT_EQ(writer.PageIndex(), 3u);
  EXPECT_EQ(writer.Offset(), 0u);
  EXPECT_FALSE(writer.Transfer(block.data(), 1));
  EXPECT_EQ(writer.LastError(), AccessError::kInvalidData);
  // Nothing at a page boundary touches no page, even past the end.
  EXPECT_TRUE(writer.Transfer(block.data(), 0));

  writer.Rewind();
  EXPECT_EQ(writer.PageIndex(), 0u);
  EXPECT_EQ(writer.Offset(), 0u);
  EXPECT_TRUE(writer.Transfer(block.data(), 1));
}

TEST(AWEMemoryAccessor, WithoutARegionEveryTransferFails) {
  AWEMemorySequentialReader reader;
  std::uint8_t byte = 0;
  EXPECT_FALSE(reader.Transfer(&byte, 1));
  EXPECT_EQ(reader.LastError(), AccessError::kInvalidData);

  AWEMemory unallocated(std::make_shared<FakeSystemMemory>());
  reader.Attach(&unallocated);
  EXPECT_FALSE(reader.Transfer(&byte, 1));
  EXPECT_EQ(reader.LastError(), AccessError::kInvalidData);
}

}  // namespace
