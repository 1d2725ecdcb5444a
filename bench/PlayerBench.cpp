// The whole player as a user runs it: quorelle-play playing one 60 s file to
// the virtual DAC with a capture, as its own process. Run by hand:
//   build/bin/qp_player_bench [--clock=free|real] [Google Benchmark options]
// The DAC's clock is free by default (each buffer switch as soon as the one
// before returned: the player's own speed), or real (paced at the device
// rate: what playing costs while it keeps time, a minute a run).
// The DAC keeps its default halves (512 frames of PCM, 4096 one-bit samples
// of DSD: 0.36 ms at DSD256), so paced DSD runs make far more buffer
// switches than a real DAC with 10 ms halves would.
// Media and captures are written under $TMPDIR (/dev/shm when TMPDIR is not
// set), so the disk stays out of the figures; the media are made before the
// first measurement (MP3 with lame).
//
//   Time             wall time of the process, start to exit
//   cpu_per_audio_s  CPU seconds (user + system, every thread, from wait4)
//                    per second of audio
//   x_realtime_cpu   its inverse: audio seconds per CPU second
//   first_start_ms   from the fork to the virtual DAC's first start: its
//                    capture log line, seen through inotify the moment the
//                    log is closed. A paced device plays its prefilled half
//                    and the 0.1 s lead-in after that, before the music
//   played_s         seconds the device played (its capture): the 60 s,
//                    the lead-in, and the idle signal after the end until
//                    the player stops the device, which a free clock plays
//                    at its own speed. It waits for the player's audio, so
//                    nothing is padded inside the music
//   wakeups_per_audio_s  context switches of the process per audio second:
//                    where a paced run's CPU goes (the threads' waits)
//   vs_copy          CPU of the run / CPU of `cp` copying the same file to
//                    the same folder (the least a player of the file pays)
//   vs_start         first_start_ms / the wall time of `quorelle-play
//                    --version` (the program's start and exit alone)
// Both peers run in every iteration, beside the player. The "CPU" column of
// the table is this program's own and says nothing.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "tests/fixtures/ChildProcess.h"
#include "tests/fixtures/DsfWriter.h"
#include "tests/fixtures/Mp3Fixtures.h"
#include "tests/fixtures/WavWriter.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kSeconds = 60;
constexpr int kFreeRuns = 3;  // a real clock takes a minute a run: one
constexpr const char* kLogName = "cap.log";

enum class Medium { kWav44k16, kWav192k24, kMp3, kDsd64, kDsd256 };

// The media of this run, each made when first asked for.
class Media {
 public:
  const std::string& Path(Medium medium) {
    auto& path = paths_[static_cast<std::size_t>(medium)];
    if (path.empty()) path = Make(medium);
    return path;
  }
  const std::string& failure() const { return failure_; }
  std::string Folder(const std::string& name) const {
    fs::create_directories(dir_.File(name));
    return dir_.File(name);
  }

 private:
  std::string Make(Medium medium) {
    switch (medium) {
      case Medium::kWav44k16: {
        const std::string path = dir_.File("music-44k16.wav");
        fixtures::WriteWav(path, {1, 2, 44100, 16},
                           fixtures::TestMusic(44100, 2, kSeconds * 44100));
        return path;
      }
      case Medium::kWav192k24: {
        const std::string path = dir_.File("noise-192k24.wav");
        fixtures::WriteWav(path, {1, 2, 192000, 24}, fixtures::AudioPattern(kSeconds * 192000 * 6));
        return path;
      }
      case Medium::kMp3: {
        const std::string path = dir_.File("music-320k.mp3");
        failure_ = fixtures::RunLame({"-b", "320", Path(Medium::kWav44k16), path});
        return failure_.empty() ? path : "";
      }
      case Medium::kDsd64:
      case Medium::kDsd256: {
        const std::uint32_t rate = medium == Medium::kDsd64 ? 2822400 : 11289600;
        const std::string path = dir_.File("dsd" + std::to_string(rate / 44100) + ".dsf");
        fixtures::WriteFile(path, fixtures::BuildDsf({.samplingFrequency = rate},
                                                     fixtures::DsdPattern(2, rate / 8 * kSeconds)));
        return path;
      }
    }
    return "";
  }

  fixtures::TempDir dir_;
  std::string paths_[5];
  std::string failure_;
};

Media& TheMedia() {
  static Media media;
  return media;
}

struct ProcessFigures {
  int exitCode = -1;
  double wallSeconds = 0;
  double cpuSeconds = 0;
  long wakeUps = 0;                  // context switches, every thread
  std::optional<double> logSeconds;  // when `watched`/cap.log was first closed
};

double Seconds(const timeval& time) {
  return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) * 1e-6;
}

