#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/fixtures/PulseDaemon.h"
#include "tests/renderer/RendererTestSupport.h"

namespace {

using pulsetest::NullSink;
using pulsetest::PulseDaemon;
using pulsetest::Utf16;
using pulsetest::Utf8;

const std::string kLongDescription(300, 'L');
const std::string kUnicode = "Kopfh\u00f6rer \u266b \U0001D11E";

// The sinks of the enumeration tests, in the server's order.
std::vector<NullSink> DesktopSinks() {
  return {
      {"corvane",
       "device.description=\"Corvane USB DAC\" device.bus=usb device.vendor.id=3c5d "
       "device.product.id=0a17"},
      {"two",
       "device.description=\"Maker DAC Two\" device.vendor.id=0x2F7A "
       "device.product.id=0x0102"},
      {"builtin",
       "device.description=\"Built-in Audio\" device.bus=pci device.vendor.id=8086 "
       "device.product.id=a170"},
      {"toolong", "device.description=\"" + kLongDescription + "\""},
      {"half", "device.description=\"Half Ids\" device.vendor.id=3c5d"},
      {"unicode", "device.description=\"" + kUnicode +
                      "\" device.vendor.id=3c5d "
                      "device.product.id=0A17"},
      {"mono", "device.description=\"Mono Speaker\"", 48000, 1},
      {"surround", "device.description=\"Surround\"", 96000, 6},
  };
}

class RendererTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(daemon_.IsRunning()) << daemon_.Log(); }
  void TearDown() override { HostExit(); }

  const RendererEntryPoints& Entry() const { return binding_->entry(); }
  bool Select(const std::string& name, int32_t flags = 1) {
    return Entry().SelectWASAPIDevice(Utf16(name).c_str(), flags) != 0;
  }

  PulseDaemon daemon_{DesktopSinks()};
  std::shared_ptr<CAsioWrapperImpl> binding_ = pulsetest::LoadRenderer();
};

TEST_F(RendererTest, TheLibraryExportsAllEntryPoints) {
  ASSERT_TRUE(binding_->IsLoaded());
  const auto* entries = reinterpret_cast<void* const*>(&Entry());
  for (std::size_t i = 0; i < sizeof(RendererEntryPoints) / sizeof(void*); ++i)
    EXPECT_NE(entries[i], nullptr) << "entry point " << i;
}

TEST_F(RendererTest, DevicesAreListedByFriendlyNameWithTheirHardwareIds) {
  std::vector<WasapiDeviceRecord> records(kWasapiMaxDevices);
  int32_t count = -1;
  ASSERT_NE(Entry().EnumerateWASAPIDevices(records.data(), kWasapiMaxDevices, &count), 0);
  // The sink whose name does not fit a record is left out: it could never be
  // selected by that name.
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"Corvane USB DAC", "USB\\VID_3C5D&PID_0A17&SINK_corvane"},
      {"Maker DAC Two", "USB\\VID_2F7A&PID_0102&SINK_two"},
      {"Built-in Audio", "PULSE\\builtin"},
      {"Half Ids", "PULSE\\half"},
      {kUnicode, "USB\\VID_3C5D&PID_0A17&SINK_unicode"},
      {"Mono Speaker", "PULSE\\mono"},
      {"Surround", "PULSE\\surround"},
  };
  ASSERT_EQ(count, static_cast<int32_t>(expected.size()));
  for (int32_t i = 0; i < count; ++i) {
    EXPECT_EQ(Utf8(records[i].name), expected[i].first) << i;
    EXPECT_EQ(Utf8(records[i].hardwareId), expected[i].second) << i;
  }
  EXPECT_EQ(Utf16(kUnicode).size(), 14u) << "the clef takes a surrogate pair";
  EXPECT_EQ(std::u16string(records[4].name), Utf16(kUnicode));

  // A smaller buffer takes the first ones; the records after it stay as they were.
  records.assign(3, WasapiDeviceRecord{});
  records[2].name[0] = u'#';
  ASSERT_NE(Entry().EnumerateWASAPIDevices(records.data(), 2, &count), 0);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(Utf8(records[1].name), "Maker DAC Two");
  EXPECT_EQ(records[2].name[0], u'#');
  EXPECT_NE(Entry().EnumerateWASAPIDevices(records.data(), 0, &count), 0);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(Entry().EnumerateWASAPIDevices(nullptr, 2, &count), 0);
  EXPECT_EQ(Entry().EnumerateWASAPIDevices(records.data(), 2, nullptr), 0);
}

