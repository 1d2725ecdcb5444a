// The ALSA driver through the host API, on ALSA devices defined by a private
// ALSA configuration: the `file` PCM over `null` (takes everything, records
// exactly the bytes written) and the test PCM type "qptest" (formats, rates
// and channels from its configuration, records what it receives, can refuse
// to open, vanish or underrun).
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <functional>
#include <mutex>

#include "output/AsioDriverList.h"
#include "output/AsioHost.h"
#include "output/AsioWrapper.h"
#include "output/SamplePacking.h"
#include "tests/fixtures/SameElements.h"
#include "tests/output/AsioTestSupport.h"

namespace {

using asiotest::DriverRegistry;
using asiotest::kClassA;
using fixtures::Bytes;

const std::string kAlsaDriver = QP_ALSA_DRIVER_LIB;
// The tests define their devices anew for every case, so a driver closes
// its PCM when it goes, unless a test asks otherwise (a later line wins).
const std::string kFreshOpens = "KeepOpen=0\n";

// The host side: fills each half it is handed with bytes no other half
// carries and keeps them per channel. Having filled `limit` halves it stops
// the device from inside that buffer switch, so the device never gets the
// last fill and a run's recording is exactly known; as a drain stop
// (`drainAtLimit`), the device gets the last fill and then an idle half.
struct TestHost {
  std::vector<AsioBufferInfo> buffers;
  std::size_t halfBytes = 0;
  int limit = 0;
  bool drainAtLimit = false;
  std::function<Bytes(std::size_t channel, int fill)> content;
  std::vector<Bytes> written;  // per channel, the fills in order
  std::vector<int32_t> halves;
  std::vector<int64_t> positions;
  int fills = 0;
  bool stopped = false;
  int lateSwitches = 0;  // buffer switches after the stop
  int resetRequests = 0;
  int overloads = 0;  // underruns the device told of
  std::mutex mutex;
  std::condition_variable changed;
};
TestHost* gHost = nullptr;

void BufferSwitch(int32_t half, AsioBool) {
  std::unique_lock lock(gHost->mutex);
  if (gHost->stopped) {
    ++gHost->lateSwitches;
    return;
  }
  ++gHost->fills;
  for (std::size_t c = 0; c < gHost->buffers.size(); ++c) {
    const Bytes bytes = gHost->content(c, gHost->fills);
    std::memcpy(gHost->buffers[c].buffers[half], bytes.data(), bytes.size());
    gHost->written[c].insert(gHost->written[c].end(), bytes.begin(), bytes.end());
  }
  gHost->halves.push_back(half);
  if (gHost->fills == gHost->limit) {
    if (gHost->drainAtLimit) {
      EXPECT_EQ(HostFuture(kQpFutureDrainOnStop, nullptr), kAsioSuccess);
    }
    EXPECT_EQ(HostStop(), kAsioOk);
    gHost->stopped = true;
  }
  gHost->changed.notify_all();
}

AsioTime* BufferSwitchTimeInfo(AsioTime* time, int32_t half, AsioBool direct) {
  {
    std::lock_guard lock(gHost->mutex);
    if (!gHost->stopped) gHost->positions.push_back(time->timeInfo.samplePosition);
  }
  BufferSwitch(half, direct);
  return time;
}

int32_t Message(int32_t selector, int32_t, void*, double*) {
  if (selector == kAsioResetRequest) {
    std::lock_guard lock(gHost->mutex);
    ++gHost->resetRequests;
    gHost->changed.notify_all();
    return 1;
  }
  if (selector == kAsioOverload) {
    std::lock_guard lock(gHost->mutex);
    ++gHost->overloads;
    return 1;
  }
  return selector == kAsioSupportsTimeInfo ? 1 : 0;
}

AsioCallbacks gCallbacks = {BufferSwitch, [](AsioSampleRate) {}, Message, BufferSwitchTimeInfo};

// A qptest device definition.
std::string TestPcm(const std::string& formats, const std::string& rates,
                    const std::string& channels, const std::string& extra = "") {
  return "type qptest formats \"" + formats + "\" rates \"" + rates + "\" channels \"" + channels +
         "\" " + extra;
}

// How one stream is opened: in the output engine's order (buffer size asked
// before the I/O-format switch) or with the size asked after it.
struct StreamRequest {
  std::string device = "dac";
  std::string settings;
  int32_t ioFormat = kAsioFormatPcm;
  double rate = 44100;
  std::vector<int32_t> channels = {0, 1};
  bool sizeAfterSwitch = false;
};

class AlsaDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gHost = &host_;
    std::filesystem::create_directories(registry_.File("proc"));
    setenv("QP_PROC_ASOUND", registry_.File("proc").c_str(), 1);
    WriteAlsaConfig({});
  }
  void TearDown() override {
    ReleaseAsioDrivers();
    gHost = nullptr;
    unsetenv("ALSA_CONFIG_PATH");
    unsetenv("QP_PROC_ASOUND");
  }

  // The test's whole ALSA configuration: the qptest type, "dac" (a file PCM
  // recording to dac.raw), "hw" (card N a qptest device recording to
  // cardN.raw, a file it creates when opened), and `pcms`
  // (name, definition) recording to <name>.raw with hw_params in <name>.log.
  void WriteAlsaConfig(const std::vector<std::pair<std::string, std::string>>& pcms) {
    std::string text = "pcm_type.qptest { lib \"" QP_TEST_ALSA_PCM_LIB "\" }\n";
    text += "pcm.dac { type file slave.pcm { type null } format \"raw\" file \"" +
            registry_.File("dac.raw") + "\" }\n";
    text +=
        "pcm.hw { @args [ CARD DEV ] @args.CARD { type string } @args.DEV { type integer "
        "default 0 }\n  type qptest formats \"S32_LE\" rates \"44100\" channels \"2\"\n  "
        "record { @func concat strings [ \"" +
        registry_.File("card") + "\" $CARD \".raw\" ] } }\n";
    for (const auto& [name, definition] : pcms) {
      text += "pcm." + name + " { " + definition + " record \"" + registry_.File(name + ".raw") +
              "\" played \"" + registry_.File(name + ".played") + "\" log \"" +
              registry_.File(name + ".log") + "\" }\n";
    }
    fixtures::WriteFile(registry_.File("asound.conf"), Bytes(text.begin(), text.end()));
    setenv("ALSA_CONFIG_PATH", registry_.File("asound.conf").c_str(), 1);
  }

  void AddCard(int card, const std::string& id, const std::string& usbid) {
    const std::string folder = registry_.File("proc/card" + std::to_string(card));
    std::filesystem::create_directories(folder);
    fixtures::WriteFile(folder + "/id", Bytes(id.begin(), id.end()));
    if (!usbid.empty()) fixtures::WriteFile(folder + "/usbid", Bytes(usbid.begin(), usbid.end()));
  }

  // Loads the driver for `device`; the init result, and its error message.
  AsioError Init(const std::string& device, const std::string& settings = "",
                 std::string* message = nullptr) {
    registry_.Add("alsa.ini", "ALSA DAC", kClassA, kAlsaDriver,
                  "Device=" + device + "\nDriverName=Test ALSA\n" + kFreshOpens + settings);
    EXPECT_TRUE(LoadDriverByName(L"ALSA DAC"));
    AsioDriverInfo info{};
    const AsioError result = HostInit(&info);
    if (message != nullptr) *message = info.errorMessage;
    if (result == kAsioOk) {
      EXPECT_STREQ(info.name, "Test ALSA");
    }
    return result;
  }

  // Opens a stream as the output engine does and prefills half p of
  // channel c with 0xE0 + 2c + p.
  void Open(const StreamRequest& stream) {
    ASSERT_EQ(Init(stream.device, stream.settings), kAsioOk);
    int32_t inputs = -1, outputs = -1;
    ASSERT_EQ(HostGetChannels(&inputs, &outputs), kAsioOk);
    int32_t minimum, maximum, preferred, granularity;
    ASSERT_EQ(HostGetBufferSize(&minimum, &maximum, &preferred, &granularity), kAsioOk);
    ASSERT_EQ(HostOutputReady(), kAsioOk);
    AsioIoFormat format{};
    format.formatType = stream.ioFormat;
    ASSERT_EQ(HostFuture(kAsioCanDoIoFormat, &format), kAsioSuccess);
    ASSERT_EQ(HostFuture(kAsioSetIoFormat, &format), kAsioSuccess);
    ASSERT_EQ(HostCanSampleRate(stream.rate), kAsioOk);
    ASSERT_EQ(HostSetSampleRate(stream.rate), kAsioOk);
    if (stream.sizeAfterSwitch) {
      ASSERT_EQ(HostGetBufferSize(&minimum, &maximum, &preferred, &granularity), kAsioOk);
    }
    bufferSize_ = preferred;
    deviceChannels_ = outputs;
    host_.buffers.assign(stream.channels.size(), AsioBufferInfo{});
    for (std::size_t i = 0; i < stream.channels.size(); ++i)
      host_.buffers[i].channelNum = stream.channels[i];
    ASSERT_EQ(HostCreateBuffers(host_.buffers.data(), static_cast<int32_t>(host_.buffers.size()),
                                preferred, &gCallbacks),
              kAsioOk);
    AsioChannelInfo channel{};
    channel.channel = stream.channels.front();
    ASSERT_EQ(HostGetChannelInfo(&channel), kAsioOk);
    EXPECT_EQ(channel.isActive, kAsioTrue);
    sampleType_ = channel.type;
    host_.halfBytes = static_cast<std::size_t>(preferred) * AsioSampleTypeBits(channel.type) / 8;
    hostChannels_ = stream.channels;
    int32_t inputLatency, outputLatency;
    ASSERT_EQ(HostGetLatencies(&inputLatency, &outputLatency), kAsioOk);
    EXPECT_GT(outputLatency, preferred);
    latency_ = outputLatency;
    Prefill(0xE0);
  }

  void Prefill(uint8_t base) {
    prefill_.clear();
    for (std::size_t c = 0; c < host_.buffers.size(); ++c) {
      for (int half = 0; half < 2; ++half)
        std::memset(host_.buffers[c].buffers[half], base + 2 * c + half, host_.halfBytes);
      prefill_.push_back(Bytes(host_.halfBytes, static_cast<uint8_t>(base + 2 * c)));
    }
  }

  // Runs the device until the host has filled `fills` more halves.
  void Run(int fills) {
    {
      std::lock_guard lock(host_.mutex);
      host_.limit = host_.fills + fills;
      host_.stopped = false;
      if (!host_.content) {
        host_.content = [this](std::size_t channel, int fill) {
          return fixtures::AudioPattern(host_.halfBytes, 1000 * fill + channel);
        };
      }
      host_.written.resize(host_.buffers.size());
    }
    ASSERT_EQ(HostStart(), kAsioOk);
    {
      std::unique_lock lock(host_.mutex);
      ASSERT_TRUE(
          host_.changed.wait_for(lock, std::chrono::seconds(10), [&] { return host_.stopped; }));
    }
    ASSERT_EQ(HostStop(), kAsioOk);  // joins the writer
    EXPECT_EQ(host_.lateSwitches, 0);
  }

  // Starts the device with a host that fills halves on and on (stopping it
  // is the test's) and waits until it has filled `fills` in all.
  void StartUntil(int fills) {
    {
      std::lock_guard lock(host_.mutex);
      host_.limit = 1000;
      host_.stopped = false;
      host_.written.resize(host_.buffers.size());
      host_.content = [this](std::size_t channel, int fill) {
        return fixtures::AudioPattern(host_.halfBytes, 1000 * fill + channel);
      };
    }
    ASSERT_EQ(HostStart(), kAsioOk);
    std::unique_lock lock(host_.mutex);
    ASSERT_TRUE(host_.changed.wait_for(lock, std::chrono::seconds(10),
                                       [&] { return host_.fills >= fills; }));
  }

  // One half as the device gets it: the channels interleaved in groups of
  // `group` bytes; device channels without a host buffer carry `silence`.
  Bytes Interleaved(const std::vector<Bytes>& channelHalves, std::size_t group,
                    uint8_t silence) const {
    const std::size_t frames = host_.halfBytes / group;
    Bytes out;
    for (std::size_t frame = 0; frame < frames; ++frame) {
      for (int32_t device = 0; device < deviceChannels_; ++device) {
        const auto it = std::find(hostChannels_.begin(), hostChannels_.end(), device);
        if (it == hostChannels_.end()) {
          out.insert(out.end(), group, silence);
        } else {
          const Bytes& half = channelHalves[static_cast<std::size_t>(it - hostChannels_.begin())];
          const auto begin = half.begin() + static_cast<std::ptrdiff_t>(frame * group);
          if (reversedGroups_)
            out.insert(out.end(), std::make_reverse_iterator(begin + group),
                       std::make_reverse_iterator(begin));
          else
            out.insert(out.end(), begin, begin + group);
        }
      }
    }
    return out;
  }

  // One half of idle signal on every device channel.
  Bytes IdleHalf(std::size_t group, uint8_t silence) const {
    return Interleaved(std::vector<Bytes>(host_.buffers.size(), Bytes(host_.halfBytes, silence)),
                       group, silence);
  }

  // What a run whose fills are `first`..`last` (1-based, inclusive) sends:
  // the prefill of half 0, then the fills.
  Bytes ExpectedRun(int first, int last, std::size_t group, uint8_t silence) const {
    Bytes out = Interleaved(prefill_, group, silence);
    for (int fill = first; fill <= last; ++fill) {
      std::vector<Bytes> halves;
      for (const Bytes& channel : host_.written) {
        const auto begin = channel.begin() + (fill - 1) * host_.halfBytes;
        halves.emplace_back(begin, begin + host_.halfBytes);
      }
      const Bytes half = Interleaved(halves, group, silence);
      out.insert(out.end(), half.begin(), half.end());
    }
    return out;
  }

  std::string Text(const std::string& file) {
    const Bytes bytes = fixtures::ReadFile(registry_.File(file));
    return std::string(bytes.begin(), bytes.end());
  }

  DriverRegistry registry_;
  std::shared_ptr<CAsioWrapperImpl> binding_ = CAsioWrapperImpl::Create(L"/nonexistent");
  TestHost host_;
  // Positions are what the device has played: never more than was written
  // before the switch, and never further behind than the device holds.
  void ExpectPlayedPositions(int64_t firstWrittenHalves) const {
    int64_t previous = 0;
    for (std::size_t k = 0; k < host_.positions.size(); ++k) {
      const int64_t written = (firstWrittenHalves + static_cast<int64_t>(k)) * bufferSize_;
      const int64_t position = host_.positions[k];
      EXPECT_LE(position, written) << "switch " << k;
      EXPECT_GE(position, written - latency_) << "switch " << k;
      EXPECT_GE(position, previous) << "switch " << k;
      previous = position;
    }
  }

  int32_t bufferSize_ = 0;
  bool reversedGroups_ = false;  // the device's groups hold the host's bytes reversed
  int32_t latency_ = 0;
  int32_t deviceChannels_ = 0;
  int32_t sampleType_ = -1;
  std::vector<int32_t> hostChannels_;
  std::vector<Bytes> prefill_;
};

