// quorelle-play end to end: real files through the facade, playback thread,
// engine and a device, checked by what the device received, byte for byte.
// The devices are found as a user's are: the virtual DAC the program
// registers itself, an ALSA driver through the registry folder, a desktop
// sink through the sound server PULSE_SERVER names.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "tests/fixtures/CueWriter.h"
#include "tests/fixtures/DeviceSamples.h"
#include "tests/fixtures/DsfWriter.h"
#include "tests/fixtures/Mp3Fixtures.h"
#include "tests/fixtures/PulseDaemon.h"
#include "tests/fixtures/SameElements.h"
#include "tests/fixtures/ToolRunner.h"
#include "tests/fixtures/WavWriter.h"
#include "tests/output/AsioTestSupport.h"
#include "tests/renderer/MonitorCapture.h"
#include "tests/tools/PlayProcess.h"

namespace {

using fixtures::Bytes;
using playtest::RunPlay;
using Samples = fixtures::DeviceSamples;

constexpr std::size_t kHalf = 512;          // the virtual DAC's PCM buffer here
constexpr std::size_t kLeadIn = 4410;       // 0.1 s at 44.1 kHz
constexpr std::size_t kDsdHalf = 4096 / 8;  // bytes per channel of a DSD half

using fixtures::ChannelOf16;
using fixtures::JoinSamples;
using fixtures::SamplesOfCapture;

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
    ++n;
  return n;
}

std::uint8_t Reversed(std::uint8_t b) {
  b = static_cast<std::uint8_t>((b & 0xF0) >> 4 | (b & 0x0F) << 4);
  b = static_cast<std::uint8_t>((b & 0xCC) >> 2 | (b & 0x33) << 2);
  return static_cast<std::uint8_t>((b & 0xAA) >> 1 | (b & 0x55) << 1);
}

// DSF channel data (earliest bit lowest) as a DAC plays it: per channel,
// bytes in time order with the earliest bit on top.
std::vector<Bytes> InTimeOrder(const std::vector<Bytes>& stored) {
  std::vector<Bytes> out(stored.size());
  for (std::size_t c = 0; c < stored.size(); ++c) {
    for (const std::uint8_t b : stored[c])
      out[c].push_back(Reversed(b));
  }
  return out;
}

// Interleaved 16-bit PCM as interleaved 32-bit little-endian samples, the
// 16 bits in the top bytes.
Bytes AsInt32(const Bytes& pcm16) {
  Bytes out;
  out.reserve(pcm16.size() * 2);
  for (std::size_t i = 0; i + 1 < pcm16.size(); i += 2)
    out.insert(out.end(), {0, 0, pcm16[i], pcm16[i + 1]});
  return out;
}

// DSD_U32_BE frames: four bytes of each channel in turn, in time order.
Bytes AsDsdU32Be(const std::vector<Bytes>& inTime) {
  Bytes out;
  for (std::size_t at = 0; at + 4 <= inTime.front().size(); at += 4) {
    for (const auto& channel : inTime)
      out.insert(out.end(), channel.begin() + static_cast<long>(at),
                 channel.begin() + static_cast<long>(at + 4));
  }
  return out;
}

// The bytes of the whole `idle` frames at the start of `recording`.
std::size_t IdleBytesAtStart(const Bytes& recording, const Bytes& idle) {
  std::size_t at = 0;
  while (at + idle.size() <= recording.size() &&
         std::equal(idle.begin(), idle.end(), recording.begin() + static_cast<long>(at))) {
    at += idle.size();
  }
  return at;
}

// `recording` (interleaved frames) holds `idle` frames, at least
// `leadInFrames` of them, then exactly `music`, then idle frames only: no
// byte of the music lost, added or moved, its end not cut.
void ExpectMusicBetweenIdle(const Bytes& recording, const Bytes& music, const Bytes& idle,
                            std::size_t leadInFrames) {
  const std::size_t start = IdleBytesAtStart(recording, idle);
  ASSERT_LT(start, recording.size()) << "nothing but idle frames reached the device";
  EXPECT_GE(start / idle.size(), leadInFrames) << "the lead-in is short";
  ASSERT_GE(recording.size(), start + music.size())
      << "the device got " << (recording.size() - start) << " of the music's " << music.size()
      << " bytes: its end was cut";
  ASSERT_TRUE(fixtures::HoldsAt(recording, start, music)) << "the music is not what the files hold";
  const std::size_t end = start + music.size();
  for (std::size_t i = end; i < recording.size(); ++i)
    ASSERT_EQ(recording[i], idle[(i - end) % idle.size()]) << "after the music, at byte " << i;
}

