// A big playlist: the 10,000 files of BigPlaylistLibrary added through
// the playlist's path list, saved to a .ppl and loaded from it again. Beside
// them in the same run, the least the steps could cost: opening each file
// and reading its first 64 KiB (all of it for an MP3 without an encoder
// header, which is scanned frame by frame), and writes of the .ppl's bytes,
// plain and as durably as the playlist saves. "peak_rss_MiB" is the
// process's peak resident memory during the step (reset before it), "items"
// what the step gave.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "bench/BigPlaylistLibrary.h"
#include "core/PlaylistCtrl.h"
#include "core/PlaylistFile.h"
#include "tests/core/PlaylistTestSupport.h"

namespace {

using playlisttest::Wide;

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
  if (bench::TheBigPlaylistLibrary().ready) return true;
  state.SkipWithError("the media could not be made (lame?)");
  return false;
}

void Report(benchmark::State& state, std::size_t items) {
  state.counters["items"] = static_cast<double>(items);
  state.counters["peak_rss_MiB"] = PeakMemoryMiB();
}

std::shared_ptr<CPlaylistCtrl> AddAll() {
  auto playlist = playlisttest::NewPlaylist(Plugins());
  playlist->AddPathList(bench::TheBigPlaylistLibrary().paths, -1);
  return playlist;
}

std::string PplPath() {
  return bench::TheBigPlaylistLibrary().dir.File("big.ppl");
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
    for (const auto& file : bench::TheBigPlaylistLibrary().files) {
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

// The baselines of saving: the .ppl's bytes written to a new file; and, as
// the playlist saves, durably: written beside it, flushed to the disk,
// renamed over it and the folder flushed, so a crash leaves the old file or
// the new one.
void WriteSameBytes(benchmark::State& state, bool durable) {
  if (!Ready(state)) return;
  if (!WritePlaylistFile(*AddAll(), Wide(PplPath()))) state.SkipWithError("the save failed");
  const fixtures::Bytes bytes = fixtures::ReadFile(PplPath());
  const auto& dir = bench::TheBigPlaylistLibrary().dir;
  const std::string copy = dir.File("copy.ppl"), aside = dir.File("copy.ppl.new");
  ResetPeakMemory();
  for (auto _ : state) {
    const int out = open((durable ? aside : copy).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || write(out, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
      state.SkipWithError("cannot write");
      return;
    }
    if (durable) fsync(out);
    close(out);
    if (durable) {
      std::rename(aside.c_str(), copy.c_str());
      const int folder = open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
      fsync(folder);
      close(folder);
    }
  }
  Report(state, bytes.size());
}
void BM_BigPlaylistBaselineWriteSameBytes(benchmark::State& state) {
  WriteSameBytes(state, false);
}
BENCHMARK(BM_BigPlaylistBaselineWriteSameBytes)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->UseRealTime();
void BM_BigPlaylistBaselineWriteSameBytesDurably(benchmark::State& state) {
  WriteSameBytes(state, true);
}
BENCHMARK(BM_BigPlaylistBaselineWriteSameBytesDurably)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->UseRealTime();

}  // namespace