struct PlayCase {
  const char* name;
  std::string definition;  // a qptest device named "card"; empty: the file PCM "dac"
  StreamRequest stream;
  int32_t sampleType;
  std::size_t group;      // bytes per channel and ALSA frame
  std::string hwLine;     // what the qptest device was configured to
  bool reversed = false;  // little-endian DSD words: each group's bytes reversed
};

void PrintTo(const PlayCase& c, std::ostream* out) {
  *out << c.name;
}

class AlsaPlayTest : public AlsaDriverTest, public ::testing::WithParamInterface<PlayCase> {};

TEST_P(AlsaPlayTest, TheHostsBytesReachTheDeviceUnchanged) {
  const PlayCase& c = GetParam();
  if (!c.definition.empty()) WriteAlsaConfig({{"card", c.definition}});
  ASSERT_NO_FATAL_FAILURE(Open(c.stream));
  EXPECT_EQ(sampleType_, c.sampleType);
  reversedGroups_ = c.reversed;
  ASSERT_NO_FATAL_FAILURE(Run(9));
  ASSERT_EQ(HostDisposeBuffers(), kAsioOk);
  ReleaseAsioDrivers();  // closes the device: the recording is complete

  EXPECT_EQ(host_.halves, (std::vector<int32_t>{1, 0, 1, 0, 1, 0, 1, 0, 1}));
  ASSERT_EQ(host_.positions.size(), 9u);
  ExpectPlayedPositions(1);
  const uint8_t silence = c.stream.ioFormat == kAsioFormatDsd ? 0x96 : 0;
  // The prefill of half 0, then every fill but the last (the host stopped
  // the device in that switch).
  EXPECT_TRUE(fixtures::SameElements(
      fixtures::ReadFile(registry_.File(c.definition.empty() ? "dac.raw" : "card.raw")),
      ExpectedRun(1, 8, c.group, silence)));
  if (!c.hwLine.empty()) {
    EXPECT_EQ(Text("card.log"), c.hwLine);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, AlsaPlayTest,
    ::testing::Values(
        PlayCase{"S32_LE_first", "", {.rate = 44100}, kAsioInt32Lsb, 4, ""},
        PlayCase{"S24_3LE_without_S32_LE",
                 TestPcm("S16_LE,S24_3LE", "96000", "2"),
                 {.device = "card", .rate = 96000},
                 kAsioInt24Lsb,
                 3,
                 "S24_3LE 2 96000\n"},
        PlayCase{"S16_LE_only",
                 TestPcm("S16_LE", "44100,48000", "1,2"),
                 {.device = "card", .rate = 48000},
                 kAsioInt16Lsb,
                 2,
                 "S16_LE 2 48000\n"},
        PlayCase{"a_silent_middle_channel",
                 "",
                 {.settings = "Channels=3\n", .rate = 192000, .channels = {0, 2}},
                 kAsioInt32Lsb,
                 4,
                 ""},
        PlayCase{"a_card_that_refuses_short_periods",
                 TestPcm("S32_LE", "44100", "2", "period_bytes \"16384,65536\""),
                 {.device = "card"},
                 kAsioInt32Lsb,
                 4,
                 "S32_LE 2 44100\n"},
        PlayCase{"an_underrun_on_the_way",
                 TestPcm("S32_LE", "44100", "2", "xrun_after 3000"),
                 {.device = "card"},
                 kAsioInt32Lsb,
                 4,
                 "S32_LE 2 44100\n"},
        PlayCase{"DSD512_as_DSD_U32_BE",
                 TestPcm("S32_LE,DSD_U8,DSD_U32_BE", "44100,705600,2822400", "2"),
                 {.device = "card",
                  .ioFormat = kAsioFormatDsd,
                  .rate = 22579200,
                  .sizeAfterSwitch = true},
                 kAsioDsdInt8Msb1,
                 4,
                 "DSD_U32_BE 2 705600\n"},
        PlayCase{"DSD64_as_DSD_U32_LE_before_DSD_U8",
                 TestPcm("S32_LE,DSD_U8,DSD_U32_LE", "44100,88200,352800", "2"),
                 {.device = "card", .ioFormat = kAsioFormatDsd, .rate = 2822400},
                 kAsioDsdInt8Msb1,
                 4,
                 "DSD_U32_LE 2 88200\n",
                 true},
        PlayCase{"DSD128_as_DSD_U16_BE_before_DSD_U16_LE",
                 TestPcm("S32_LE,DSD_U16_LE,DSD_U16_BE,DSD_U8", "44100,352800,705600", "2"),
                 {.device = "card", .ioFormat = kAsioFormatDsd, .rate = 5644800},
                 kAsioDsdInt8Msb1,
                 2,
                 "DSD_U16_BE 2 352800\n"},
        PlayCase{"DSD64_as_DSD_U16_LE",
                 TestPcm("S32_LE,DSD_U16_LE", "44100,176400", "2"),
                 {.device = "card", .ioFormat = kAsioFormatDsd, .rate = 2822400},
                 kAsioDsdInt8Msb1,
                 2,
                 "DSD_U16_LE 2 176400\n",
                 true},
        PlayCase{"DSD64_as_DSD_U8",
                 TestPcm("S32_LE,DSD_U8", "44100,352800", "2"),
                 {.device = "card", .ioFormat = kAsioFormatDsd, .rate = 2822400},
                 kAsioDsdInt8Msb1,
                 1,
                 "DSD_U8 2 352800\n"},
        PlayCase{"DSD128_with_a_silent_third_channel",
                 "",
                 {.settings = "Channels=3\n", .ioFormat = kAsioFormatDsd, .rate = 5644800},
                 kAsioDsdInt8Msb1,
                 4,
                 ""}),
    [](const ::testing::TestParamInfo<PlayCase>& param) { return std::string(param.param.name); });

TEST_F(AlsaDriverTest, DopWordsGoOutAsS32LeWithTheMarkerInTheTopByte) {
  ASSERT_NO_FATAL_FAILURE(Open({.rate = 176400}));
  ASSERT_EQ(sampleType_, kAsioInt32Lsb);
  // The host packs DSD bytes 4k..4k+3 of fill f as two DoP words.
  const auto dsd = [](std::size_t channel, int fill, std::size_t word) {
    return static_cast<uint32_t>(0x01020304u * (word + 1) + 0x10000000u * channel + fill);
  };
  host_.content = [&](std::size_t channel, int fill) {
    Bytes out(host_.halfBytes);
    for (std::size_t sample = 0; sample < host_.halfBytes / 4; ++sample) {
      const uint32_t word = output::PackDop(dsd(channel, fill, sample / 2), sample % 2);
      std::memcpy(out.data() + 4 * sample, &word, 4);
    }
    return out;
  };
  ASSERT_NO_FATAL_FAILURE(Run(4));
  ReleaseAsioDrivers();

  const Bytes recording = fixtures::ReadFile(registry_.File("dac.raw"));
  EXPECT_TRUE(fixtures::SameElements(recording, ExpectedRun(1, 3, 4, 0)));
  ASSERT_EQ(recording.size(), 4 * 2 * host_.halfBytes);
  // Past the prefilled half: markers 0x05 / 0xFA alternate per frame in the
  // top byte, the DSD bytes in time order below them, the low byte zero.
  const std::size_t frames = host_.halfBytes / 4;
  for (std::size_t frame = 0; frame < 3 * frames; ++frame) {
    const int fill = static_cast<int>(frame / frames) + 1;
    const std::size_t sample = frame % frames;
    for (std::size_t channel = 0; channel < 2; ++channel) {
      const uint8_t* bytes = recording.data() + 8 * (frames + frame) + 4 * channel;
      const uint32_t word = dsd(channel, fill, sample / 2);
      const int shift = sample % 2 == 0 ? 24 : 8;
      ASSERT_EQ(bytes[0], 0);
      ASSERT_EQ(bytes[1], static_cast<uint8_t>(word >> (shift - 8)));
      ASSERT_EQ(bytes[2], static_cast<uint8_t>(word >> shift));
      ASSERT_EQ(bytes[3], sample % 2 == 0 ? 0x05 : 0xFA);
    }
  }
}

TEST_F(AlsaDriverTest, StartStopStartPlaysEachRunFromHalfZero) {
  ASSERT_NO_FATAL_FAILURE(Open({.rate = 48000}));
  int64_t position = 0, timestamp = 0;
  EXPECT_EQ(HostGetSamplePosition(&position, &timestamp), kAsioSpNotAdvancing);
  ASSERT_NO_FATAL_FAILURE(Run(5));
  EXPECT_EQ(HostStop(), kAsioOk) << "stopping a stopped device";
  EXPECT_EQ(HostGetSamplePosition(&position, &timestamp), kAsioSpNotAdvancing);
  const Bytes firstRun = ExpectedRun(1, 4, 4, 0);
  // The rate cannot change under the buffers, nor the I/O format.
  EXPECT_EQ(HostSetSampleRate(44100), kAsioInvalidMode);
  AsioIoFormat dsd{};
  dsd.formatType = kAsioFormatDsd;
  EXPECT_EQ(HostFuture(kAsioSetIoFormat, &dsd), kAsioInvalidMode);

  Prefill(0xC0);
  ASSERT_NO_FATAL_FAILURE(Run(4));
  EXPECT_EQ(host_.halves, (std::vector<int32_t>{1, 0, 1, 0, 1, 1, 0, 1, 0}));
  EXPECT_EQ(host_.positions.back(), 4 * bufferSize_) << "positions count from each start";
  ASSERT_EQ(HostDisposeBuffers(), kAsioOk);
  EXPECT_EQ(HostStart(), kAsioInvalidMode);
  ReleaseAsioDrivers();

  // Each run: its prefill of half 0, then its fills but the last.
  Bytes expected = firstRun;
  const Bytes secondRun = ExpectedRun(6, 8, 4, 0);
  expected.insert(expected.end(), secondRun.begin(), secondRun.end());
  EXPECT_TRUE(fixtures::SameElements(fixtures::ReadFile(registry_.File("dac.raw")), expected));
}

TEST_F(AlsaDriverTest, OnADeviceThatPlaysInRealTimeTheWriterWaitsAndStopWakesIt) {
  // 10 ms halves into a 40 ms device buffer: once full, each write waits
  // for the device to make room.
  WriteAlsaConfig({{"card", TestPcm("S32_LE", "48000", "2", "paced 1 log_stops 1")}});
  ASSERT_NO_FATAL_FAILURE(Open({.device = "card", .rate = 48000}));
  ASSERT_EQ(bufferSize_, 480);
  ASSERT_NO_FATAL_FAILURE(Run(10));
  ExpectPlayedPositions(1);
  EXPECT_LT(host_.positions.back(), 10 * bufferSize_) << "the device still holds some of it";
  const Bytes firstRun = ExpectedRun(1, 9, 4, 0);

  // Stopped from outside, mid-stream: the writer is waiting for room, and
  // what the device holds is dropped.
  Prefill(0xC0);
  ASSERT_NO_FATAL_FAILURE(StartUntil(16));
  ASSERT_EQ(HostStop(), kAsioOk);
  const int fills = host_.fills;
  const Bytes secondRun = ExpectedRun(11, fills, 4, 0);
  const std::size_t secondEnd = fixtures::ReadFile(registry_.File("card.raw")).size();

  // A drain stop from outside returns once the device has played all it
  // was given: every fill the host made, then the idle half.
  Prefill(0xA0);
  ASSERT_NO_FATAL_FAILURE(StartUntil(fills + 8));
  ASSERT_EQ(HostFuture(kQpFutureDrainOnStop, nullptr), kAsioSuccess);
  ASSERT_EQ(HostStop(), kAsioOk);
  Bytes thirdRun = ExpectedRun(fills + 1, host_.fills, 4, 0);
  const Bytes idle = IdleHalf(4, 0);
  thirdRun.insert(thirdRun.end(), idle.begin(), idle.end());
  const std::string log = Text("card.log");
  ReleaseAsioDrivers();

  const Bytes recording = fixtures::ReadFile(registry_.File("card.raw"));
  ASSERT_GT(secondEnd, firstRun.size());
  ASSERT_EQ(recording.size(), secondEnd + thirdRun.size());
  EXPECT_TRUE(fixtures::SameElements(Bytes(recording.begin(), recording.begin() + firstRun.size()),
                                     firstRun));
  // Run two: whatever reached the device before the stop, in order.
  const Bytes runTwo(recording.begin() + firstRun.size(), recording.begin() + secondEnd);
  EXPECT_GE(runTwo.size(), 6 * 2 * host_.halfBytes);
  ASSERT_LE(runTwo.size(), secondRun.size());
  EXPECT_TRUE(fixtures::HoldsAt(secondRun, 0, runTwo));
  EXPECT_TRUE(
      fixtures::SameElements(Bytes(recording.begin() + secondEnd, recording.end()), thirdRun));
  // What each stop left unplayed: the plain stops dropped what the device
  // held, the drain stop nothing.
  std::vector<unsigned long> unplayed;
  for (std::size_t at = log.find("stop unplayed="); at != std::string::npos;
       at = log.find("stop unplayed=", at + 1)) {
    unplayed.push_back(std::stoul(log.substr(at + 14)));
  }
  ASSERT_EQ(unplayed.size(), 3u) << log;
  EXPECT_GT(unplayed[0], 0u);
  EXPECT_GT(unplayed[1], 0u);
  EXPECT_EQ(unplayed[2], 0u);
}

TEST_F(AlsaDriverTest, StopEndsTheWriterOnADeviceThatStoppedPlaying) {
  // The device takes one buffer (four halves) and then no more: the writer
  // waits for room that never comes, until stop wakes it; a drain stop gives
  // up after the device's buffer time and a margin.
  WriteAlsaConfig({{"card", TestPcm("S32_LE", "48000", "2", "paced 1 stall_after 0")}});
  ASSERT_NO_FATAL_FAILURE(Open({.device = "card", .rate = 48000}));
  ASSERT_NO_FATAL_FAILURE(StartUntil(4));
  ASSERT_EQ(HostStop(), kAsioOk);
  EXPECT_EQ(host_.fills, 4);
  Bytes expected = ExpectedRun(1, 3, 4, 0);

  Prefill(0xC0);
  ASSERT_NO_FATAL_FAILURE(StartUntil(8));
  ASSERT_EQ(HostFuture(kQpFutureDrainOnStop, nullptr), kAsioSuccess);
  ASSERT_EQ(HostStop(), kAsioOk);
  EXPECT_EQ(host_.fills, 8);
  const Bytes drained = ExpectedRun(5, 7, 4, 0);
  expected.insert(expected.end(), drained.begin(), drained.end());
  ReleaseAsioDrivers();
  EXPECT_TRUE(fixtures::SameElements(fixtures::ReadFile(registry_.File("card.raw")), expected));
}

// A drain stop from inside the buffer switch: the half the host filled in
// that switch goes to the device, then one half of idle signal (PCM zeros,
// the DSD idle byte), and only then does the device stop.
struct DrainCase {
  const char* name;
  std::string definition;  // a qptest device named "card"; empty: the file PCM "dac"
  StreamRequest stream;
  std::size_t group;
  uint8_t idle;
};

void PrintTo(const DrainCase& c, std::ostream* out) {
  *out << c.name;
}

class AlsaDrainTest : public AlsaDriverTest, public ::testing::WithParamInterface<DrainCase> {};

TEST_P(AlsaDrainTest, ADrainStopWritesTheLastHalfAndAnIdleHalfBeforeItStops) {
  const DrainCase& c = GetParam();
  if (!c.definition.empty()) WriteAlsaConfig({{"card", c.definition}});
  ASSERT_NO_FATAL_FAILURE(Open(c.stream));
  EXPECT_EQ(HostFuture(kQpFutureDrainOnStop, nullptr), kAsioInvalidMode) << "not running";
  host_.drainAtLimit = true;
  ASSERT_NO_FATAL_FAILURE(Run(6));
  Bytes expected = ExpectedRun(1, 6, c.group, c.idle);
  const Bytes idle = IdleHalf(c.group, c.idle);
  expected.insert(expected.end(), idle.begin(), idle.end());
  if (!c.definition.empty()) {
    SCOPED_TRACE("a card that plays in real time played all of it, then only the idle half");
    EXPECT_TRUE(
        fixtures::SameElements(fixtures::ReadFile(registry_.File("card.played")), expected));
  }
  // The next run is an ordinary one again: its stop cuts the last fill.
  host_.drainAtLimit = false;
  Prefill(0xC0);
  ASSERT_NO_FATAL_FAILURE(Run(3));
  ReleaseAsioDrivers();

  const Bytes plain = ExpectedRun(7, 8, c.group, c.idle);
  expected.insert(expected.end(), plain.begin(), plain.end());
  EXPECT_TRUE(fixtures::SameElements(
      fixtures::ReadFile(registry_.File(c.definition.empty() ? "dac.raw" : "card.raw")), expected));
}

INSTANTIATE_TEST_SUITE_P(
    Formats, AlsaDrainTest,
    ::testing::Values(DrainCase{"PCM", "", {.rate = 44100}, 4, 0},
                      DrainCase{"PCM_on_a_card",
                                TestPcm("S32_LE", "44100", "2", "paced 1"),
                                {.device = "card", .rate = 44100},
                                4,
                                0},
                      DrainCase{"DSD_U32_BE",
                                TestPcm("S32_LE,DSD_U32_BE", "44100,88200", "2", "paced 1"),
                                {.device = "card", .ioFormat = kAsioFormatDsd, .rate = 2822400},
                                4,
                                0x96},
                      DrainCase{"DSD_U8",
                                TestPcm("S32_LE,DSD_U8", "44100,352800", "2", "paced 1"),
                                {.device = "card", .ioFormat = kAsioFormatDsd, .rate = 2822400},
                                1,
                                0x96}),
    [](const ::testing::TestParamInfo<DrainCase>& param) { return std::string(param.param.name); });

TEST_F(AlsaDriverTest, TheDeviceDecidesFormatsRatesAndChannels) {
  WriteAlsaConfig({{"card", TestPcm("S16_LE", "44100,48000", "1,3")},
                   {"dsd", TestPcm("S32_LE,DSD_U32_BE", "88200,176400", "2")}});
  ASSERT_EQ(Init("card"), kAsioOk);
  int32_t inputs = -1, outputs = -1;
  ASSERT_EQ(HostGetChannels(&inputs, &outputs), kAsioOk);
  EXPECT_EQ(inputs, 0);
  EXPECT_EQ(outputs, 1) << "no stereo: the fewest channels the device takes";
  EXPECT_EQ(HostCanSampleRate(48000), kAsioOk);
  EXPECT_EQ(HostCanSampleRate(96000), kAsioNoClock);
  EXPECT_EQ(HostSetSampleRate(96000), kAsioNoClock);
  EXPECT_EQ(HostCanSampleRate(2822400), kAsioNoClock);
  AsioIoFormat format{};
  format.formatType = kAsioFormatDsd;
  EXPECT_EQ(HostFuture(kAsioCanDoIoFormat, &format), kAsioNotPresent);
  EXPECT_EQ(HostFuture(kAsioSetIoFormat, &format), kAsioNotPresent);
  format.formatType = 7;
  EXPECT_EQ(HostFuture(kAsioCanDoIoFormat, &format), kAsioNotPresent);
  EXPECT_EQ(HostFuture(kAsioGetIoFormat, &format), kAsioSuccess);
  EXPECT_EQ(format.formatType, kAsioFormatPcm);
  EXPECT_EQ(HostFuture(0x12345678, &format), kAsioInvalidParameter);
  ReleaseAsioDrivers();

  ASSERT_EQ(Init("card", "Channels=3\n"), kAsioOk);
  ASSERT_EQ(HostGetChannels(&inputs, &outputs), kAsioOk);
  EXPECT_EQ(outputs, 3);
  ReleaseAsioDrivers();

  // The DSD device: 88.2 kHz frames carry DSD64, 176.4 kHz DSD128; the
  // switch moves the rate to the first DSD rate the device takes.
  ASSERT_EQ(Init("dsd"), kAsioOk);
  format.formatType = kAsioFormatDsd;
  EXPECT_EQ(HostCanSampleRate(2822400), kAsioNoClock);
  ASSERT_EQ(HostFuture(kAsioSetIoFormat, &format), kAsioSuccess);
  EXPECT_EQ(HostCanSampleRate(2822400), kAsioOk);
  EXPECT_EQ(HostCanSampleRate(5644800), kAsioOk);
  EXPECT_EQ(HostCanSampleRate(11289600), kAsioNoClock);
  EXPECT_EQ(HostCanSampleRate(2822401), kAsioNoClock);
  EXPECT_EQ(HostCanSampleRate(88200), kAsioNoClock);
  AsioChannelInfo channel{};
  ASSERT_EQ(HostGetChannelInfo(&channel), kAsioOk);
  EXPECT_EQ(channel.type, kAsioDsdInt8Msb1);
  EXPECT_EQ(channel.isActive, kAsioFalse);
  int32_t minimum, maximum, preferred, granularity;
  ASSERT_EQ(HostGetBufferSize(&minimum, &maximum, &preferred, &granularity), kAsioOk);
  EXPECT_EQ(granularity, 32) << "whole DSD_U32_BE frames";
  EXPECT_EQ(minimum, 32);
  EXPECT_EQ(preferred, 882 * 32) << "10 ms at 88.2 kHz frames";
  std::vector<AsioBufferInfo> buffers(2);
  buffers[1].channelNum = 1;
  EXPECT_EQ(HostCreateBuffers(buffers.data(), 2, preferred + 16, &gCallbacks), kAsioInvalidMode);
  EXPECT_EQ(HostCreateBuffers(buffers.data(), 2, maximum + 32, &gCallbacks), kAsioInvalidMode);
  buffers[1].channelNum = 0;
  EXPECT_EQ(HostCreateBuffers(buffers.data(), 2, preferred, &gCallbacks), kAsioInvalidParameter);
  buffers[1].channelNum = 2;
  EXPECT_EQ(HostCreateBuffers(buffers.data(), 2, preferred, &gCallbacks), kAsioInvalidParameter);
  format.formatType = kAsioFormatPcm;
  ASSERT_EQ(HostFuture(kAsioSetIoFormat, &format), kAsioSuccess);
  ASSERT_EQ(HostGetBufferSize(&minimum, &maximum, &preferred, &granularity), kAsioOk);
  EXPECT_EQ(granularity, 1);
  EXPECT_EQ(preferred, 896) << "back at 88.2 kHz PCM: 10 ms in whole multiples of 32 frames";
}

TEST_F(AlsaDriverTest, InitRefusesWithAMessageThatSaysWhy) {
  WriteAlsaConfig({{"busy", TestPcm("S32_LE", "44100", "2", "open_error 16")},
                   {"float", TestPcm("FLOAT_LE", "44100", "2")},
                   {"mono", TestPcm("S32_LE", "44100", "1")}});
  AddCard(0, "PCH", "");
  AddCard(3, "DAC", "3c5d:0a18");
  const struct {
    std::string device, settings, message;
  } cases[] = {
      {"busy", "",
       "busy is busy: another program holds it (PulseAudio or PipeWire?). Release it: pactl "
       "set-card-profile CARD off"},
      {"float", "", "float plays none of S32_LE, S24_3LE, S16_LE"},
      {"mono", "Channels=2\n", "mono does not play 2 channels of S32_LE, S24_3LE or S16_LE"},
      {"nowhere", "", "Cannot open nowhere: No such file or directory"},
      {"usb:3c5d:0a17", "", "The USB device 3c5d:0a17 is not connected (no ALSA card)"},
      {"usb:3c5d", "", "\"usb:3c5d\" is not a USB id (usb:VVVV:PPPP)"},
      {"card:USB", "", "No sound card named \"USB\""},
      {"card:5", "", "No sound card named \"5\""},
      {"", "", "The driver's Device setting is empty"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.device);
    std::string message;
    EXPECT_EQ(Init(c.device, c.settings, &message), kAsioNotPresent);
    EXPECT_EQ(message, c.message);
    int32_t inputs, outputs;
    EXPECT_EQ(HostGetChannels(&inputs, &outputs), kAsioNotPresent) << "no current driver";
    ReleaseAsioDrivers();
  }
}

TEST_F(AlsaDriverTest, UsbIdsAndCardNamesFindTheirCard) {
  AddCard(0, "PCH", "");
  AddCard(2, "Webcam", "046d:0825");
  AddCard(3, "DAC", "3C5D:0A17");
  AddCard(11, "Other", "3c5d:0a17");  // a second DAC: the first card wins
  const struct {
    std::string device;
    int card;
  } cases[] = {{"usb:3c5d:0a17", 3}, {"usb:046D:0825", 2}, {"card:DAC", 3},
               {"card:PCH", 0},      {"card:11", 11},      {"hw:7", 7}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.device);
    const std::string file = registry_.File("card" + std::to_string(c.card) + ".raw");
    std::filesystem::remove(file);
    ASSERT_EQ(Init(c.device), kAsioOk);
    EXPECT_TRUE(std::filesystem::exists(file)) << "the device opened is hw:" << c.card << ",0";
    ReleaseAsioDrivers();
  }
}