class PlayTest : public ::testing::Test {
 protected:
  // No stored settings, no driver but the built-in virtual DAC, no sound
  // server; `routes` ("KEY=value") replace or add to these.
  std::vector<std::string> Environment(const std::vector<std::string>& routes = {}) const {
    std::filesystem::create_directories(dir_.File("asio"));
    std::vector<std::string> environment{"XDG_DATA_HOME=" + dir_.File("data"),
                                         "QP_ASIO_DRIVER_DIR=" + dir_.File("asio"),
                                         "PULSE_SERVER=unix:" + dir_.File("no-server")};
    for (const auto& entry : routes) {
      const std::string key = entry.substr(0, entry.find('=') + 1);
      std::erase_if(environment, [&](const std::string& e) { return e.starts_with(key); });
      environment.push_back(entry);
    }
    return environment;
  }
  // The virtual DAC capturing to "cap", by default on its free clock: as
  // fast as the player delivers, nothing in real time.
  std::vector<std::string> Args(std::vector<std::string> more, const char* clock) const {
    std::vector<std::string> args{"--json",
                                  "--virtual",
                                  std::string("Clock=") + clock,
                                  "--virtual",
                                  "BufferSize=" + std::to_string(kHalf),
                                  "--capture",
                                  dir_.File("cap")};
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }
  playtest::PlayResult Play(std::vector<std::string> args, const char* clock = "free") {
    auto result = RunPlay(Args(std::move(args), clock), Environment());
    EXPECT_EQ(result.exitCode, 0) << result.err << result.out;
    return result;
  }

  // A 16-bit stereo WAV file; its sample bytes.
  Bytes Wav(const std::string& name, std::size_t frames, std::uint32_t rate = 44100,
            std::uint32_t seed = 1) {
    const Bytes samples = fixtures::AudioPattern(frames * 4, seed);
    fixtures::WriteWav(dir_.File(name), {1, 2, rate, 16}, samples);
    return samples;
  }
  Bytes Capture(int channel) const {
    return fixtures::ReadFile(dir_.File("cap." + std::to_string(channel) + ".raw"));
  }
  std::string Log() const {
    const Bytes log = fixtures::ReadFile(dir_.File("cap.log"));
    return std::string(log.begin(), log.end());
  }

  fixtures::TempDir dir_;
};

// `played` holds the half of prefill and the lead-in as silence, exactly
// `music`, and then silence only.
void ExpectMusicAfterLeadIn(const Samples& played, const Samples& music,
                            std::size_t leadIn = kLeadIn) {
  const std::size_t start = kHalf + leadIn;
  ASSERT_GE(played.size(), start + music.size()) << "the device got less than the music";
  for (std::size_t i = 0; i < start; ++i)
    ASSERT_EQ(played[i], 0u) << "before the music, at sample " << i;
  ASSERT_TRUE(fixtures::HoldsAt(played, start, music)) << "the music is not what the files hold";
  for (std::size_t i = start + music.size(); i < played.size(); ++i)
    ASSERT_EQ(played[i], 0u) << "after the music, at sample " << i;
}