TEST_F(RendererTest, SelectionTakesTheExactFriendlyNameAndKeepsTheFlags) {
  EXPECT_TRUE(Select("Corvane USB DAC", kWasapiSelectFlag | kWasapiKeepOpenFlag));
  EXPECT_EQ(Entry().GetSelectedFlags(), kWasapiSelectFlag | kWasapiKeepOpenFlag);
  EXPECT_EQ(HostGetSelectedFlags(), kWasapiSelectFlag | kWasapiKeepOpenFlag);
  AsioDriverInfo info{};
  ASSERT_EQ(HostInit(&info), kAsioOk) << info.errorMessage;
  EXPECT_STREQ(info.name, "Desktop Audio Renderer");
  int32_t inputs = -1, outputs = -1;
  ASSERT_EQ(HostGetChannels(&inputs, &outputs), kAsioOk);
  EXPECT_EQ(inputs, 0);
  EXPECT_EQ(outputs, 2);
  EXPECT_EQ(HostExit(), kAsioOk);

  for (const char* wrong :
       {"corvane usb dac", "Corvane USB", "Corvane USB DAC ", "corvane", "PULSE\\corvane", ""}) {
    EXPECT_FALSE(Select(wrong)) << wrong;
    EXPECT_EQ(Entry().GetSelectedFlags(), 0) << wrong;
    EXPECT_EQ(HostInit(&info), kAsioNotPresent) << "nothing stays selected after " << wrong;
  }
  EXPECT_EQ(Entry().SelectWASAPIDevice(nullptr, 1), 0);

  // Each sink opens with its own channels; a mono sink gets a stereo stream
  // the server folds down.
  const std::vector<std::pair<std::string, int32_t>> channels = {
      {kUnicode, 2}, {"Mono Speaker", 2}, {"Surround", 6}, {kLongDescription, 2}};
  for (const auto& [name, expected] : channels) {
    ASSERT_TRUE(Select(name)) << name;
    ASSERT_EQ(HostInit(&info), kAsioOk) << name << ": " << info.errorMessage;
    ASSERT_EQ(HostGetChannels(&inputs, &outputs), kAsioOk);
    EXPECT_EQ(outputs, expected) << name;
    EXPECT_EQ(HostExit(), kAsioOk);
  }
}