// Runs `argv` to its end; with `watched`, notes when the virtual DAC's
// capture log in that folder is first written and closed.
ProcessFigures RunProcess(const std::vector<std::string>& argv,
                          const std::vector<std::string>& environment,
                          const std::string& watched = "") {
  ProcessFigures figures;
  const int notify = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  if (!watched.empty()) inotify_add_watch(notify, watched.c_str(), IN_CLOSE_WRITE);
  const auto started = Clock::now();
  pulsetest::ChildProcess child(argv, environment);
  pollfd fds[2] = {{child.ExitDescriptor(), POLLIN, 0}, {notify, POLLIN, 0}};
  while (child.IsStarted()) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[0].revents != 0) break;  // it has ended
    const auto now = Clock::now();
    alignas(inotify_event) char events[4096];
    const ssize_t got = read(notify, events, sizeof events);
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(events + at);
      if (!figures.logSeconds && event->len > 0 && std::string(event->name) == kLogName)
        figures.logSeconds = std::chrono::duration<double>(now - started).count();
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
  rusage usage{};
  figures.exitCode = child.Wait(&usage);
  figures.wallSeconds = std::chrono::duration<double>(Clock::now() - started).count();
  figures.cpuSeconds = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
  figures.wakeUps = usage.ru_nvcsw + usage.ru_nivcsw;
  close(notify);
  return figures;
}

struct PlayCase {
  const char* name;
  Medium medium;
  std::vector<std::string> options;
  // What the virtual DAC captures per channel and second: PCM and DSD over
  // PCM as 32-bit samples, native DSD as bytes of 8 one-bit samples.
  double captureBytesPerSecond;
};

const PlayCase kCases[] = {
    {"Wav44k16", Medium::kWav44k16, {}, 44100 * 4},
    {"Wav192k24", Medium::kWav192k24, {}, 192000 * 4},
    {"Mp3_320k", Medium::kMp3, {}, 44100 * 4},
    {"Dsd64Native", Medium::kDsd64, {"--dsd", "native"}, 2822400 / 8},
    {"Dsd64Dop", Medium::kDsd64, {"--dsd", "dop"}, 2822400 / 16 * 4},
    {"Dsd256Native", Medium::kDsd256, {"--dsd", "native"}, 11289600 / 8},
    {"Dsd256Dop", Medium::kDsd256, {"--dsd", "dop"}, 11289600 / 16 * 4},
};

void PlayWholeFile(benchmark::State& state, const PlayCase& c, const std::string& clock) {
  Media& media = TheMedia();
  const std::string file = media.Path(c.medium);
  if (file.empty()) {
    state.SkipWithError(("the file was not made: " + media.failure()).c_str());
    return;
  }
  // No stored settings, no driver but the virtual DAC, no sound server.
  const std::vector<std::string> environment = {
      "XDG_DATA_HOME=" + media.Folder("data"), "QP_ASIO_DRIVER_DIR=" + media.Folder("asio"),
      "PULSE_SERVER=unix:" + media.Folder("data") + "/no-server"};
  const std::string captures = media.Folder("capture");
  std::vector<std::string> play{QP_PLAY_BINARY, "--virtual", "Clock=" + clock, "--capture",
                                captures + "/cap"};
  play.insert(play.end(), c.options.begin(), c.options.end());
  play.push_back(file);

  double cpu = 0, firstStart = 0, played = 0, wakeUps = 0, copyCpu = 0, programStart = 0;
  for (auto _ : state) {
    const ProcessFigures run = RunProcess(play, environment, captures);
    std::error_code ignored;
    const double captured = static_cast<double>(fs::file_size(captures + "/cap.0.raw", ignored)) /
                            c.captureBytesPerSecond;
    fs::remove_all(captures, ignored);
    fs::create_directories(captures);
    if (run.exitCode != 0 || !run.logSeconds || captured < kSeconds) {
      state.SkipWithError("quorelle-play did not play the whole file");
      return;
    }
    state.SetIterationTime(run.wallSeconds);
    cpu += run.cpuSeconds;
    firstStart += *run.logSeconds;
    played += captured;
    wakeUps += static_cast<double>(run.wakeUps);
    copyCpu += RunProcess({"cp", file, captures + "/copy"}, {}).cpuSeconds;
    fs::remove(captures + "/copy", ignored);
    programStart += RunProcess({QP_PLAY_BINARY, "--version"}, environment).wallSeconds;
  }
  const auto runs = static_cast<double>(state.iterations());
  const double audio = kSeconds * runs;
  state.counters["cpu_per_audio_s"] = cpu / audio;
  state.counters["x_realtime_cpu"] = audio / cpu;
  state.counters["first_start_ms"] = 1000 * firstStart / runs;
  state.counters["played_s"] = played / runs;
  state.counters["wakeups_per_audio_s"] = wakeUps / audio;
  state.counters["vs_copy"] = cpu / copyCpu;
  state.counters["vs_start"] = firstStart / programStart;
}

}  // namespace

int main(int argc, char** argv) {
  if (std::getenv("TMPDIR") == nullptr && fs::is_directory("/dev/shm")) {
    setenv("TMPDIR", "/dev/shm", 1);
  }
  // Our one option, taken out before the library reads the rest.
  std::string clock = "free";
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--clock=free" || arg == "--clock=real") {
      clock = arg.substr(8);
    } else {
      argv[kept++] = argv[i];
    }
  }
  argc = kept;
  for (const PlayCase& c : kCases) {
    benchmark::RegisterBenchmark(
        (std::string("BM_Player_") + c.name + "/" + clock).c_str(),
        [&c, clock](benchmark::State& state) { PlayWholeFile(state, c, clock); })
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->Iterations(clock == "free" ? kFreeRuns : 1);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
