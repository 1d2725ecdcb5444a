// A big playlist: 10,000 files (WAVE with tags, MP3 with a LAME header, MP3
// without any encoder header, DSF, cue sheets of two tracks) added through
// the playlist's path list, saved to a .ppl and loaded from it again. Beside
// them in the same run, the least the steps could cost: opening each file
// and reading its first 64 KiB (all of it for an MP3 without an encoder
// header, which is scanned frame by frame), and a plain write of the .ppl's
// bytes. "peak_rss_MiB" is the process's peak resident memory during the
// step (reset before it), "items" what the step gave.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "core/PlaylistCtrl.h"
#include "core/PlaylistFile.h"
#include "tests/core/PlaylistTestSupport.h"
#include "tests/fixtures/CueWriter.h"
#include "tests/fixtures/Mp3Fixtures.h"

namespace {

using playlisttest::Wide;

constexpr int kWaves = 4000, kLameMp3s = 2000, kPlainMp3s = 1500, kDsfs = 2000, kCues = 500;

struct Library {
  Library() {
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
  void Add(const std::string& path, bool wholeFile) {
    paths.push_back(Wide(path));
    files.push_back({path, wholeFile});
  }

  fixtures::TempDir dir;
  std::vector<std::wstring> paths;
  struct File {
    std::string path;
    bool wholeFile;
  };
  std::vector<File> files;
  bool ready = false;
};

const Library& TheLibrary() {
  static const Library library;
  return library;
}

const std::shared_ptr<CPluginCtrl>& Plugins() {
  static const auto plugins = playlisttest::PlayerPlugins();
  return plugins;
}

// The peak resident memory from here on.
void ResetPeakMemory() {
  std::ofstream("/proc/self/clear_refs") << "5";
}

double PeakMemoryMiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024;
  }
  return 0;
}

bool Ready(benchmark::State& state) {
  if (TheLibrary().ready) return true;
  state.SkipWithError("the media could not be made (lame?)");
  return false;
}

void Report(benchmark::State& state, std::size_t items) {
  state.counters["items"] = static_cast<double>(items);
  state.counters["peak_rss_MiB"] = PeakMemoryMiB();
}

std::shared_ptr<CPlaylistCtrl> AddAll() {
  auto playlist = playlisttest::NewPlaylist(Plugins());
  playlist->AddPathList(TheLibrary().paths, -1);
  return playlist;
}

std::string PplPath() {
  return TheLibrary().dir.File("big.ppl");
}

void BM_BigPlaylistAdd(benchmark::State& state) {
  if (!Ready(state)) return;
  Plugins();
  std::size_t items = 0;
  ResetPeakMemory();
  for (auto _ : state)
    items = static_cast<std::size_t>(AddAll()->Count());
  Report(state, items);
}
BENCHMARK(BM_BigPlaylistAdd)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_BigPlaylistSave(benchmark::State& state) {
  if (!Ready(state)) return;
  const auto playlist = AddAll();
  ResetPeakMemory();
  for (auto _ : state) {
    if (!WritePlaylistFile(*playlist, Wide(PplPath()))) state.SkipWithError("the save failed");
  }
  Report(state, static_cast<std::size_t>(playlist->Count()));
}
BENCHMARK(BM_BigPlaylistSave)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

void BM_BigPlaylistLoad(benchmark::State& state) {
  if (!Ready(state)) return;
  if (!WritePlaylistFile(*AddAll(), Wide(PplPath()))) state.SkipWithError("the save failed");
  std::vector<TrackInfo> items;
  ResetPeakMemory();
  for (auto _ : state) {
    if (!ReadPlaylistFile(Wide(PplPath()), &items, Plugins()))
      state.SkipWithError("the load failed");
  }
  Report(state, items.size());
}
BENCHMARK(BM_BigPlaylistLoad)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

// The baseline of adding and loading: each file opened and its head read.
void BM_BigPlaylistBaselineReadHeads(benchmark::State& state) {
  if (!Ready(state)) return;
  std::vector<char> buffer(64 * 1024);
  std::size_t files = 0;
  ResetPeakMemory();
  for (auto _ : state) {
    files = 0;
    for (const auto& file : TheLibrary().files) {
      const int fd = ::open(file.path.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) continue;
      ssize_t got = 0;
      do {
        got = ::read(fd, buffer.data(), buffer.size());
      } while (got > 0 && file.wholeFile);
      ::close(fd);
      ++files;
    }
  }
  Report(state, files);
}
BENCHMARK(BM_BigPlaylistBaselineReadHeads)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

// The baseline of saving: the .ppl's bytes written to a new file.
void BM_BigPlaylistBaselineWriteSameBytes(benchmark::State& state) {
  if (!Ready(state)) return;
  if (!WritePlaylistFile(*AddAll(), Wide(PplPath()))) state.SkipWithError("the save failed");
  const fixtures::Bytes bytes = fixtures::ReadFile(PplPath());
  const std::string copy = TheLibrary().dir.File("copy.ppl");
  ResetPeakMemory();
  for (auto _ : state) {
    std::FILE* out = std::fopen(copy.c_str(), "wb");
    if (out == nullptr) {
      state.SkipWithError("cannot write");
      return;
    }
    std::fwrite(bytes.data(), 1, bytes.size(), out);
    std::fclose(out);
  }
  Report(state, bytes.size());
}
BENCHMARK(BM_BigPlaylistBaselineWriteSameBytes)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->UseRealTime();

}  // namespace