TEST_F(PlayTest, FilesOfOneRateJoinWithoutAGapAndAnotherRateRestarts) {
  const Bytes first = Wav("1 first.wav", 30000, 44100, 1);
  const Bytes second = Wav("2 second.wav", 22050, 44100, 2);
  const Bytes third = Wav("10 third.wav", 12000, 48000, 3);  // natural order: last
  const auto run =
      Play({dir_.File("10 third.wav"), dir_.File("2 second.wav"), dir_.File("1 first.wav")});
  EXPECT_EQ(Log(),
            "start rate=44100 format=pcm type=18 buffer=512 channels=2\n"
            "start rate=48000 format=pcm type=18 buffer=512 channels=2\n");
  for (int channel = 0; channel < 2; ++channel) {
    SCOPED_TRACE(channel);
    const Samples played = SamplesOfCapture(Capture(channel));
    const Samples joined = JoinSamples({ChannelOf16(first, channel), ChannelOf16(second, channel)});
    const Samples last = ChannelOf16(third, channel);
    // The first start: both 44.1 kHz files back to back after the lead-in.
    const std::size_t firstStart = kHalf + kLeadIn;
    ASSERT_GT(played.size(), firstStart + joined.size() + last.size());
    EXPECT_TRUE(std::all_of(played.begin(), played.begin() + firstStart,
                            [](std::uint32_t s) { return s == 0; }));
    ASSERT_TRUE(fixtures::HoldsAt(played, firstStart, joined));
    // The second start: silence (the first stream's idle end, prefill and
    // a 48 kHz lead-in), then the third file whole, then silence.
    const auto at = std::search(played.begin() + firstStart + joined.size(), played.end(),
                                last.begin(), last.end());
    ASSERT_NE(at, played.end()) << "the third file is not in the capture";
    const auto gap = at - (played.begin() + firstStart + joined.size());
    EXPECT_GE(gap, static_cast<long>(kHalf + 4800));
    EXPECT_TRUE(std::all_of(played.begin() + firstStart + joined.size(), at,
                            [](std::uint32_t s) { return s == 0; }));
    EXPECT_TRUE(
        std::all_of(at + last.size(), played.end(), [](std::uint32_t s) { return s == 0; }));
  }
  EXPECT_EQ(Count(run.out, "\"event\":\"playing\""), 3u);
  EXPECT_NE(run.out.find("{\"event\":\"playing\",\"row\":0,\"title\":\"1 first.wav\",\"artist\":"
                         "\"\",\"path\":\"" +
                         dir_.File("1 first.wav") +
                         "\",\"seconds\":0,\"rate\":44100,\"kind\":\"PCM\",\"bits\":16}"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("\"row\":2,\"title\":\"10 third.wav\""), std::string::npos);
  EXPECT_TRUE(run.out.ends_with("{\"event\":\"stopped\"}\n")) << run.out;
  EXPECT_EQ(Count(run.out, "stopped"), 1u);
}

// The free clock waits for the player: a track far longer than what is
// queued before the start still arrives whole, without silence inside.
TEST_F(PlayTest, TheFreeClockPlaysALongTrackWithoutGaps) {
  const Bytes music = Wav("long.wav", 44100 * 60, 44100, 7);
  Play({dir_.File("long.wav")});
  for (int channel = 0; channel < 2; ++channel)
    ExpectMusicAfterLeadIn(SamplesOfCapture(Capture(channel)), ChannelOf16(music, channel));
}

TEST_F(PlayTest, DsfPlaysNativelyAndAsDsdOverPcm) {
  const std::size_t bytes = 8192;  // per channel, about 23 ms of DSD64
  const auto channels = fixtures::DsdPattern(2, bytes);
  fixtures::WriteFile(dir_.File("tone.dsf"), fixtures::BuildDsf({}, channels));
  const std::vector<Bytes> inTime = InTimeOrder(channels);  // what the DAC must play
  {
    SCOPED_TRACE("native");
    const auto run = Play({"--dsd", "native", dir_.File("tone.dsf")});
    EXPECT_EQ(Log(), "start rate=2822400 format=dsd type=33 buffer=4096 channels=2\n");
    EXPECT_NE(run.out.find("\"rate\":2822400,\"kind\":\"DSD\",\"bits\":1}"), std::string::npos);
    for (int c = 0; c < 2; ++c) {
      const Bytes played = Capture(c);
      const Bytes& music = inTime[static_cast<std::size_t>(c)];
      const auto at = std::search(played.begin(), played.end(), music.begin(), music.end());
      ASSERT_NE(at, played.end()) << "channel " << c;
      // Idle signal, 0.1 s of it at least, before; idle signal only after.
      EXPECT_GE(at - played.begin(), static_cast<long>(kDsdHalf + 2822400 / 80));
      EXPECT_TRUE(std::all_of(played.begin(), at, [](std::uint8_t b) { return b == 0x96; }));
      ASSERT_GT(played.end() - at, static_cast<long>(music.size())) << "the tail was cut";
      EXPECT_TRUE(std::all_of(at + static_cast<long>(music.size()), played.end(),
                              [](std::uint8_t b) { return b == 0x96 || b == 0x00; }));
    }
  }
  {
    SCOPED_TRACE("DSD over PCM");
    Play({"--dsd", "dop", dir_.File("tone.dsf")});
    EXPECT_EQ(Log(), "start rate=176400 format=pcm type=18 buffer=512 channels=2\n");
    for (int c = 0; c < 2; ++c) {
      const Samples played = SamplesOfCapture(Capture(c));
      const Bytes& music = inTime[static_cast<std::size_t>(c)];
      Samples words;  // marker on top, then the earlier DSD byte
      for (std::size_t i = 0; i + 1 < music.size(); i += 2)
        words.push_back(std::uint32_t{music[i]} << 16 | std::uint32_t{music[i + 1]} << 8);
      const auto at =
          std::search(played.begin(), played.end(), words.begin(), words.end(),
                      [](std::uint32_t p, std::uint32_t w) { return (p & 0x00FFFFFF) == w; });
      ASSERT_NE(at, played.end()) << "channel " << c;
      ASSERT_GT(played.end() - at, static_cast<long>(words.size())) << "the tail was cut";
      // The markers alternate without a break from the lead-in through the
      // music to its end.
      const auto first = std::find_if(played.begin(), at, [](std::uint32_t s) { return s != 0; });
      for (auto it = first; it + 1 < at + static_cast<long>(words.size()); ++it) {
        const std::uint32_t a = *it >> 24;
        const std::uint32_t b = *(it + 1) >> 24;
        ASSERT_TRUE((a == 0x05 && b == 0xFA) || (a == 0xFA && b == 0x05))
            << "marker break at sample " << (it - played.begin());
      }
    }
  }
}

TEST_F(PlayTest, AnMp3PairJoinsGaplessly) {
  // One stretch of music cut in two and encoded apart: gapless playback
  // joins the halves back into what the encoder was given.
  const std::size_t frames = 44100;
  const Bytes music = fixtures::TestMusic(44100, 2, 2 * frames);
  const Bytes firstHalf(music.begin(), music.begin() + static_cast<long>(frames * 4));
  const Bytes secondHalf(music.begin() + static_cast<long>(frames * 4), music.end());
  fixtures::WriteWav(dir_.File("a.wav"), {1, 2, 44100, 16}, firstHalf);
  fixtures::WriteWav(dir_.File("b.wav"), {1, 2, 44100, 16}, secondHalf);
  for (const char* name : {"a", "b"}) {
    ASSERT_EQ(fixtures::RunLame({"-b", "320", dir_.File(std::string(name) + ".wav"),
                                 dir_.File(std::string(name) + ".mp3")}),
              "");
  }
  Play({"--mp3-gapless", "-45", dir_.File("a.mp3"), dir_.File("b.mp3")});
  EXPECT_EQ(Count(Log(), "start"), 1u) << Log();
  for (int channel = 0; channel < 2; ++channel) {
    SCOPED_TRACE(channel);
    const Samples played = SamplesOfCapture(Capture(channel));
    const Samples expected = ChannelOf16(music, channel);
    // Decoded MP3 is near, not equal to the input: the length and the
    // alignment must be exact, the samples close.
    const std::size_t start = kHalf + kLeadIn;
    std::size_t last = played.size();
    while (last > start && played[last - 1] == 0)
      --last;
    const std::size_t length = last - start;
    EXPECT_LE(length, expected.size());
    EXPECT_GE(length + 64, expected.size()) << "samples lost at the join or the ends";
    double error = 0;
    double power = 0;
    for (std::size_t i = 0; i < std::min(length, expected.size()); ++i) {
      const double a = static_cast<std::int32_t>(played[start + i]) / 65536.0;
      const double b = static_cast<std::int32_t>(expected[i]) / 65536.0;
      error += (a - b) * (a - b);
      power += b * b;
    }
    EXPECT_LT(error, power * 0.01) << "the decoded music does not line up with the original";
  }
}

TEST_F(PlayTest, TwoFlacTracksJoinWithoutAGap) {
  // One stretch of music cut in two at an odd frame and encoded apart:
  // lossless and gapless, the device receives exactly the whole.
  const Bytes music = fixtures::AudioPattern(44100 * 4 * 2 + 4 * 777, 5);
  const auto cut = static_cast<long>(44100 * 4 + 4 * 333);
  fixtures::WriteWav(dir_.File("a.wav"), {1, 2, 44100, 16},
                     Bytes(music.begin(), music.begin() + cut));
  fixtures::WriteWav(dir_.File("b.wav"), {1, 2, 44100, 16},
                     Bytes(music.begin() + cut, music.end()));
  for (const char* name : {"a", "b"}) {
    ASSERT_EQ(fixtures::EncodeFlac(dir_.File(std::string(name) + ".wav"),
                                   dir_.File(std::string(name) + ".flac")),
              "");
  }
  const auto run = Play({dir_.File("a.flac"), dir_.File("b.flac")});
  EXPECT_EQ(Count(run.out, "\"event\":\"playing\""), 2u) << run.out;
  EXPECT_EQ(Count(Log(), "start"), 1u) << Log();
  for (int channel = 0; channel < 2; ++channel)
    ExpectMusicAfterLeadIn(SamplesOfCapture(Capture(channel)), ChannelOf16(music, channel));
}

TEST_F(PlayTest, DamagedFlacFilesPlayOnlyWhatDecodedCleanly) {
  const Bytes music = Wav("in.wav", 44100 * 3);
  ASSERT_EQ(fixtures::EncodeFlac(dir_.File("in.wav"), dir_.File("good.flac")), "");
  const Bytes good = fixtures::ReadFile(dir_.File("good.flac"));
  Bytes flipped = good;
  flipped[flipped.size() * 3 / 4] ^= 0x08;
  const struct {
    const char* name;
    Bytes bytes;
  } cases[] = {
      {"truncated", Bytes(good.begin(), good.begin() + static_cast<long>(good.size() / 2))},
      {"bit flipped", flipped}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fixtures::WriteFile(dir_.File("bad.flac"), c.bytes);
    // The read that meets the damage fails, the player says so and goes on
    // to the next item (here none): the device got nothing, or the music up
    // to a read before the damage and then silence, never what the decoder
    // made of the damage.
    std::filesystem::remove(dir_.File("cap.0.raw"));
    std::filesystem::remove(dir_.File("cap.1.raw"));
    const auto run = playtest::RunPlay(Args({dir_.File("bad.flac")}, "free"), Environment());
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.out.find("Decode Failed.\\n" + dir_.File("bad.flac")), std::string::npos)
        << run.out;
    for (int channel = 0; channel < 2; ++channel) {
      const Samples played = SamplesOfCapture(Capture(channel));
      const Samples expected = ChannelOf16(music, channel);
      const std::size_t start = kHalf + kLeadIn;
      if (played.empty()) continue;
      ASSERT_GE(played.size(), start);
      std::size_t length = 0;
      while (start + length < played.size() && length < expected.size() &&
             played[start + length] == expected[length]) {
        ++length;
      }
      EXPECT_LT(length, expected.size()) << "the damaged part played";
      for (std::size_t i = start + length; i < played.size(); ++i)
        ASSERT_EQ(played[i], 0u) << "not the music, at sample " << i;
    }
  }
}

