// The output engine playing through the ALSA driver into an ALSA `file` PCM
// over `null`, which records exactly the interleaved bytes the driver writes.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/output/EngineTestSupport.h"

namespace {

using enginetest::Bytes;
using enginetest::EngineHarness;

constexpr std::size_t kFrames = 3000;  // DSD words per channel, about 34 ms of DSD64

// Writes the private ALSA configuration: "dac" records to dac.raw.
void UseFilePcm(const EngineHarness& h) {
  const std::string text = "pcm.dac { type file slave.pcm { type null } format \"raw\" file \"" +
                           h.registry.File("dac.raw") + "\" }\n";
  fixtures::WriteFile(h.registry.File("asound.conf"), Bytes(text.begin(), text.end()));
  setenv("ALSA_CONFIG_PATH", h.registry.File("asound.conf").c_str(), 1);
}

// Plays one DSD64 track of `words` (interleaved 32-bit words of two channels,
// each in time order) to the end, then stops as the playback thread does at
// the end of a playlist; the recording.
Bytes PlayToTheEnd(std::int32_t decodeMode, const Bytes& words) {
  EngineHarness h(QP_ALSA_DRIVER_LIB, "Device=dac\nKeepOpen=0\n", decodeMode);
  UseFilePcm(h);
  h.engine->PrepareSlot(true, 88200, true, false);
  h.blocks->Add(0, words, output::kFormatDsd, 2, 88200);
  h.blocks->End(0);
  EXPECT_EQ(h.engine->StartOutput(32, false, 88200, output::kFormatDsd), 0);
  std::optional<platform::ThreadMessage> end;
  while ((end = h.messages->WaitFor(10000)) && end->id != TM_TRACK_END) {
  }
  EXPECT_TRUE(end.has_value()) << "the track never ended";
  h.engine->DrainAndStop(false);
  h.engine.reset();
  unsetenv("ALSA_CONFIG_PATH");
  return fixtures::ReadFile(h.registry.File("dac.raw"));
}

// Checks that `recording` is silence frames, exactly `stream`, then at least
// `idleAfter` bytes of silence frames: the device idles before and after the
// track, but no byte of it is lost, added or moved.
void ExpectStreamBetweenSilence(const Bytes& recording, const Bytes& stream,
                                const Bytes& silenceFrame, std::size_t idleAfter) {
  const auto at = std::search(recording.begin(), recording.end(), stream.begin(), stream.end());
  ASSERT_NE(at, recording.end()) << "the stream is not in the recording";
  const std::size_t before = static_cast<std::size_t>(at - recording.begin());
  const std::size_t frame = silenceFrame.size();
  ASSERT_EQ(before % frame, 0u);
  for (std::size_t i = 0; i < before; ++i)
    ASSERT_EQ(recording[i], silenceFrame[i % frame]) << "before the stream, at byte " << i;
  const std::size_t after = before + stream.size();
  ASSERT_GE(recording.size(), after + idleAfter)
      << "the device stopped before the track's end played out";
  for (std::size_t i = after; i < recording.size(); ++i)
    ASSERT_EQ(recording[i], silenceFrame[(i - after) % frame]) << "after the stream, at byte " << i;
}

// After the track, the drain stop: the engine's silent halves until the
// device has played the track's last half, then the half the driver was
// given and one half of idle signal; the halves are 10 ms of frames.
TEST(AlsaEngineTest, Dsd64ArrivesAsDsdU32BeNativelyAndAsS32LeDopWords) {
  const Bytes words = fixtures::AudioPattern(kFrames * 2 * 4, 23);
  {
    SCOPED_TRACE("native: DSD_U32_BE frames are four bytes of each channel in time order");
    ExpectStreamBetweenSilence(PlayToTheEnd(kDecodeNative, words), words, Bytes(8, 0x96),
                               2 * 882 * 8);
  }
  {
    SCOPED_TRACE("DSD over PCM: S32_LE words with the marker in the top byte");
    Bytes dop;
    std::uint8_t marker = 0x05;
    for (std::size_t f = 0; f < kFrames; ++f) {
      // Each frame's two words per channel carry bytes 0-1 and 2-3; the
      // markers alternate through the whole stream.
      for (int half = 0; half < 2; ++half) {
        for (int c = 0; c < 2; ++c) {
          const std::uint8_t* b = &words[(f * 2 + c) * 4 + 2 * half];
          dop.insert(dop.end(), {0, b[1], b[0], marker});
        }
        marker = marker == 0x05 ? 0xFA : 0x05;
      }
    }
    ExpectStreamBetweenSilence(PlayToTheEnd(kDecodeDop, words), dop, Bytes(8, 0), 2 * 1764 * 8);
  }
}

}  // namespace
