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

#include "output/AsioDriverSupport.h"
#include "output/AsioHost.h"
#include "output/AsioWrapper.h"
#include "output/SamplePacking.h"
#include "output/SampleTypeConverters.h"
#include "tests/fixtures/SameElements.h"
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
  int overloads = 0;                   // kAsioOverload messages
  std::function<void()> duringSwitch;  // runs first in the next buffer switch
  // The bytes of fill `fill` of channel `channel` (unique noise when unset).
  std::function<Bytes(int fill, std::size_t channel)> pattern;
  std::mutex mutex;
  std::condition_variable filled;
};
TestHost* gHost = nullptr;

void BufferSwitch(int32_t half, AsioBool) {
  if (gHost->duringSwitch) std::exchange(gHost->duringSwitch, nullptr)();
  std::lock_guard lock(gHost->mutex);
  for (std::size_t c = 0; c < gHost->buffers.size(); ++c) {
    auto* out = static_cast<std::uint8_t*>(gHost->buffers[c].buffers[half]);
    const Bytes bytes = gHost->pattern
                            ? gHost->pattern(gHost->fills, c)
                            : fixtures::AudioPattern(gHost->halfBytes, 1000 * gHost->fills + c);
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
  if (selector == kAsioOverload) {
    std::lock_guard lock(gHost->mutex);
    ++gHost->overloads;
    return 1;
  }
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
  EXPECT_TRUE(fixtures::HoldsAt(free, 0, paced))
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

namespace {

// A pause stop keeps the half the host filled last and the device has not
// played: the next start plays it first and goes on from there. A plain
// stop, or disposeBuffers, forgets it: the next start begins at half 0.
TEST_F(VirtualDacTest, APauseStopResumesWithTheHalfTheHostFilledLast) {
  ASSERT_NO_FATAL_FAILURE(Open("Clock=manual\nBufferSize=64\n", 2));
  EXPECT_EQ(HostFuture(kQpFuturePauseOnStop, nullptr), kAsioInvalidMode) << "not running";
  ASSERT_EQ(HostStart(), kAsioOk);
  EXPECT_EQ(StepControl()(3), 3);  // the prefill, fills 0 and 1; fill 2 is due
  ASSERT_EQ(HostFuture(kQpFuturePauseOnStop, nullptr), kAsioSuccess);
  ASSERT_EQ(HostStop(), kAsioOk);
  EXPECT_EQ(StepControl()(1), 0);
  ASSERT_EQ(HostStart(), kAsioOk);
  EXPECT_EQ(StepControl()(2), 2);  // fills 2 and 3
  ASSERT_EQ(HostStop(), kAsioOk);  // a plain stop: fill 4 is dropped
  for (int c = 0; c < 2; ++c)
    EXPECT_EQ(Capture(c), Expected(c, 4)) << "channel " << c;
  const auto fill = [&](int c, int n) {
    return Bytes(host_.written[c].begin() + n * host_.halfBytes,
                 host_.written[c].begin() + (n + 1) * host_.halfBytes);
  };
  const auto lastHalf = [&](int c) {
    const Bytes capture = Capture(c);
    return Bytes(capture.end() - static_cast<std::ptrdiff_t>(host_.halfBytes), capture.end());
  };

  // After the plain stop the device begins at half 0 again, which still
  // holds fill 3.
  ASSERT_EQ(HostStart(), kAsioOk);
  EXPECT_EQ(StepControl()(1), 1);  // fill 5 goes to half 1
  EXPECT_EQ(lastHalf(0), fill(0, 3));
  // A pause, then a plain stop: forgotten.
  ASSERT_EQ(HostFuture(kQpFuturePauseOnStop, nullptr), kAsioSuccess);
  ASSERT_EQ(HostStop(), kAsioOk);
  ASSERT_EQ(HostStop(), kAsioOk);
  ASSERT_EQ(HostStart(), kAsioOk);
  EXPECT_EQ(StepControl()(1), 1);
  EXPECT_EQ(lastHalf(0), fill(0, 3)) << "half 0 again, not fill 5";
  // A pause, then new buffers: forgotten too.
  ASSERT_EQ(HostFuture(kQpFuturePauseOnStop, nullptr), kAsioSuccess);
  ASSERT_EQ(HostStop(), kAsioOk);
  ASSERT_EQ(HostDisposeBuffers(), kAsioOk);
  ASSERT_EQ(HostCreateBuffers(host_.buffers.data(), 2, 64, &gCallbacks), kAsioOk);
  for (auto& buffer : host_.buffers) {
    std::memset(buffer.buffers[0], 0xAA, host_.halfBytes);
    std::memset(buffer.buffers[1], 0xBB, host_.halfBytes);
  }
  ASSERT_EQ(HostStart(), kAsioOk);
  EXPECT_EQ(StepControl()(1), 1);
  EXPECT_EQ(lastHalf(1), Bytes(host_.halfBytes, 0xAA));
  ASSERT_EQ(HostStop(), kAsioOk);
  EXPECT_EQ(HostDisposeBuffers(), kAsioOk);
}

// DoP idle words as an Int32LSB device takes them, from `phase`.
Bytes DopIdleWords(std::size_t count, std::uint32_t phase) {
  Bytes out;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t marker = ((phase + i) & 1) == 0 ? 0x05 : 0xFA;
    out.insert(out.end(), {0x00, 0x96, 0x96, marker});
  }
  return out;
}

// Every third period the device runs dry: it tells the host
// (kAsioOverload) and plays a half of its own idle signal before the half
// due. Told a DoP stream, that half is DoP idle words carrying on the
// markers of what it played; told plain PCM, zeros.
TEST_F(VirtualDacTest, AHalfThatRanDryCarriesOnTheDopMarkers) {
  ASSERT_NO_FATAL_FAILURE(Open("Clock=manual\nBufferSize=64\nUnderrunEvery=3\n", 2));
  EXPECT_EQ(HostFuture(kQpFutureDopStream, nullptr), kAsioInvalidParameter);
  // The host's DoP stream: 64 words a half with markers by their place.
  host_.pattern = [](int fill, std::size_t channel) {
    const Bytes noise = fixtures::AudioPattern(64 * 2, 77 * fill + static_cast<int>(channel));
    Bytes out;
    for (std::size_t i = 0; i < 64; ++i)
      out.insert(out.end(), {0x00, noise[2 * i + 1], noise[2 * i],
                             i % 2 == 0 ? std::uint8_t{0x05} : std::uint8_t{0xFA}});
    return out;
  };
  for (auto& buffer : host_.buffers) {
    for (void* half : buffer.buffers)
      std::memcpy(half, DopIdleWords(64, 0).data(), host_.halfBytes);
  }
  int32_t dop = 1;
  ASSERT_EQ(HostFuture(kQpFutureDopStream, &dop), kAsioSuccess);
  ASSERT_EQ(HostStart(), kAsioOk);
  EXPECT_EQ(StepControl()(6), 6);
  ASSERT_EQ(HostStop(), kAsioOk);
  EXPECT_EQ(host_.overloads, 2);
  const auto fill = [&](int c, int n) {
    return Bytes(host_.written[c].begin() + n * host_.halfBytes,
                 host_.written[c].begin() + (n + 1) * host_.halfBytes);
  };
  for (int c = 0; c < 2; ++c) {
    SCOPED_TRACE(c);
    // Periods: the prefill, fill 0, dry + fill 1, fill 2, fill 3, dry + fill 4.
    Bytes expected = DopIdleWords(64, 0);
    for (const Bytes& part : {fill(c, 0), DopIdleWords(64, 0), fill(c, 1), fill(c, 2), fill(c, 3),
                              DopIdleWords(64, 0), fill(c, 4)}) {
      expected.insert(expected.end(), part.begin(), part.end());
    }
    EXPECT_EQ(Capture(c), expected);
  }

  // Plain PCM: the device's own idle half is zeros.
  dop = 0;
  ASSERT_EQ(HostFuture(kQpFutureDopStream, &dop), kAsioSuccess);
  const std::size_t before = Capture(0).size();
  ASSERT_EQ(HostStart(), kAsioOk);
  EXPECT_EQ(StepControl()(3), 3);
  ASSERT_EQ(HostStop(), kAsioOk);
  const Bytes capture = Capture(0);
  ASSERT_EQ(capture.size(), before + 4 * host_.halfBytes);
  EXPECT_EQ(Bytes(capture.begin() + static_cast<std::ptrdiff_t>(before + 2 * host_.halfBytes),
                  capture.begin() + static_cast<std::ptrdiff_t>(before + 3 * host_.halfBytes)),
            Bytes(host_.halfBytes, 0));
  EXPECT_EQ(host_.overloads, 3);
  EXPECT_EQ(HostDisposeBuffers(), kAsioOk);
}

// A notice is given once in the process: to the first asking, and to no
// later one, on this instance or another.
TEST_F(VirtualDacTest, ANoticeIsGivenOnceInTheProcess) {
  static int run = 0;  // a text of this run's own
  const std::string notice = "Virtual DAC test notice " + std::to_string(++run);
  ASSERT_NO_FATAL_FAILURE(Open("Clock=manual\nNotice=" + notice + "\n", 2));
  EXPECT_EQ(HostFuture(kQpFutureNotice, nullptr), kAsioInvalidParameter);
  char text[124] = {};
  ASSERT_EQ(HostFuture(kQpFutureNotice, text), kAsioSuccess);
  EXPECT_EQ(std::string(text), notice);
  EXPECT_EQ(HostFuture(kQpFutureNotice, text), kAsioInvalidMode);
  ReleaseAsioDrivers();
  ASSERT_NO_FATAL_FAILURE(Open("Clock=manual\nNotice=" + notice + "\n", 2));
  EXPECT_EQ(HostFuture(kQpFutureNotice, text), kAsioInvalidMode);
  ReleaseAsioDrivers();
  ASSERT_NO_FATAL_FAILURE(Open("Clock=manual\n", 2));
  EXPECT_EQ(HostFuture(kQpFutureNotice, text), kAsioInvalidMode) << "no notice set";
}

// What the DAC says when it is set to refuse, through init's error message
// or, once it is the current driver, HostGetErrorMessage.
TEST_F(VirtualDacTest, ARefusalIsExplainedInTheDriversOwnWords) {
  registry_.Add("dac.ini", "Virtual", kClassA, kVirtualDac,
                "RefuseInit=1\nErrorMessage=Busy: another program holds the DAC\n");
  ASSERT_TRUE(LoadDriverByName(L"Virtual"));
  AsioDriverInfo info{};
  EXPECT_EQ(HostInit(&info), kAsioNotPresent);
  EXPECT_STREQ(info.errorMessage, "Busy: another program holds the DAC");
  char text[124] = "x";
  EXPECT_EQ(HostGetErrorMessage(text), kAsioNotPresent) << "no current driver after the refusal";
  EXPECT_STREQ(text, "");
  ReleaseAsioDrivers();

  registry_.Add("dac.ini", "Virtual", kClassA, kVirtualDac, "RefuseBuffers=1\n");
  ASSERT_TRUE(LoadDriverByName(L"Virtual"));
  ASSERT_EQ(HostInit(&info), kAsioOk);
  AsioBufferInfo buffers[1] = {AsioBufferInfo{kAsioFalse, 0, {}}};
  EXPECT_EQ(HostCreateBuffers(buffers, 1, 512, &gCallbacks), kAsioHwMalfunction);
  ASSERT_EQ(HostGetErrorMessage(text), kAsioOk);
  EXPECT_STREQ(text, "The virtual DAC is set to refuse buffers");
  ReleaseAsioDrivers();

  registry_.Add("dac.ini", "Virtual", kClassA, kVirtualDac, "");
  ASSERT_TRUE(LoadDriverByName(L"Virtual"));
  ASSERT_EQ(HostInit(&info), kAsioOk);
  ASSERT_EQ(HostGetErrorMessage(text), kAsioOk);
  EXPECT_STREQ(text, "No error");
}

// The driver side's DoP idle samples are the bytes the host's converters
// write for DoP idle words, in every sample type DoP travels in.
TEST(DopDriverSupportTest, IdleSamplesAreWhatTheHostsConvertersWrite) {
  for (const auto& converter : output::SampleTypeConverters()) {
    SCOPED_TRACE(converter.name);
    const int32_t type = converter.type;
    const bool carries = type == kAsioInt32Lsb || type == kAsioInt24Lsb ||
                         type == kAsioInt32Lsb24 || type == kAsioInt32Msb ||
                         type == kAsioInt24Msb || type == kAsioInt32Msb24;
    EXPECT_EQ(DopMarkerOffset(type) >= 0, carries);
    for (std::uint32_t phase : {0u, 1u}) {
      std::uint8_t ours[8] = {}, host[8] = {};
      EXPECT_EQ(WriteDopIdleSample(type, phase, ours), carries);
      if (!carries) continue;
      const std::uint32_t word = output::DopSilence(phase);
      const std::uint32_t bytes = converter.write(host, &word);
      EXPECT_EQ(Bytes(ours, ours + bytes), Bytes(host, host + bytes));
      EXPECT_EQ(ours[DopMarkerOffset(type)], phase == 0 ? 0x05 : 0xFA);
      EXPECT_EQ(DopPhaseAfter(type, ours), 1 - phase);
    }
  }
}

}  // namespace