TEST_F(AlsaDriverTest, AVanishedDeviceAsksForAResetAndIsNotPresentOnTheNextStart) {
  WriteAlsaConfig({{"card", TestPcm("S32_LE", "44100", "2", "vanish_after 2000")}});
  ASSERT_NO_FATAL_FAILURE(Open({.device = "card"}));
  {
    std::lock_guard lock(host_.mutex);
    host_.limit = 1000;  // never reached: the device goes first
    host_.written.resize(2);
    host_.content = [this](std::size_t channel, int fill) {
      return fixtures::AudioPattern(host_.halfBytes, 1000 * fill + channel);
    };
  }
  ASSERT_EQ(HostStart(), kAsioOk);
  {
    std::unique_lock lock(host_.mutex);
    ASSERT_TRUE(host_.changed.wait_for(lock, std::chrono::seconds(10),
                                       [&] { return host_.resetRequests > 0; }));
  }
  const int wholeHalves = 2000 / bufferSize_;
  int64_t position = 0, timestamp = 0;
  ASSERT_EQ(HostGetSamplePosition(&position, &timestamp), kAsioOk);
  EXPECT_EQ(position, wholeHalves * bufferSize_) << "the whole halves the device took";
  EXPECT_EQ(HostStop(), kAsioOk);
  EXPECT_EQ(HostStart(), kAsioNotPresent);
  EXPECT_EQ(host_.resetRequests, 1);
  EXPECT_EQ(host_.fills, wholeHalves);
  ReleaseAsioDrivers();

  // Everything up to where the device vanished, in order.
  const Bytes recording = fixtures::ReadFile(registry_.File("card.raw"));
  const Bytes expected = ExpectedRun(1, host_.fills, 4, 0);
  EXPECT_GE(recording.size(), static_cast<std::size_t>(wholeHalves) * 2 * host_.halfBytes);
  EXPECT_LE(recording.size(), 2000u * 8);
  EXPECT_TRUE(fixtures::HoldsAt(expected, 0, recording));
}