TEST_F(PlayTest, ACueSheetPlaysItsTracksOfOneFile) {
  const Bytes audio = Wav("album.wav", 44100 * 2);
  fixtures::WriteCue(dir_.File("album.cue"),
                     "FILE \"album.wav\" WAVE\n"
                     "  TRACK 01 AUDIO\n    TITLE \"One\"\n    INDEX 01 00:00:00\n"
                     "  TRACK 02 AUDIO\n    TITLE \"Two\"\n    INDEX 01 00:01:00\n");
  const auto run = Play({dir_.File("album.cue")});
  EXPECT_EQ(Count(run.out, "\"event\":\"playing\""), 2u);
  EXPECT_NE(run.out.find("\"title\":\"Two\""), std::string::npos);
  for (int channel = 0; channel < 2; ++channel)
    ExpectMusicAfterLeadIn(SamplesOfCapture(Capture(channel)), ChannelOf16(audio, channel));
}

TEST_F(PlayTest, RamModeLoadsEachTrackWholeAndPlaysTheSame) {
  const Bytes first = Wav("1.wav", 20000, 44100, 4);
  const Bytes second = Wav("2.wav", 15000, 44100, 5);
  const auto run = Play({"--ram", dir_.File("1.wav"), dir_.File("2.wav")});
  EXPECT_NE(run.out.find("{\"event\":\"loading\",\"percent\":100}"), std::string::npos) << run.out;
  // Loaded whole before a second of it is reported played.
  EXPECT_LT(run.out.find("{\"event\":\"loading\",\"percent\":100}"),
            run.out.find("{\"event\":\"time\",\"seconds\":0}"));
  for (int channel = 0; channel < 2; ++channel) {
    const Samples played = SamplesOfCapture(Capture(channel));
    const Samples a = ChannelOf16(first, channel);
    const Samples b = ChannelOf16(second, channel);
    EXPECT_NE(std::search(played.begin(), played.end(), a.begin(), a.end()), played.end());
    EXPECT_NE(std::search(played.begin(), played.end(), b.begin(), b.end()), played.end());
  }
}

