#include <gtest/gtest.h>

#include <array>
#include <filesystem>

#include "output/AsioHost.h"
#include "output/DevNameInfo.h"
#include "output/DeviceNameMatcher.h"
#include "platform/TextConv.h"
#include "tests/output/AsioTestSupport.h"

namespace {

using asiotest::DriverRegistry;
using asiotest::kClassA;
using asiotest::kVirtualDac;

// A sysfs tree with the USB devices given as (folder, idVendor, idProduct).
class FakeSysfs {
 public:
  explicit FakeSysfs(const std::vector<std::array<std::string, 3>>& devices) {
    for (const auto& [folder, vendor, product] : devices) {
      const auto path = std::filesystem::path(dir_.path()) / "bus/usb/devices" / folder;
      std::filesystem::create_directories(path);
      fixtures::WriteFile((path / "idVendor").string(),
                          fixtures::Bytes(vendor.begin(), vendor.end()));
      fixtures::WriteFile((path / "idProduct").string(),
                          fixtures::Bytes(product.begin(), product.end()));
    }
    setenv("QP_SYSFS_ROOT", dir_.path().c_str(), 1);
  }
  ~FakeSysfs() { unsetenv("QP_SYSFS_ROOT"); }

 private:
  fixtures::TempDir dir_;
};

TEST(DeviceNameMatcher, ScoresWholeNamesWithClampedRules) {
  const auto maker = CreateMakerNameMatcher();
  EXPECT_EQ(maker->Score("Corvane ASIO Audio Device(KLM)"), 50);
  EXPECT_EQ(maker->Score("Corvane USB DAC AMP(KLM)"), 50);
  EXPECT_EQ(maker->Score("Corvane ASIO Audio Device(KLM) "), 0);
  EXPECT_EQ(maker->Score("corvane asio audio device(klm)"), 0);
  EXPECT_EQ(maker->Score(""), 0);

  CAsioDeviceNameMatcher matcher;
  matcher.AddRule("A.*", 30);
  matcher.AddRule(".*", 10);
  matcher.AddRule("Loud", 150);
  matcher.AddRule("Quiet", -5);
  matcher.AddRule("([unclosed", 90);  // never matches
  EXPECT_EQ(matcher.Score("Alpha"), 30);
  EXPECT_EQ(matcher.Score("Beta"), 10);
  EXPECT_EQ(matcher.Score("Loud"), 100);
  EXPECT_EQ(matcher.Score("Quiet"), 10);
}

TEST(DeviceNameMatcher, StartUpPicksTheBestMakerDriverByName) {
  DriverRegistry registry;
  registry.Add("1.ini", "Some Other DAC", kClassA, kVirtualDac);
  EXPECT_EQ(PickMakerAsioDriver(), L"");
  registry.Add("2.ini", "Corvane USB DAC AMP(KLM)", kClassA, kVirtualDac);
  registry.Add("3.ini", "Corvane ASIO Audio Driver(KLM)", kClassA, kVirtualDac);
  EXPECT_EQ(PickMakerAsioDriver(), L"Corvane ASIO Audio Driver(KLM)");
}

TEST(ParseVidPid, TakesTheLastPairInAnyCase) {
  const struct {
    const wchar_t* text;
    bool found;
    std::uint16_t vendor, product;
  } cases[] = {
      {L"\\\\?\\usb#vid_3c5d&pid_0a17#5&1#{a5dcbf10}", true, 0x3C5D, 0x0A17},
      {L"USB\\VID_3C5D&PID_0A17&MI_00", true, 0x3C5D, 0x0A17},
      {L"VID_1111&PID_2222 then VID_3333&PID_4444", true, 0x3333, 0x4444},
      {L"VID_3C5&PID_0A17", false, 0, 0},
      {L"no ids", false, 0, 0},
  };
  for (const auto& c : cases) {
    std::uint16_t vendor = 0, product = 0;
    EXPECT_EQ(ParseVidPid(c.text, vendor, product), c.found) << c.text;
    if (c.found) {
      EXPECT_EQ(vendor, c.vendor);
      EXPECT_EQ(product, c.product);
    }
  }
}

TEST(DevNameInfo, ListsMakerDriversOnlyWhileTheDacIsPlugged) {
  DriverRegistry registry;
  registry.Add("1.ini", "Corvane USB DAC AMP(KLM)", kClassA, kVirtualDac);
  registry.Add("2.ini", "Corvane USB DAC AMP(KLM) 2", kClassA, kVirtualDac);
  registry.Add("3.ini", "Unrelated DAC", kClassA, kVirtualDac);
  {
    FakeSysfs sysfs({{"1-1", "1d6b", "0002"}});
    const CDevNameInfo catalogue;
    EXPECT_EQ(catalogue.GetDeviceCount(), 0u);
  }
  for (const auto& ids : {std::array<std::string, 2>{"3c5d", "0a17"}, {"3C5D", "0A17"}}) {
    FakeSysfs sysfs({{"1-1", "1d6b", "0002"}, {"1-2", ids[0], ids[1]}});
    EXPECT_EQ(EnumerateUsbDevicePaths().back(),
              platform::FromUtf8("\\\\?\\usb#vid_" + ids[0] + "&pid_" + ids[1] +
                                 "#1-2#{a5dcbf10-6530-11d2-901f-00c04fb951ed}"));
    const CDevNameInfo catalogue;
    ASSERT_EQ(catalogue.GetDeviceCount(), 1u);
    EXPECT_EQ(catalogue.GetDeviceName(0), L"Corvane USB DAC AMP(KLM)");
    EXPECT_EQ(catalogue.GetDeviceFlags(0), 3);
    EXPECT_DOUBLE_EQ(catalogue.GetLeadInSeconds(0), 0.1);
    EXPECT_EQ(catalogue.GetDeviceName(1), L"");
    EXPECT_EQ(catalogue.GetDeviceFlags(1), 0);
    EXPECT_DOUBLE_EQ(catalogue.GetLeadInSeconds(1), 0.1);
  }
}

}  // namespace