TEST_F(AlsaDriverTest, TheShippedRegistryEntryFindsTheMakersDacByItsUsbId) {
  setenv("QP_ASIO_DRIVER_DIR", QP_ASIO_BUILD_REGISTRY, 1);
  int makersEntries = 0;
  for (const auto& entry : ReadAsioRegistry()) {
    if (entry.keyName.rfind("Corvane", 0) != 0) continue;
    ++makersEntries;
    EXPECT_EQ(entry.keyName, "Corvane USB DAC AMP(KLM)");
    EXPECT_FALSE(entry.hasDescription) << "listed under the name the recognition table knows";
    EXPECT_EQ(entry.library, kAlsaDriver);
  }
  EXPECT_EQ(makersEntries, 1) << "one DAC, listed once";
  const Bytes ini = fixtures::ReadFile(QP_ASIO_BUILD_REGISTRY "/CorvaneUsbDac.ini");
  const std::string file(ini.begin(), ini.end());
  for (const char* disabled :
       {";Name=Corvane ASIO Audio Device(KLM)\n", ";Name=Corvane ASIO Audio Driver(KLM)\n"}) {
    EXPECT_NE(file.find(disabled), std::string::npos) << disabled;
  }

  // Without the DAC the driver refuses; plugged in as card 4 it plays there.
  AsioDriverInfo info{};
  ASSERT_TRUE(LoadDriverByName(L"Corvane USB DAC AMP(KLM)"));
  EXPECT_EQ(HostInit(&info), kAsioNotPresent);
  EXPECT_STREQ(info.errorMessage, "The USB device 3c5d:0a17 is not connected (no ALSA card)");
  AddCard(4, "AMP", "3c5d:0a17");
  ASSERT_TRUE(LoadDriverByName(L"Corvane USB DAC AMP(KLM)"));
  ASSERT_EQ(HostInit(&info), kAsioOk);
  EXPECT_STREQ(info.name, "Corvane USB DAC AMP(KLM)");
  EXPECT_TRUE(std::filesystem::exists(registry_.File("card4.raw")));
}

