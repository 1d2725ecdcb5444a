#include <dlfcn.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

#include "output/AsioHost.h"
#include "output/AsioWrapper.h"
#include "tests/output/AsioTestSupport.h"

namespace {

using asiotest::DriverRegistry;
using asiotest::kClassA;
using asiotest::kVirtualDac;
using fixtures::Bytes;

// The host side of a test: fills each half it is handed with bytes no other
// half carries, and keeps what it wrote per channel.
struct TestHost {
  std::vector<AsioBufferInfo> buffers;
  std::size_t halfBytes = 0;
  std::vector<Bytes> written;
  std::vector<int64_t> positions;
  int fills = 0;
  std::function<void()> duringSwitch;  // runs first in the next buffer switch
  std::mutex mutex;
  std::condition_variable filled;
};
TestHost* gHost = nullptr;

void BufferSwitch(int32_t half, AsioBool) {
  if (gHost->duringSwitch) std::exchange(gHost->duringSwitch, nullptr)();
  std::lock_guard lock(gHost->mutex);
  for (std::size_t c = 0; c < gHost->buffers.size(); ++c) {
    auto* out = static_cast<std::uint8_t*>(gHost->buffers[c].buffers[half]);
    const Bytes bytes = fixtures::AudioPattern(gHost->halfBytes, 1000 * gHost->fills + c);
    std::memcpy(out, bytes.data(), bytes.size());
    gHost->written[c].insert(gHost->written[c].end(), bytes.begin(), bytes.end());
  }
  ++gHost->fills;
  HostOutputReady();
  gHost->filled.notify_all();
}

AsioTime* BufferSwitchTimeInfo(AsioTime* time, int32_t half, AsioBool direct) {
  {
    std::lock_guard lock(gHost->mutex);
    gHost->positions.push_back(time->timeInfo.samplePosition);
  }
  BufferSwitch(half, direct);
  return time;
}

int32_t Message(int32_t selector, int32_t, void*, double*) {
  return selector == kAsioSupportsTimeInfo ? 1 : 0;
}

AsioCallbacks gCallbacks = {BufferSwitch, [](AsioSampleRate) {}, Message, BufferSwitchTimeInfo};

class VirtualDacTest : public ::testing::Test {
 protected:
  void SetUp() override { gHost = &host_; }
  void TearDown() override {
    ReleaseAsioDrivers();
    gHost = nullptr;
  }

  // Loads and initialises the DAC with these settings, then creates buffers
  // for `channels` outputs, each half prefilled with 0xEE.
  void Open(const std::string& settings, int32_t channels) {
    registry_.Add("dac.ini", "Virtual", kClassA, kVirtualDac,
                  settings + "Capture=" + registry_.File("cap") + "\n");
    ASSERT_TRUE(LoadDriverByName(L"Virtual"));
    AsioDriverInfo info{};
    ASSERT_EQ(HostInit(&info), kAsioOk);
    EXPECT_STREQ(info.name, "Virtual DAC");
    EXPECT_STREQ(info.errorMessage, "No ASIO Driver Error");
    int32_t minimum, maximum, preferred, granularity;
    ASSERT_EQ(HostGetBufferSize(&minimum, &maximum, &preferred, &granularity), kAsioOk);
    host_.buffers.assign(channels, AsioBufferInfo{});
    for (int32_t c = 0; c < channels; ++c)
      host_.buffers[c].channelNum = c;
    ASSERT_EQ(HostCreateBuffers(host_.buffers.data(), channels, preferred, &gCallbacks), kAsioOk);
    AsioChannelInfo channel{};
    ASSERT_EQ(HostGetChannelInfo(&channel), kAsioOk);
    host_.halfBytes = static_cast<std::size_t>(preferred) * AsioSampleTypeBits(channel.type) / 8;
    host_.written.assign(channels, Bytes());
    for (auto& buffer : host_.buffers) {
      std::memset(buffer.buffers[0], 0xEE, host_.halfBytes);
      std::memset(buffer.buffers[1], 0xEE, host_.halfBytes);
    }
  }

