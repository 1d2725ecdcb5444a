// The windowed player starting with a big playlist, as its own process on
// the offscreen platform, run by hand: build/bin/qp_startup_bench. Its data
// folder holds a player.ppl of the 10,500 items of BigPlaylistLibrary and
// chooses the virtual DAC (paced by a real clock, with a capture); it runs
// with --play, on a private session bus.
//
//   window_ms       from the fork to the player's media-control name on the
//                   bus, which it takes right after its window is shown with
//                   the playlist restored
//   play_to_dac_ms  from then (the Play command runs as the event loop
//                   starts) to the virtual DAC's start, seen through inotify
//                   on its capture log: opening the device, its buffers and
//                   the first decoded blocks. The DAC's first half goes out
//                   at its start; the 0.1 s lead-in follows and is not
//                   counted, nor is the playback thread's 250 ms pause, which
//                   comes after a command is carried out
//   vs_empty        window_ms / the same start with an empty playlist
// A DAC that never starts means the playlist was not restored (Play found
// nothing to play): the run fails.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <optional>

#include "app/AppStartup.h"
#include "bench/BigPlaylistLibrary.h"
#include "core/PlaylistFile.h"
#include "platform/TextConv.h"
#include "tests/core/PlaylistTestSupport.h"
#include "tests/fixtures/ChildProcess.h"
#include "tests/fixtures/DbusDaemon.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr auto kGiveUp = std::chrono::seconds(60);
constexpr char kServiceName[] = "org.mpris.MediaPlayer2.quorelle";

// One home for the player: data folder, driver registry and captures.
class PlayerHome {
 public:
  explicit PlayerHome(bool bigPlaylist) {
    fs::create_directories(dir_.File("asio"));
    fs::create_directories(dir_.File("capture"));
    fs::create_directories(dir_.File("tmp"));
    setenv("XDG_DATA_HOME", dir_.File("data").c_str(), 1);
    const fs::path data = platform::ToUtf8(LocalDataFolder());
    unsetenv("XDG_DATA_HOME");
    fs::create_directories(data);
    fixtures::WriteText((data / "config.ini").string(), "[Config]\nDevice=Virtual DAC\n");
    fixtures::WriteText(dir_.File("asio/virtual-dac.ini"),
                        "[Driver]\nName=Virtual DAC\n"
                        "CLSID={3C5D0A17-0000-4000-8000-00000000D0AC}\n"
                        "Library=" QP_VIRTUAL_DAC_LIB "\n[Settings]\nClock=real\nCapture=" +
                            CapturePrefix() + "\n");
    if (!bigPlaylist) {
      ready_ = true;
      return;
    }
    const auto& library = bench::TheBigPlaylistLibrary();
    if (!library.ready) return;
    auto playlist = playlisttest::NewPlaylist(playlisttest::PlayerPlugins());
    playlist->AddPathList(library.paths, -1);
    ready_ = WritePlaylistFile(*playlist, platform::FromUtf8((data / "player.ppl").string()));
  }

  bool ready() const { return ready_; }
  std::string CapturePrefix() const { return dir_.File("capture/cap"); }
  std::string CaptureFolder() const { return dir_.File("capture"); }
  std::vector<std::string> Environment(const std::string& busAddress) const {
    return {"QT_QPA_PLATFORM=offscreen",
            "XDG_DATA_HOME=" + dir_.File("data"),
            "QP_ASIO_DRIVER_DIR=" + dir_.File("asio"),
            "DBUS_SESSION_BUS_ADDRESS=" + busAddress,
            "PULSE_SERVER=unix:" + dir_.File("no-server"),
            "TMPDIR=" + dir_.File("tmp")};
  }
  void ClearCaptures() const {
    std::error_code ignored;
    fs::remove_all(CaptureFolder(), ignored);
    fs::create_directories(CaptureFolder());
  }

 private:
  fixtures::TempDir dir_;
  bool ready_ = false;
};

