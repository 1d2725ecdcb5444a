#include <gtest/gtest.h>

#include <array>
#include <filesystem>

#include "output/DevNameInfo.h"
#include "output/RenderEndpoints.h"
#include "output/WasapiAccess.h"
#include "tests/fixtures/PulseDaemon.h"
#include "tests/output/AsioTestSupport.h"

namespace {

using pulsetest::NullSink;
using pulsetest::PulseDaemon;

NullSink Sink(const std::string& name, const std::string& description, const std::string& ids,
              std::uint32_t rate = 44100, const std::string& format = "s32le") {
  return {name, "device.description=\"" + description + "\" " + ids, rate, 2, format};
}

const std::string kMakerIds = "device.vendor.id=3c5d device.product.id=0a17";

TEST(DesktopDevices, MakerEndpointsFollowTheMakerDriversInTheCatalogue) {
  PulseDaemon server(
      {Sink("dac", "Corvane DAC", kMakerIds),
       Sink("dac_hex", "Upper Case DAC", "device.vendor.id=0x3C5D device.product.id=0x0A17"),
       Sink("other", "Other DAC", "device.vendor.id=1234 device.product.id=5678"),
       Sink("plain", "Speakers", "")});
  ASSERT_TRUE(server.IsRunning()) << server.Log();

  const auto endpoints = EnumerateRenderEndpoints();
  ASSERT_EQ(endpoints.size(), 4u);
  EXPECT_EQ(endpoints[0].friendlyName, L"Corvane DAC");
  EXPECT_EQ(endpoints[0].endpointId, L"dac");
  std::wstring hardwareId;
  ASSERT_TRUE(QueryEndpointHardwareId(L"dac", hardwareId, 256));
  EXPECT_EQ(hardwareId, endpoints[0].hardwareId);
  EXPECT_FALSE(QueryEndpointHardwareId(L"dac", hardwareId, 5));
  EXPECT_FALSE(QueryEndpointHardwareId(L"gone", hardwareId, 256));

  // With the maker's driver and its USB device present too: drivers first.
  asiotest::DriverRegistry registry;
  registry.Add("1.ini", "Corvane USB DAC AMP(KLM)", asiotest::kClassA, asiotest::kVirtualDac);
  fixtures::TempDir sysfs;
  const auto device = std::filesystem::path(sysfs.path()) / "bus/usb/devices/1-2";
  std::filesystem::create_directories(device);
  fixtures::WriteFile((device / "idVendor").string(), {'3', 'c', '5', 'd'});
  fixtures::WriteFile((device / "idProduct").string(), {'0', 'a', '1', '7'});
  setenv("QP_SYSFS_ROOT", sysfs.path().c_str(), 1);
  const CDevNameInfo catalogue;
  unsetenv("QP_SYSFS_ROOT");
  ASSERT_EQ(catalogue.GetDeviceCount(), 3u);
  EXPECT_EQ(catalogue.GetDeviceName(0), L"Corvane USB DAC AMP(KLM)");
  EXPECT_EQ(catalogue.GetDeviceName(1), L"WASAPI: Corvane DAC");
  EXPECT_EQ(catalogue.GetDeviceName(2), L"WASAPI: Upper Case DAC");
  EXPECT_EQ(catalogue.GetDeviceFlags(1), 3);
}

TEST(DesktopDevices, OnlyTheFirst64EndpointsAreConsidered) {
  std::vector<NullSink> sinks;
  for (int i = 0; i < 70; ++i) {
    sinks.push_back(Sink("dac" + std::to_string(i), "DAC " + std::to_string(i), kMakerIds));
  }
  PulseDaemon server(sinks);
  ASSERT_TRUE(server.IsRunning()) << server.Log();
  EXPECT_EQ(EnumerateRenderEndpoints().size(), 64u);
  EXPECT_EQ(CDevNameInfo().GetDeviceCount(), 64u);
}

TEST(DesktopDevices, WarmUpOpensMakerEndpointsInTheirOwnFormat) {
  {
    PulseDaemon server({Sink("plain", "Speakers", "")});
    ASSERT_TRUE(server.IsRunning()) << server.Log();
    EXPECT_EQ(CWasapiAccess().WarmUpEndpoints(), 0);  // no maker device: nothing opened
  }
  PulseDaemon server({Sink("dac32", "DAC 32", kMakerIds, 44100, "s32le"),
                      Sink("dac16", "DAC 16", kMakerIds, 48000, "s16le"),
                      Sink("other", "Other", "device.vendor.id=1234 device.product.id=5678")});
  ASSERT_TRUE(server.IsRunning()) << server.Log();
  CWasapiAccess access;
  std::vector<std::wstring> endpoints;
  ASSERT_TRUE(access.FindEndpointsById(0x0A173C5D, endpoints));
  EXPECT_EQ(endpoints, (std::vector<std::wstring>{L"dac32", L"dac16"}));
  const struct {
    const wchar_t* endpoint;
    std::uint32_t rate;
    std::uint16_t container, valid;
  } cases[] = {{L"dac32", 44100, 32, 32}, {L"dac16", 48000, 16, 16}};
  for (const auto& c : cases) {
    CWasapiAccess::Format format{};
    ASSERT_TRUE(access.FindExclusiveFormat(c.endpoint, format)) << c.endpoint;
    EXPECT_EQ(format.rate, c.rate);
    EXPECT_EQ(format.containerBits, c.container);
    EXPECT_EQ(format.validBits, c.valid);
  }
  EXPECT_EQ(access.WarmUpEndpoints(), 1);
}

TEST(DesktopDevices, WithoutAServerThereAreNoEndpoints) {
  pulsetest::NoServer none;
  EXPECT_TRUE(EnumerateRenderEndpoints().empty());
  EXPECT_EQ(CWasapiAccess().WarmUpEndpoints(), 0);
}

}  // namespace