// Pause and resume on a card that plays in real time: everything the host
// filled is played once, in order. A card that can pause keeps what it
// holds; one that cannot plays it out and a half of idle signal before it
// stops, and the writer goes on from where it stood.
class AlsaPauseTest : public AlsaDriverTest, public ::testing::WithParamInterface<bool> {};

TEST_P(AlsaPauseTest, PauseAndResumePlayEveryFillOnceInOrder) {
  const bool canPause = GetParam();
  WriteAlsaConfig(
      {{"card", TestPcm("S32_LE", "48000", "2",
                        std::string("paced 1 log_opens 1 can_pause ") + (canPause ? "1" : "0"))}});
  ASSERT_NO_FATAL_FAILURE(Open({.device = "card", .rate = 48000}));
  EXPECT_EQ(HostFuture(kQpFuturePauseOnStop, nullptr), kAsioInvalidMode) << "not running";
  ASSERT_NO_FATAL_FAILURE(StartUntil(7));
  ASSERT_EQ(HostFuture(kQpFuturePauseOnStop, nullptr), kAsioSuccess);
  ASSERT_EQ(HostStop(), kAsioOk);
  int pausedAt = 0;
  {
    std::lock_guard lock(host_.mutex);
    pausedAt = host_.fills;
    host_.limit = pausedAt + 5;
    host_.drainAtLimit = true;
  }
  int64_t position = 0, time = 0;
  EXPECT_EQ(HostGetSamplePosition(&position, &time), kAsioSpNotAdvancing);
  ASSERT_EQ(HostStart(), kAsioOk);
  {
    std::unique_lock lock(host_.mutex);
    ASSERT_TRUE(
        host_.changed.wait_for(lock, std::chrono::seconds(10), [&] { return host_.stopped; }));
  }
  ASSERT_EQ(HostStop(), kAsioOk);
  EXPECT_EQ(host_.halves.size(), static_cast<std::size_t>(pausedAt + 5));
  for (std::size_t i = 0; i < host_.halves.size(); ++i)
    ASSERT_EQ(host_.halves[i], static_cast<int32_t>((i + 1) % 2)) << "switch " << i;
  ReleaseAsioDrivers();

  Bytes expected = ExpectedRun(1, pausedAt + 5, 4, 0);
  const Bytes idle = IdleHalf(4, 0);
  Bytes played = fixtures::ReadFile(registry_.File("card.played"));
  const std::string log = Text("card.log");
  if (canPause) {
    EXPECT_NE(log.find("pause\nresume\n"), std::string::npos) << log;
  } else {
    EXPECT_EQ(log.find("pause"), std::string::npos) << log;
    // The idle half stands where the device stopped: take it out.
    const auto at = std::mismatch(played.begin(), played.end(), expected.begin(), expected.end());
    const auto offset = at.first - played.begin();
    ASSERT_GT(offset, 0);
    ASSERT_EQ(offset % 8, 0) << "a whole frame";
    ASSERT_TRUE(fixtures::HoldsAt(played, static_cast<std::size_t>(offset), idle))
        << "one idle half at " << offset;
    played.erase(at.first, at.first + static_cast<std::ptrdiff_t>(idle.size()));
  }
  expected.insert(expected.end(), idle.begin(), idle.end());  // the drain at the end
  EXPECT_TRUE(fixtures::SameElements(played, expected));
}