TEST_F(PlayTest, ExitStatusSaysWhatHappened) {
  Wav("ok.wav", 4410);
  fixtures::WriteFile(dir_.File("broken.wav"), Bytes{'R', 'I', 'F', 'F', 1, 2});
  const auto env = Environment();
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    const char* inOut;
    const char* inErr;
  } cases[] = {
      {{}, 1, "", "usage: quorelle-play"},
      {{"--help"}, 0, "usage: quorelle-play", ""},
      {{"--version"}, 0, "quorelle-play 0.", ""},
      {{"--dsd", "maybe", dir_.File("ok.wav")}, 1, "", "--dsd takes native or dop"},
      {{"--frobnicate"}, 1, "", "unknown option --frobnicate"},
      {{dir_.File("missing.wav")}, 2, "", "nothing to play"},
      {{"--json", dir_.File("broken.wav")}, 2, "{\"event\":\"error\",\"text\":", "nothing to play"},
      {{"--device", "No Such DAC", dir_.File("ok.wav")}, 2, "", "does not open"},
      {{"--virtual", "Clock=free", dir_.File("broken.wav"), dir_.File("ok.wav")}, 0, "playing", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.empty() ? "no arguments" : c.args.front());
    const auto run = RunPlay(c.args, env);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
    EXPECT_NE(run.out.find(c.inOut), std::string::npos) << run.out;
    EXPECT_NE(run.err.find(c.inErr), std::string::npos) << run.err;
  }
}

