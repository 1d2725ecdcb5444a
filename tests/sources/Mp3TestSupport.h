#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/TextConv.h"
#include "sources/MusicData.h"
#include "tests/fixtures/Id3Writer.h"
#include "tests/fixtures/Mp3Fixtures.h"
#include "tests/fixtures/WavWriter.h"
#include "tests/sources/SourceTestSupport.h"

namespace mp3test {

using fixtures::Bytes;

inline const fixtures::WavFormat kCdStereo{1, 2, 44100, 16};

// An ID3v2 text frame of 8-bit (encoding 0) or UTF-8 (3) text.
inline fixtures::Id3v2Frame Text(const std::string& id, const std::string& text,
                                 std::uint8_t encoding = 0) {
  return fixtures::TextFrame(id, encoding, fixtures::TextBytes(text));
}

// The frame with a size field that lies.
inline fixtures::Id3v2Frame Lying(fixtures::Id3v2Frame frame, std::uint32_t declaredSize) {
  frame.declaredSize = declaredSize;
  return frame;
}

// A WAV file of `pcm` and its MP3 encoding by lame with `lameArgs`; the test
// fails (not skips) when lame cannot run.
struct EncodedFile {
  std::string wavPath, mp3Path;
  Bytes pcm;
};

inline EncodedFile Encode(const fixtures::TempDir& dir, const std::string& name,
                          const fixtures::WavFormat& format, Bytes pcm,
                          std::vector<std::string> lameArgs) {
  EncodedFile file{dir.File(name + ".wav"), dir.File(name + ".mp3"), std::move(pcm)};
  fixtures::WriteWav(file.wavPath, format, file.pcm);
  lameArgs.push_back(file.wavPath);
  lameArgs.push_back(file.mp3Path);
  const std::string failure = fixtures::RunLame(lameArgs);
  EXPECT_EQ(failure, "");
  return file;
}

inline std::vector<std::int16_t> Samples(const Bytes& bytes) {
  std::vector<std::int16_t> out(bytes.size() / 2);
  for (std::size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<std::int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  return out;
}

// Normalised correlation of two interleaved signals with `b` shifted by `lag`
// sample frames, over the frames both cover.
inline double Correlation(const std::vector<std::int16_t>& a, const std::vector<std::int16_t>& b,
                          int channels, int lag) {
  const long frames = static_cast<long>(std::min(a.size(), b.size()) / channels);
  double ab = 0, aa = 0, bb = 0;
  for (long i = std::max(0, -lag); i < frames && i + lag < frames; ++i) {
    if (i + lag < 0) continue;
    for (int c = 0; c < channels; ++c) {
      const double x = a[i * channels + c];
      const double y = b[(i + lag) * channels + c];
      ab += x * y;
      aa += x * x;
      bb += y * y;
    }
  }
  return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

// The shift of `b` against `a` within +-maxLag frames that correlates best.
inline int BestLag(const std::vector<std::int16_t>& a, const std::vector<std::int16_t>& b,
                   int channels, int maxLag) {
  int best = 0;
  double bestValue = -2;
  for (int lag = -maxLag; lag <= maxLag; ++lag) {
    const double value = Correlation(a, b, channels, lag);
    if (value > bestValue) {
      bestValue = value;
      best = lag;
    }
  }
  return best;
}

inline MusicOpenParams Params(const std::string& path, bool gapless = false,
                              double threshold = -96.0) {
  return {platform::FromUtf8(path), gapless, threshold};
}

}  // namespace mp3test