INSTANTIATE_TEST_SUITE_P(Cards, AlsaPauseTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& param) {
                           return param.param ? "that_can_pause" : "that_cannot_pause";
                         });

TEST_F(AlsaDriverTest, OverDopEveryWordTheCardPlaysCarriesTheNextMarker) {
  // Three device channels, two from the host: the third and the drain's
  // idle half are DoP idle words in the stream's marker phase.
  WriteAlsaConfig({{"card", TestPcm("S32_LE", "176400", "3", "paced 1")}});
  ASSERT_NO_FATAL_FAILURE(Open({.device = "card", .rate = 176400}));
  int32_t dop = 1;
  ASSERT_EQ(HostFuture(kQpFutureDopStream, &dop), kAsioSuccess);
  // The host's DoP: word k of the run carries the marker of phase k % 2;
  // every half has an even number of words, the prefill included.
  const auto dopHalf = [&](uint32_t seed) {
    Bytes out(host_.halfBytes);
    for (std::size_t word = 0; word < host_.halfBytes / 4; ++word) {
      const uint32_t value = output::PackDop(0x01020304u * static_cast<uint32_t>(word) + seed,
                                             static_cast<uint32_t>(word % 2));
      std::memcpy(out.data() + 4 * word, &value, 4);
    }
    return out;
  };
  ASSERT_EQ(host_.halfBytes / 4 % 2, 0u);
  prefill_.clear();
  for (std::size_t c = 0; c < 2; ++c) {
    for (int half = 0; half < 2; ++half) {
      const Bytes bytes = dopHalf(static_cast<uint32_t>(0x100 * c + half));
      std::memcpy(host_.buffers[c].buffers[half], bytes.data(), bytes.size());
    }
    prefill_.push_back(dopHalf(static_cast<uint32_t>(0x100 * c)));
  }
  host_.content = [&](std::size_t channel, int fill) {
    return dopHalf(static_cast<uint32_t>(0x10000 * fill + 0x100 * channel));
  };
  host_.drainAtLimit = true;
  ASSERT_NO_FATAL_FAILURE(Run(4));
  ReleaseAsioDrivers();

  const Bytes played = fixtures::ReadFile(registry_.File("card.played"));
  const std::size_t frames = host_.halfBytes / 4;
  ASSERT_EQ(played.size(), 6 * frames * 12) << "the prefill, four fills and the idle half";
  for (std::size_t frame = 0; frame < 6 * frames; ++frame) {
    const uint8_t marker = frame % 2 == 0 ? 0x05 : 0xFA;
    const uint8_t* at = played.data() + 12 * frame;
    for (std::size_t c = 0; c < 3; ++c)
      ASSERT_EQ(at[4 * c + 3], marker) << "frame " << frame << ", channel " << c;
    const bool idle = frame >= 5 * frames;
    for (std::size_t c = idle ? 0 : 2; c < 3; ++c) {
      ASSERT_EQ(at[4 * c], 0) << "frame " << frame << ", channel " << c;
      ASSERT_EQ(at[4 * c + 1], 0x96) << "frame " << frame << ", channel " << c;
      ASSERT_EQ(at[4 * c + 2], 0x96) << "frame " << frame << ", channel " << c;
    }
  }
}