TEST_F(RendererTest, TheOpenDeviceAnswersLikeAnAsioDriver) {
  ASSERT_TRUE(Select("Surround"));
  AsioDriverInfo info{};
  ASSERT_EQ(HostInit(&info), kAsioOk) << info.errorMessage;
  EXPECT_EQ(HostInit(&info), kAsioOk) << "a second init keeps the device";

  // Rates: every whole rate the server takes; the sink's own is the start.
  EXPECT_EQ(HostCanSampleRate(96000), kAsioOk);
  EXPECT_EQ(HostCanSampleRate(44100), kAsioOk);
  EXPECT_EQ(HostCanSampleRate(44100.5), kAsioNoClock);
  EXPECT_EQ(HostCanSampleRate(2822400), kAsioNoClock);
  EXPECT_EQ(HostCanSampleRate(0), kAsioNoClock);
  EXPECT_EQ(HostSetSampleRate(5644800), kAsioNoClock);
  double rate = 0;
  ASSERT_EQ(Entry().GetSampleRate(&rate), kAsioOk);
  EXPECT_EQ(rate, 96000);
  EXPECT_EQ(HostSetSampleRate(48000), kAsioOk);
  ASSERT_EQ(Entry().GetSampleRate(&rate), kAsioOk);
  EXPECT_EQ(rate, 48000);

  // PCM only.
  AsioIoFormat format{};
  format.formatType = kAsioFormatDsd;
  EXPECT_EQ(HostFuture(kAsioCanDoIoFormat, &format), kAsioNotPresent);
  EXPECT_EQ(HostFuture(kAsioSetIoFormat, &format), kAsioNotPresent);
  format.formatType = kAsioFormatPcm;
  EXPECT_EQ(HostFuture(kAsioCanDoIoFormat, &format), kAsioSuccess);
  EXPECT_EQ(HostFuture(kAsioSetIoFormat, &format), kAsioSuccess);
  format.formatType = -1;
  EXPECT_EQ(HostFuture(kAsioGetIoFormat, &format), kAsioSuccess);
  EXPECT_EQ(format.formatType, kAsioFormatPcm);
  EXPECT_EQ(HostFuture(kAsioCanDoIoFormat, nullptr), kAsioInvalidParameter);
  EXPECT_EQ(HostFuture(0x12345678, &format), kAsioInvalidParameter);

  int32_t minimum, maximum, preferred, granularity;
  ASSERT_EQ(HostGetBufferSize(&minimum, &maximum, &preferred, &granularity), kAsioOk);
  EXPECT_LE(minimum, preferred);
  EXPECT_GE(maximum, preferred);
  AsioChannelInfo channel{};
  ASSERT_EQ(HostGetChannelInfo(&channel), kAsioOk);
  EXPECT_EQ(channel.type, kAsioInt32Lsb);
  EXPECT_EQ(channel.isActive, kAsioFalse);
  EXPECT_STREQ(channel.name, "front-left");
  channel.channel = 6;
  EXPECT_EQ(HostGetChannelInfo(&channel), kAsioInvalidParameter);

  // Order of calls and buffer requests.
  EXPECT_EQ(HostStart(), kAsioInvalidMode);
  EXPECT_EQ(HostStop(), kAsioInvalidMode);
  EXPECT_EQ(HostDisposeBuffers(), kAsioInvalidMode);
  int64_t position = 0, timestamp = 0;
  EXPECT_EQ(HostGetSamplePosition(&position, &timestamp), kAsioSpNotAdvancing);
  AsioCallbacks callbacks{[](int32_t, AsioBool) {}, nullptr, nullptr, nullptr};
  const auto create = [&](std::vector<std::pair<int32_t, AsioBool>> wanted, int32_t size,
                          AsioCallbacks* with) {
    std::vector<AsioBufferInfo> buffers;
    for (const auto& [number, input] : wanted)
      buffers.push_back(AsioBufferInfo{input, number, {nullptr, nullptr}});
    return HostCreateBuffers(buffers.data(), static_cast<int32_t>(buffers.size()), size, with);
  };
  EXPECT_EQ(create({{0, kAsioFalse}, {6, kAsioFalse}}, preferred, &callbacks),
            kAsioInvalidParameter);
  EXPECT_EQ(create({{0, kAsioFalse}, {0, kAsioFalse}}, preferred, &callbacks),
            kAsioInvalidParameter);
  EXPECT_EQ(create({{0, kAsioTrue}}, preferred, &callbacks), kAsioInvalidParameter);
  EXPECT_EQ(create({{0, kAsioFalse}}, minimum - 1, &callbacks), kAsioInvalidParameter);
  EXPECT_EQ(create({{0, kAsioFalse}}, maximum + 1, &callbacks), kAsioInvalidParameter);
  EXPECT_EQ(create({{0, kAsioFalse}}, preferred, nullptr), kAsioInvalidParameter);
  ASSERT_EQ(create({{5, kAsioFalse}, {1, kAsioFalse}}, preferred, &callbacks), kAsioOk);
  EXPECT_EQ(create({{0, kAsioFalse}}, preferred, &callbacks), kAsioInvalidMode);
  channel.channel = 5;
  ASSERT_EQ(HostGetChannelInfo(&channel), kAsioOk);
  EXPECT_EQ(channel.isActive, kAsioTrue);
  EXPECT_EQ(HostDisposeBuffers(), kAsioOk);
  EXPECT_EQ(HostDisposeBuffers(), kAsioInvalidMode);

  // Closed: not present.
  EXPECT_EQ(HostExit(), kAsioOk);
  int32_t inputs, outputs;
  EXPECT_EQ(HostGetChannels(&inputs, &outputs), kAsioNotPresent);
  EXPECT_EQ(HostFuture(kAsioCanDoIoFormat, &format), kAsioNotPresent);
}