TEST_F(PlayTest, SigtermStopsPlaybackCleanly) {
  Wav("long.wav", 44100 * 30);
  playtest::PlayProcess process({"--json", dir_.File("long.wav")}, Environment());
  ASSERT_TRUE(process.WaitForOutput("\"event\":\"time\"")) << process.err();
  EXPECT_EQ(process.Terminate(), 0) << process.err();
  EXPECT_TRUE(process.out().ends_with("{\"event\":\"stopped\"}\n")) << process.out();
}

// The ALSA driver registered in the registry folder as a user registers a
// DAC, its Device an ALSA `file` PCM of a private ALSA configuration, which
// records every byte the driver writes. The file PCM's slave is paced like a
// sound card (the test PCM type): `null` would take everything at once, and
// a file would then end before the player had prepared the next one to join.
TEST_F(PlayTest, TheAlsaDriverRecordsEachFileExactly) {
  asiotest::DriverRegistry registry;
  registry.Add("recorder.ini", "Recording DAC", asiotest::kClassA, QP_ALSA_DRIVER_LIB,
               "Device=recorder\n");
  const std::string libraryLine =
      std::string("pcm_type.qptest { lib \"") + QP_TEST_ALSA_PCM_LIB + "\" }\n";
  fixtures::WriteText(dir_.File("asound.conf"),
                      libraryLine + "pcm.recorder { type file format \"raw\" file \"" +
                          dir_.File("recorder.raw") + "\"\n" +
                          "  slave.pcm { type qptest formats \"S32_LE,DSD_U32_BE\" rates "
                          "\"44100,88200\" channels \"2\" paced 1 } }\n");
  const auto environment = Environment(
      {"QP_ASIO_DRIVER_DIR=" + registry.path(), "ALSA_CONFIG_PATH=" + dir_.File("asound.conf")});

  const Bytes first = Wav("a.wav", 22050, 44100, 6);
  const Bytes second = Wav("b.wav", 17640, 44100, 7);
  const auto dsd = fixtures::DsdPattern(2, 8192);  // per channel, about 23 ms of DSD64
  fixtures::WriteFile(dir_.File("tone.dsf"), fixtures::BuildDsf({}, dsd));
  Bytes joined = AsInt32(first);
  const Bytes secondAtDevice = AsInt32(second);
  joined.insert(joined.end(), secondAtDevice.begin(), secondAtDevice.end());

  struct Case {
    const char* label;
    std::vector<std::string> args;
    std::size_t items;
    Bytes music;
    Bytes idleFrame;
    std::size_t leadInFrames;  // 0.1 s at the ALSA rate
  } cases[] = {
      {"two WAVE files joined, as S32_LE",
       {dir_.File("a.wav"), dir_.File("b.wav")},
       2,
       joined,
       Bytes(8, 0),
       4410},
      {"DSF natively, as DSD_U32_BE at 88.2 kHz",
       {"--dsd", "native", dir_.File("tone.dsf")},
       1,
       AsDsdU32Be(InTimeOrder(dsd)),
       Bytes(8, 0x96),
       8820},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    std::vector<std::string> args{"--json", "--device", "Recording DAC"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const auto run = RunPlay(args, environment);
    EXPECT_EQ(run.exitCode, 0) << run.err << run.out;
    EXPECT_EQ(Count(run.out, "\"event\":\"playing\""), c.items) << run.out;
    ExpectMusicBetweenIdle(fixtures::ReadFile(dir_.File("recorder.raw")), c.music, c.idleFrame,
                           c.leadInFrames);
  }
}

// A sink of the sound server PULSE_SERVER names, chosen by its description,
// its monitor recorded with parec. The sink runs at the file's rate, so the
// server passes the renderer's 32-bit samples through unchanged.
TEST_F(PlayTest, ADesktopSinkPlaysTheFileExactly) {
  const pulsetest::PulseDaemon daemon(
      std::vector<pulsetest::NullSink>{{"speakers", "device.description=\"Test Speakers\""}});
  ASSERT_TRUE(daemon.IsRunning()) << daemon.Log();
  const Bytes music = AsInt32(Wav("a.wav", 22050, 44100, 8));
  const Bytes idleFrame(8, 0);
  pulsetest::MonitorCapture capture("speakers.monitor", 44100, 2);
  ASSERT_TRUE(capture.IsRecording());

  const auto run =
      RunPlay({"--json", "--device", "WASAPI: Test Speakers", dir_.File("a.wav")},
              Environment({std::string("PULSE_SERVER=") + std::getenv("PULSE_SERVER")}));
  EXPECT_EQ(run.exitCode, 0) << run.err << run.out;
  EXPECT_EQ(Count(run.out, "\"event\":\"playing\""), 1u) << run.out;
  // The music and a tenth of a second after it; the server's monitor may
  // miss the first milliseconds of the stream, which are the lead-in's.
  const std::size_t after = 4410 * idleFrame.size();
  const Bytes captured = capture.WaitFor(
      [&](const Bytes& bytes) {
        const std::size_t start = IdleBytesAtStart(bytes, idleFrame);
        return start < bytes.size() && bytes.size() >= start + music.size() + after;
      },
      std::chrono::seconds(10));
  ExpectMusicBetweenIdle(captured, music, idleFrame, 0);
}

TEST_F(PlayTest, ListDevicesShowsTheVirtualDac) {
  const auto run = RunPlay({"--list-devices"}, Environment());
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, "Virtual DAC\tvirtual\n");
}

}  // namespace