TEST_F(AlsaDriverTest, TheCardStaysOpenAndConfiguredFromOneDriverToTheNext) {
  WriteAlsaConfig({{"card", TestPcm("S32_LE", "44100,48000", "2", "log_opens 1")}});
  const auto play = [&](double rate) {
    ASSERT_NO_FATAL_FAILURE(Open({.device = "card", .settings = "KeepOpen=60000\n", .rate = rate}));
    ASSERT_NO_FATAL_FAILURE(Run(3));
    ASSERT_EQ(HostDisposeBuffers(), kAsioOk);
    ASSERT_EQ(HostExit(), kAsioOk);  // the driver object goes; its library stays
  };
  // Two tracks at one rate, a third at another, each through a new driver
  // object as the output engine makes them.
  ASSERT_NO_FATAL_FAILURE(play(44100));
  ASSERT_NO_FATAL_FAILURE(play(44100));
  ASSERT_NO_FATAL_FAILURE(play(48000));
  EXPECT_EQ(Text("card.log"), "open\nS32_LE 2 44100\nperiod 441\nS32_LE 2 48000\nperiod 480\n");
  ReleaseAsioDrivers();
  EXPECT_EQ(Text("card.log").substr(Text("card.log").size() - 6), "close\n")
      << "closed when the driver library goes";
}