struct StartFigures {
  std::optional<double> windowSeconds;
  std::optional<double> dacSeconds;
};

// Starts the player and waits for its name on the bus and, when asked, for
// the DAC's start; then ends it.
StartFigures RunPlayer(const PlayerHome& home, QDBusConnection& bus, const std::string& address,
                       bool waitForDac) {
  StartFigures figures;
  home.ClearCaptures();
  const int notify = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  inotify_add_watch(notify, home.CaptureFolder().c_str(), IN_CLOSE_WRITE);
  const auto started = Clock::now();
  auto since = [&] { return std::chrono::duration<double>(Clock::now() - started).count(); };
  pulsetest::ChildProcess player({QP_PLAYER_BINARY, "--play"}, home.Environment(address));
  QDBusConnectionInterface* names = bus.interface();
  pollfd fds[2] = {{player.ExitDescriptor(), POLLIN, 0}, {notify, POLLIN, 0}};
  while (player.IsStarted() && Clock::now() - started < kGiveUp) {
    if (!figures.windowSeconds && names->isServiceRegistered(QString::fromLatin1(kServiceName))) {
      figures.windowSeconds = since();
      if (!waitForDac) break;
    }
    // The name is asked for every millisecond; the DAC's log and the
    // player's end wake the wait at once.
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(started + kGiveUp - Clock::now());
    const int wait = figures.windowSeconds ? static_cast<int>(std::max<long>(left.count(), 0)) : 1;
    if (poll(fds, 2, wait) < 0 && errno != EINTR) break;
    if (fds[0].revents != 0) break;
    if (fds[1].revents != 0) {
      alignas(inotify_event) char events[4096];
      if (read(notify, events, sizeof events) > 0 && figures.windowSeconds) {
        figures.dacSeconds = since();
        break;
      }
    }
  }
  player.Terminate();
  close(notify);
  return figures;
}

struct Session {
  Session() : daemon({"--session"}) {
    if (!daemon.IsRunning()) return;
    bus = std::make_unique<QDBusConnection>(
        QDBusConnection::connectToBus(QString::fromStdString(daemon.address()), "bench"));
  }
  pulsetest::DbusDaemon daemon;
  std::unique_ptr<QDBusConnection> bus;
};

Session& TheSession() {
  static Session session;
  return session;
}

void BM_StartWithBigPlaylist(benchmark::State& state) {
  static const PlayerHome big(true);
  static const PlayerHome empty(false);
  Session& session = TheSession();
  if (!session.bus || !session.bus->isConnected()) {
    state.SkipWithError("no private session bus (dbus-daemon?)");
    return;
  }
  if (!big.ready() || !empty.ready()) {
    state.SkipWithError("the playlist could not be made (lame?)");
    return;
  }
  double window = 0, play = 0, emptyWindow = 0;
  for (auto _ : state) {
    const StartFigures run = RunPlayer(big, *session.bus, session.daemon.address(), true);
    const StartFigures bare = RunPlayer(empty, *session.bus, session.daemon.address(), false);
    if (!run.windowSeconds || !run.dacSeconds || !bare.windowSeconds) {
      state.SkipWithError("the player did not show its window or did not start the DAC");
      return;
    }
    state.SetIterationTime(*run.windowSeconds);
    window += *run.windowSeconds;
    play += *run.dacSeconds - *run.windowSeconds;
    emptyWindow += *bare.windowSeconds;
  }
  const auto runs = static_cast<double>(state.iterations());
  state.counters["window_ms"] = 1000 * window / runs;
  state.counters["play_to_dac_ms"] = 1000 * play / runs;
  state.counters["vs_empty"] = window / emptyWindow;
}
BENCHMARK(BM_StartWithBigPlaylist)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  if (std::getenv("TMPDIR") == nullptr && fs::is_directory("/dev/shm")) {
    setenv("TMPDIR", "/dev/shm", 1);
  }
  const QCoreApplication application(argc, argv);  // for the bus connection
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
