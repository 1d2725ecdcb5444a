#include "bench/BigPlaylistLibrary.h"

#include "tests/core/PlaylistTestSupport.h"
#include "tests/fixtures/CueWriter.h"
#include "tests/fixtures/DsfWriter.h"
#include "tests/fixtures/Mp3Fixtures.h"

namespace bench {
namespace {

using playlisttest::Wide;

constexpr int kWaves = 4000, kLameMp3s = 2000, kPlainMp3s = 1500, kDsfs = 2000, kCues = 500;

}  // namespace

BigPlaylistLibrary::BigPlaylistLibrary() {
  for (int i = 0; i < kWaves; ++i) {
    const std::string path = dir.File("wave " + std::to_string(i) + ".wav");
    playlisttest::WriteToneFrames(path, 4410, "Title " + std::to_string(i), "Artist");
    Add(path, false);
  }
  // Two encodings, each copied under many names.
  const std::string music = dir.File("music.wav");
  fixtures::WavFile source;
  source.Format({1, 2, 44100, 16});
  source.Data(fixtures::TestMusic(44100, 2, 44100 * 2)).Write(music);
  const std::string lame = dir.File("lame.mp3"), plain = dir.File("plain.mp3");
  if (!fixtures::RunLame({"-b", "128", music, lame}).empty() ||
      !fixtures::RunLame({"-t", "-b", "128", music, plain}).empty()) {
    return;
  }
  const fixtures::Bytes lameBytes = fixtures::ReadFile(lame);
  const fixtures::Bytes plainBytes = fixtures::ReadFile(plain);
  for (int i = 0; i < kLameMp3s; ++i) {
    const std::string path = dir.File("lame " + std::to_string(i) + ".mp3");
    fixtures::WriteFile(path, lameBytes);
    Add(path, false);
  }
  for (int i = 0; i < kPlainMp3s; ++i) {
    const std::string path = dir.File("plain " + std::to_string(i) + ".mp3");
    fixtures::WriteFile(path, plainBytes);
    Add(path, true);
  }
  const fixtures::Bytes dsf = fixtures::BuildDsf({}, fixtures::DsdPattern(2, 8192));
  for (int i = 0; i < kDsfs; ++i) {
    const std::string path = dir.File("dsd " + std::to_string(i) + ".dsf");
    fixtures::WriteFile(path, dsf);
    Add(path, false);
  }
  for (int i = 0; i < kCues; ++i) {
    const std::string album = "album " + std::to_string(i);
    playlisttest::WriteTone(dir.File(album + ".wav"), 2);
    const std::string path = dir.File(album + ".cue");
    fixtures::WriteCue(path, "FILE \"" + album +
                                 ".wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                                 "  TRACK 02 AUDIO\n    INDEX 01 00:01:00\n");
    Add(path, false);
  }
  ready = true;
}

void BigPlaylistLibrary::Add(const std::string& path, bool wholeFile) {
  paths.push_back(Wide(path));
  files.push_back({path, wholeFile});
}

const BigPlaylistLibrary& TheBigPlaylistLibrary() {
  static const BigPlaylistLibrary library;
  return library;
}

}  // namespace bench