TEST_F(AlsaDriverTest, ThePeriodIsAboutTenMillisecondsWhateverTheHalf) {
  WriteAlsaConfig({{"card", TestPcm("S32_LE", "352800", "2", "log_opens 1")}});
  ASSERT_EQ(Init("card"), kAsioOk);
  ASSERT_EQ(HostSetSampleRate(352800), kAsioOk);
  int32_t minimum, maximum, preferred, granularity;
  ASSERT_EQ(HostGetBufferSize(&minimum, &maximum, &preferred, &granularity), kAsioOk);
  host_.buffers.assign(2, AsioBufferInfo{});
  host_.buffers[1].channelNum = 1;
  ASSERT_EQ(HostCreateBuffers(host_.buffers.data(), 2, 448, &gCallbacks), kAsioOk);
  EXPECT_NE(Text("card.log").find("period 3528\n"), std::string::npos) << Text("card.log");
}

TEST_F(AlsaDriverTest, APcmThatIsNotTheCardSaysOnceThatItMayNotBeBitPerfect) {
  WriteAlsaConfig({{"card", TestPcm("S32_LE", "44100", "2")}});
  char notice[124] = {};
  ASSERT_NO_FATAL_FAILURE(Open({.device = "card"}));
  ASSERT_EQ(HostFuture(kQpFutureNotice, notice), kAsioSuccess);
  EXPECT_NE(std::string(notice).find("may not be bit-perfect"), std::string::npos) << notice;
  EXPECT_NE(std::string(notice).find("card"), std::string::npos) << notice;
  EXPECT_EQ(HostFuture(kQpFutureNotice, notice), kAsioInvalidMode) << "said once";
  ASSERT_EQ(HostDisposeBuffers(), kAsioOk);
  ASSERT_EQ(HostExit(), kAsioOk);
  ASSERT_NO_FATAL_FAILURE(Open({.device = "card"}));
  EXPECT_EQ(HostFuture(kQpFutureNotice, notice), kAsioInvalidMode) << "once a program run";
}

TEST_F(AlsaDriverTest, EveryUnderrunIsToldToTheHost) {
  WriteAlsaConfig({{"card", TestPcm("S32_LE", "44100", "2", "xrun_after 3000")}});
  ASSERT_NO_FATAL_FAILURE(Open({.device = "card"}));
  ASSERT_NO_FATAL_FAILURE(Run(9));
  EXPECT_EQ(host_.overloads, 1);
}

}  // namespace
