#include "platform/SystemMemory.h"

#include <sys/mman.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/PageBuffer.h"

namespace {

TEST(SystemMemory, ReadsTotalAndAvailableFromMeminfo) {
  platform::MemoryStatus status;
  ASSERT_TRUE(
      platform::ParseMemInfo("MemTotal:       24683728 kB\nMemFree:        23134588 kB\n"
                             "MemAvailable:   23429260 kB\nBuffers:            1892 kB\n",
                             &status));
  EXPECT_EQ(status.totalPhysical, 24683728ull * 1024);
  EXPECT_EQ(status.availablePhysical, 23429260ull * 1024);

  EXPECT_FALSE(platform::ParseMemInfo("MemTotal: 1000 kB\nMemFree: 900 kB\n", &status));
  EXPECT_FALSE(platform::ParseMemInfo("MemTotal: 1000 kB\nMemAvailable: kB\n", &status));
  EXPECT_FALSE(platform::ParseMemInfo("", &status));

  // The running machine answers too.
  auto system = platform::LinuxSystemMemory();
  ASSERT_TRUE(system->GetMemoryStatus(&status));
  EXPECT_GT(status.totalPhysical, 0u);
  EXPECT_LE(status.availablePhysical, status.totalPhysical);
  EXPECT_EQ(system->GetSystemInfo().pageSize, platform::PageSize());
}

TEST(SystemMemory, OnlyKnown64BitMachinesCount) {
  for (const char* machine : {"x86_64", "aarch64"}) {
    EXPECT_TRUE(platform::IsSupported64BitMachine(machine)) << machine;
  }
  for (const char* machine : {"i686", "i386", "armv7l", "", "x86_64 "}) {
    EXPECT_FALSE(platform::IsSupported64BitMachine(machine)) << machine;
  }
}

TEST(SystemMemory, FindsAnEffectiveCapabilityBit) {
  const char* status = "Name:\tx\nCapInh:\t0000000000004000\nCapEff:\t0000000000004001\n";
  EXPECT_TRUE(platform::HasEffectiveCapability(status, 14));  // CAP_IPC_LOCK
  EXPECT_TRUE(platform::HasEffectiveCapability(status, 0));
  EXPECT_FALSE(platform::HasEffectiveCapability(status, 13));
  EXPECT_FALSE(platform::HasEffectiveCapability("CapInh:\t0000000000004000\n", 14));
  EXPECT_FALSE(platform::HasEffectiveCapability(status, 64));
}

std::size_t ResidentPages(std::uint8_t* base, std::size_t pages) {
  std::vector<unsigned char> resident(pages);
  if (mincore(base, pages * platform::PageSize(), resident.data()) != 0) return SIZE_MAX;
  std::size_t count = 0;
  for (unsigned char page : resident)
    count += page & 1;
  return count;
}

TEST(LockedRegion, LocksPagesAsTheyAreFirstWritten) {
  const std::size_t page = platform::PageSize();
  constexpr std::size_t kPages = 8;
  if (!platform::LinuxSystemMemory()->MayLockMemory(kPages * page)) {
    GTEST_SKIP() << "this process may not lock memory";
  }
  auto region = platform::LockRegion(kPages * page);
  ASSERT_NE(region, nullptr);
  ASSERT_EQ(region->size(), kPages * page);
  EXPECT_EQ(ResidentPages(region->data(), kPages), 0u);  // nothing committed up front
  std::memset(region->data(), 0x5A, 3 * page);
  EXPECT_EQ(ResidentPages(region->data(), kPages), 3u);
  EXPECT_EQ(region->data()[3 * page - 1], 0x5A);

  EXPECT_EQ(platform::LockRegion(0), nullptr);
}

}  // namespace