// Without a server every call fails as a missing device does; nothing starts
// a server on its own.
TEST(RendererWithoutServerTest, EveryCallAnswersNotPresent) {
  pulsetest::NoServer noServer;
  auto binding = pulsetest::LoadRenderer();
  const RendererEntryPoints& entry = binding->entry();
  ASSERT_TRUE(binding->IsLoaded());

  std::vector<WasapiDeviceRecord> records(kWasapiMaxDevices);
  int32_t count = -1;
  EXPECT_EQ(entry.EnumerateWASAPIDevices(records.data(), kWasapiMaxDevices, &count), 0);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(entry.SelectWASAPIDevice(u"Corvane USB DAC", 0x10001), 0);
  EXPECT_EQ(entry.GetSelectedFlags(), 0);
  EXPECT_EQ(HostGetSelectedFlags(), 0);

  AsioDriverInfo info{};
  EXPECT_EQ(HostInit(&info), kAsioNotPresent);
  EXPECT_STRNE(info.errorMessage, "");
  int32_t a = 0, b = 0, c = 0, d = 0;
  int64_t position = 0, timestamp = 0;
  double rate = 0;
  AsioChannelInfo channel{};
  AsioIoFormat format{};
  AsioBufferInfo buffer{kAsioFalse, 0, {nullptr, nullptr}};
  AsioCallbacks callbacks{[](int32_t, AsioBool) {}, nullptr, nullptr, nullptr};
  const std::vector<std::pair<const char*, std::function<AsioError()>>> calls = {
      {"Start", [] { return HostStart(); }},
      {"Stop", [] { return HostStop(); }},
      {"GetChannels", [&] { return HostGetChannels(&a, &b); }},
      {"GetLatencies", [&] { return HostGetLatencies(&a, &b); }},
      {"GetBufferSize", [&] { return HostGetBufferSize(&a, &b, &c, &d); }},
      {"CanSampleRate", [] { return HostCanSampleRate(44100); }},
      {"SetSampleRate", [] { return HostSetSampleRate(44100); }},
      {"GetSampleRate", [&] { return entry.GetSampleRate(&rate); }},
      {"GetSamplePosition", [&] { return HostGetSamplePosition(&position, &timestamp); }},
      {"GetChannelInfo", [&] { return HostGetChannelInfo(&channel); }},
      {"CreateBuffers", [&] { return HostCreateBuffers(&buffer, 1, 1024, &callbacks); }},
      {"DisposeBuffers", [] { return HostDisposeBuffers(); }},
      {"Future", [&] { return HostFuture(kAsioCanDoIoFormat, &format); }},
      {"OutputReady", [] { return HostOutputReady(); }},
      {"ControlPanel", [&] { return entry.ControlPanel(); }},
  };
  for (const auto& [name, call] : calls)
    EXPECT_EQ(call(), kAsioNotPresent) << name;
  EXPECT_EQ(HostExit(), kAsioOk);
}

// The list stops at 64 records, the first 64 in the server's order.
TEST(RendererCapTest, SeventySinksListTheFirstSixtyFour) {
  std::vector<NullSink> sinks;
  for (int i = 0; i < 70; ++i) {
    sinks.push_back(
        {"sink" + std::to_string(i), "device.description=\"Output " + std::to_string(i) + "\""});
  }
  PulseDaemon daemon(sinks);
  ASSERT_TRUE(daemon.IsRunning()) << daemon.Log();
  auto binding = pulsetest::LoadRenderer();

  std::vector<WasapiDeviceRecord> records(kWasapiMaxDevices + 6);
  int32_t count = -1;
  ASSERT_NE(binding->entry().EnumerateWASAPIDevices(records.data(), kWasapiMaxDevices + 6, &count),
            0);
  ASSERT_EQ(count, kWasapiMaxDevices);
  for (int32_t i = 0; i < count; ++i) {
    EXPECT_EQ(Utf8(records[i].name), "Output " + std::to_string(i));
    EXPECT_EQ(Utf8(records[i].hardwareId), "PULSE\\sink" + std::to_string(i));
  }
  EXPECT_EQ(records[kWasapiMaxDevices].name[0], u'\0');
  // Sinks past the list can still be selected by name.
  EXPECT_NE(binding->entry().SelectWASAPIDevice(u"Output 69", 1), 0);
}

}  // namespace