  Bytes Capture(int channel) {
    return fixtures::ReadFile(registry_.File("cap") + "." + std::to_string(channel) + ".raw");
  }

  // What a channel should have played: the prefilled half, then the fills.
  Bytes Expected(int channel, int fills) {
    Bytes out(host_.halfBytes, 0xEE);
    out.insert(out.end(), host_.written[channel].begin(),
               host_.written[channel].begin() + fills * host_.halfBytes);
    return out;
  }

  DriverRegistry registry_;
  std::shared_ptr<CAsioWrapperImpl> binding_ = CAsioWrapperImpl::Create(L"/nonexistent");
  TestHost host_;
};

using StepFn = int32_t (*)(int32_t);
StepFn StepControl() {
  static void* module = dlopen(QP_VIRTUAL_DAC_LIB, RTLD_NOW | RTLD_LOCAL);
  return module ? reinterpret_cast<StepFn>(dlsym(module, "QP_VirtualDac_Step")) : nullptr;
}

TEST_F(VirtualDacTest, ManualClockPlaysEveryHalfTheHostFilledInOrder) {
  ASSERT_NO_FATAL_FAILURE(Open("Clock=manual\nChannels=3\nBufferSize=64\n", 3));
  int32_t inputs = -1, outputs = -1;
  EXPECT_EQ(HostGetChannels(&inputs, &outputs), kAsioOk);
  EXPECT_EQ(inputs, 0);
  EXPECT_EQ(outputs, 3);
  EXPECT_EQ(HostSetSampleRate(12345), kAsioNoClock);
  EXPECT_EQ(HostCanSampleRate(48000), kAsioOk);
  EXPECT_EQ(HostSetSampleRate(48000), kAsioOk);
  EXPECT_EQ(HostCreateBuffers(host_.buffers.data(), 3, 64, &gCallbacks), kAsioInvalidMode);
  AsioChannelInfo channel{};
  channel.channel = 5;
  EXPECT_EQ(HostGetChannelInfo(&channel), kAsioInvalidParameter);
  channel.channel = 2;
  ASSERT_EQ(HostGetChannelInfo(&channel), kAsioOk);
  EXPECT_EQ(channel.type, kAsioInt32Lsb);
  EXPECT_EQ(channel.isActive, kAsioTrue);
  EXPECT_EQ(HostOutputReady(), kAsioOk);

  ASSERT_NE(StepControl(), nullptr);
  EXPECT_EQ(StepControl()(1), 0);  // not running yet
  ASSERT_EQ(HostStart(), kAsioOk);
  EXPECT_EQ(HostStart(), kAsioInvalidMode);
  EXPECT_EQ(StepControl()(5), 5);
  int64_t position = 0, timestamp = 0;
  EXPECT_EQ(HostGetSamplePosition(&position, &timestamp), kAsioOk);
  EXPECT_EQ(position, 5 * 64);
  ASSERT_EQ(HostStop(), kAsioOk);
  EXPECT_EQ(StepControl()(1), 0);
  EXPECT_EQ(HostDisposeBuffers(), kAsioOk);
  EXPECT_EQ(HostDisposeBuffers(), kAsioInvalidMode);
  EXPECT_EQ(HostExit(), kAsioOk);

  EXPECT_EQ(host_.fills, 5);
  EXPECT_EQ(host_.positions, (std::vector<int64_t>{64, 128, 192, 256, 320}));
  // Each step plays the half due and hands the other to the host: the
  // prefilled half first, then the fills in order; the last fill is not
  // played yet when the device stops.
  for (int c = 0; c < 3; ++c)
    EXPECT_EQ(Capture(c), Expected(c, 4)) << "channel " << c;
  const Bytes log = fixtures::ReadFile(registry_.File("cap.log"));
  EXPECT_EQ(std::string(log.begin(), log.end()),
            "start rate=48000 format=pcm type=18 buffer=64 channels=3\n");
}

TEST_F(VirtualDacTest, TheDsdFormatSwitchChangesRatesAndSampleType) {
  registry_.Add("dac.ini", "Virtual", kClassA, kVirtualDac, "Clock=manual\n");
  ASSERT_TRUE(LoadDriverByName(L"Virtual"));
  AsioDriverInfo info{};
  ASSERT_EQ(HostInit(&info), kAsioOk);
  AsioIoFormat format{};
  format.formatType = kAsioFormatDsd;
  EXPECT_EQ(HostCanSampleRate(2822400), kAsioNoClock);
  EXPECT_EQ(HostFuture(kAsioCanDoIoFormat, &format), kAsioSuccess);
  EXPECT_EQ(HostFuture(kAsioSetIoFormat, &format), kAsioSuccess);
  EXPECT_EQ(HostCanSampleRate(2822400), kAsioOk);
  EXPECT_EQ(HostCanSampleRate(44100), kAsioNoClock);
  EXPECT_EQ(HostFuture(0x12345678, &format), kAsioInvalidParameter);
  AsioChannelInfo channel{};
  ASSERT_EQ(HostGetChannelInfo(&channel), kAsioOk);
  EXPECT_EQ(channel.type, kAsioDsdInt8Msb1);
  int32_t minimum, maximum, preferred, granularity;
  ASSERT_EQ(HostGetBufferSize(&minimum, &maximum, &preferred, &granularity), kAsioOk);
  EXPECT_EQ(preferred, 4096);

  // No DSD rates configured: no DSD format.
  ReleaseAsioDrivers();
  registry_.Add("dac.ini", "Virtual", kClassA, kVirtualDac, "DsdRates=\n");
  ASSERT_TRUE(LoadDriverByName(L"Virtual"));
  ASSERT_EQ(HostInit(&info), kAsioOk);
  EXPECT_EQ(HostFuture(kAsioCanDoIoFormat, &format), kAsioNotPresent);
}

TEST_F(VirtualDacTest, ASteadyClockRunsTheBufferSwitchesByItself) {
  ASSERT_NO_FATAL_FAILURE(Open("BufferSize=128\n", 2));
  ASSERT_EQ(HostStart(), kAsioOk);
  {
    std::unique_lock lock(host_.mutex);
    ASSERT_TRUE(
        host_.filled.wait_for(lock, std::chrono::seconds(10), [&] { return host_.fills >= 8; }));
  }
  ASSERT_EQ(HostStop(), kAsioOk);
  const int fills = host_.fills;
  EXPECT_EQ(Capture(0), Expected(0, fills - 1));
  EXPECT_EQ(Capture(1), Expected(1, fills - 1));
  EXPECT_EQ(HostDisposeBuffers(), kAsioOk);
}

// Each buffer switch follows the one before at once: the same device, the
// same capture of every half the host filled, only without the pacing.
TEST_F(VirtualDacTest, AFreeClockPlaysWhatAPacedOneDoesAsFastAsTheHostFills) {
  ASSERT_NO_FATAL_FAILURE(Open("Clock=real\nBufferSize=128\n", 2));
  ASSERT_EQ(HostStart(), kAsioOk);
  {
    std::unique_lock lock(host_.mutex);
    ASSERT_TRUE(
        host_.filled.wait_for(lock, std::chrono::seconds(10), [&] { return host_.fills >= 4; }));
  }
  ASSERT_EQ(HostStop(), kAsioOk);
  EXPECT_EQ(HostDisposeBuffers(), kAsioOk);
  ReleaseAsioDrivers();
  const Bytes paced = Capture(0);
  ASSERT_EQ(paced, Expected(0, host_.fills - 1));
  std::remove((registry_.File("cap") + ".0.raw").c_str());
  std::remove((registry_.File("cap") + ".1.raw").c_str());

  host_.buffers.clear();
  host_.written.clear();
  host_.positions.clear();
  host_.fills = 0;
  ASSERT_NO_FATAL_FAILURE(Open("Clock=free\nBufferSize=128\n", 2));
  ASSERT_EQ(HostStart(), kAsioOk);
  {
    std::unique_lock lock(host_.mutex);
    ASSERT_TRUE(
        host_.filled.wait_for(lock, std::chrono::seconds(10), [&] { return host_.fills >= 2000; }));
  }
  ASSERT_EQ(HostStop(), kAsioOk);
  const int fills = host_.fills;
  for (int c = 0; c < 2; ++c)
    EXPECT_EQ(Capture(c), Expected(c, fills - 1)) << "channel " << c;
  const Bytes free = Capture(0);
  EXPECT_TRUE(std::equal(paced.begin(), paced.end(), free.begin()))
      << "the free run begins with what the paced one played";
  // The time information counts the halves played, as with a paced clock.
  for (std::size_t i = 0; i < host_.positions.size(); ++i)
    ASSERT_EQ(host_.positions[i], static_cast<int64_t>(i + 1) * 128) << i;
  EXPECT_EQ(HostDisposeBuffers(), kAsioOk);
}

// A drain stop plays the half the host filled last (a plain stop drops it);
// the request lasts only until that stop.
TEST_F(VirtualDacTest, ADrainStopPlaysTheHalfTheHostFilledLast) {
  ASSERT_NO_FATAL_FAILURE(Open("Clock=manual\nBufferSize=64\n", 2));
  EXPECT_EQ(HostFuture(kQpFutureDrainOnStop, nullptr), kAsioInvalidMode) << "not running";
  ASSERT_EQ(HostStart(), kAsioOk);
  EXPECT_EQ(StepControl()(5), 5);
  ASSERT_EQ(HostFuture(kQpFutureDrainOnStop, nullptr), kAsioSuccess);
  ASSERT_EQ(HostStop(), kAsioOk);
  for (int c = 0; c < 2; ++c)
    EXPECT_EQ(Capture(c), Expected(c, 5)) << "channel " << c;

  // Started again, three steps play three halves: a plain stop drops the
  // fill of the last one.
  ASSERT_EQ(HostStart(), kAsioOk);
  EXPECT_EQ(StepControl()(3), 3);
  ASSERT_EQ(HostStop(), kAsioOk);
  EXPECT_EQ(Capture(0).size(), (5 + 1 + 3) * host_.halfBytes);
  EXPECT_EQ(HostDisposeBuffers(), kAsioOk);
}

}  // namespace

namespace {

TEST_F(VirtualDacTest, ADeviceReleasedDuringAManualStepGoesOnlyWhenTheStepEnds) {
  ASSERT_NO_FATAL_FAILURE(Open("Clock=manual\nBufferSize=64\n", 2));
  ASSERT_EQ(HostStart(), kAsioOk);
  std::mutex mutex;
  std::condition_variable released;
  bool done = false;
  bool releasedWithinTheSwitch = true;
  std::thread releaser;
  host_.duringSwitch = [&] {
    host_.buffers.clear();  // the buffers go with the device: fill nothing
    releaser = std::thread([&] {
      ReleaseAsioDrivers();
      std::lock_guard lock(mutex);
      done = true;
      released.notify_all();
    });
    // The release must wait for this switch; give it every chance to overtake.
    std::unique_lock lock(mutex);
    releasedWithinTheSwitch =
        released.wait_for(lock, std::chrono::milliseconds(200), [&] { return done; });
  };
  EXPECT_EQ(StepControl()(1), 1);
  releaser.join();
  EXPECT_FALSE(releasedWithinTheSwitch);
  EXPECT_TRUE(done);
  EXPECT_EQ(StepControl()(1), 0) << "no device is left to step";
}

}  // namespace
