#include "tools/play/PlaySession.h"

#include <poll.h>

#include <cerrno>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "app/AppConfigData.h"
#include "app/AppStartup.h"
#include "app/AppTkSettings.h"
#include "core/PlaylistCtrl.h"
#include "core/TkRowTable.h"
#include "core/TkScriptedDialogs.h"
#include "core/ToolkitFacade.h"
#include "output/AsioDriverList.h"
#include "output/AsioWrapper.h"
#include "output/DevNameInfo.h"
#include "output/DeviceSelection.h"
#include "output/EngineSettings.h"
#include "output/RenderEndpoints.h"
#include "platform/ErrorReport.h"
#include "platform/StringTable.h"
#include "platform/TextConv.h"
#include "tools/common/Json.h"
#include "tools/play/EventText.h"
#include "tools/play/PlayEvents.h"
#include "tools/play/Terminal.h"

namespace play {
namespace {

namespace fs = std::filesystem;
using Kind = PlayEvent::Kind;

constexpr std::uint32_t kSeekStep = 10;
// How long one look at the playback thread waits, so that keys and signals
// are still read while it is busy.
constexpr std::chrono::milliseconds kIdleLook{100};

// The virtual DAC for this run: always listed, with the settings and the
// capture of the command line. A capture starts empty.
void PrepareVirtualDac(const PlayOptions& options) {
  RegisterVirtualDac();
  std::string lines;
  for (const auto& setting : options.virtualSettings)
    lines += setting + "\n";
  if (!options.capture.empty()) {
    const fs::path prefix(options.capture);
    const fs::path folder = prefix.has_parent_path() ? prefix.parent_path() : fs::path(".");
    const std::string stem = prefix.filename().string() + ".";
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
      const std::string name = it->path().filename().string();
      if (name.starts_with(stem) && (name.ends_with(".raw") || name == stem + "log")) {
        fs::remove(it->path(), error);
      }
    }
    lines += "Capture=" + options.capture + "\n";
  }
  if (!lines.empty()) AddAsioDriverSettings(kVirtualDacName, lines);
}

// The stored settings with the command line's choices over them.
std::shared_ptr<CAppConfigData> RunConfiguration(const PlayOptions& options) {
  auto config = std::make_shared<CAppConfigData>();
  LoadConfigurationReadOnly(*config, LocalDataFolder());
  if (options.device) {
    config->device.value = *options.device;
  } else if (config->device.value.empty()) {
    config->device.value = platform::FromUtf8(kVirtualDacName);
  }
  if (options.decodeMode) config->decodeMode.value = *options.decodeMode;
  if (options.ram) config->ramMode.value = 1;
  if (options.mp3GaplessThreshold) {
    config->mp3Gapless.value = true;
    config->thrGapless.value = *options.mp3GaplessThreshold;
  }
  return config;
}

// One run: the facade with a row table for its list, the events, and the
// state that decides when the playlist has ended.
class Session {
 public:
  Session(const PlayOptions& options, std::ostream& out, std::ostream& err)
      : options_(options), out_(out), err_(err) {}

  int Run();

 private:
  void Print(const PlayEvent& event);
  // Handles every queued event.
  void Drain();
  void OnKey(CTerminalKeys::Key key);
  // True once a stop has been reported and the playback thread has since
  // handled everything without starting anything.
  bool Ended();

  const PlayOptions& options_;
  std::ostream& out_;
  std::ostream& err_;
  std::shared_ptr<CAppConfigData> config_;
  std::shared_ptr<CPlayEvents> events_ = std::make_shared<CPlayEvents>();
  std::unique_ptr<CToolkitFacade> facade_;
  CTkRowTable rows_;
  CTkScriptedDialogs dialogs_;

  bool requested_ = false;    // a play request was handled
  bool played_ = false;       // an item started playing
  bool stopPending_ = false;  // stopped, and nothing started since
  bool failed_ = false;       // an error was reported after the first request
  bool quit_ = false;
  bool timing_ = false;   // time reports belong to the item playing
  bool stopped_ = false;  // the last state printed was "stopped"
  std::int64_t lastSecond_ = -1;
  std::uint32_t position_ = 0;  // played seconds of the current item
};

void Session::Print(const PlayEvent& event) {
  TrackInfo item;
  const TrackInfo* playing = nullptr;
  if (event.kind == Kind::kPlaying && facade_->GetPlaylist() &&
      facade_->GetPlaylist()->GetItem(event.row, &item) == 0) {
    playing = &item;
  }
  const std::string line =
      EventLine(event, playing, options_.json, config_->decodeMode.value == kDecodeNative);
  if (!line.empty()) out_ << line << "\n" << std::flush;
  if (event.kind == Kind::kError) err_ << "quorelle-play: " << platform::ToUtf8(event.text) << "\n";
}

void Session::Drain() {
  while (auto event = events_->Take()) {
    switch (event->kind) {
      case Kind::kPlayRequest:
        requested_ = true;
        stopPending_ = false;
        timing_ = false;
        continue;
      case Kind::kPlaylistChanged:
        continue;
      case Kind::kPlaying:
        played_ = true;
        timing_ = true;
        stopped_ = false;
        stopPending_ = false;
        lastSecond_ = -1;
        position_ = 0;
        break;
      case Kind::kLoading:
      case Kind::kSkipped:
        stopPending_ = false;
        break;
      case Kind::kStopped:
        stopPending_ = requested_;
        timing_ = false;
        // The stop at the end and the one Exit makes say the same.
        if (stopped_) continue;
        stopped_ = true;
        break;
      case Kind::kTime:
        // Once a second while an item plays: the reports at a play request
        // and repeated seconds say nothing new.
        position_ = event->seconds;
        if (!timing_ || event->seconds == lastSecond_) continue;
        lastSecond_ = event->seconds;
        break;
      case Kind::kError:
        if (requested_) failed_ = true;
        break;
      default:
        break;
    }
    Print(*event);
  }
}

void Session::OnKey(CTerminalKeys::Key key) {
  using Key = CTerminalKeys::Key;
  switch (key) {
    case Key::kPause:
      facade_->Pause();
      break;
    case Key::kNext:
      facade_->Next();
      break;
    case Key::kPrevious:
      facade_->Prev();
      break;
    case Key::kBack:
      facade_->Seek(static_cast<std::int32_t>(position_ > kSeekStep ? position_ - kSeekStep : 0));
      break;
    case Key::kForward:
      facade_->Seek(static_cast<std::int32_t>(position_ + kSeekStep));
      break;
    case Key::kQuit:
      quit_ = true;
      break;
    case Key::kNone:
      break;
  }
}

bool Session::Ended() {
  if (!stopPending_ || !facade_->WaitUntilIdle(kIdleLook)) return false;
  Drain();
  return stopPending_ && facade_->TransportState() == core::Transport::kStopped;
}

int Session::Run() {
  PrepareVirtualDac(options_);
  config_ = RunConfiguration(options_);
  platform::SetAppErrorManager(events_);
  facade_ = std::make_unique<CToolkitFacade>(std::make_shared<CAppTkSettings>(config_));
  const TkInitParams params{events_, &rows_, &rows_, &dialogs_};
  if (facade_->Init(&params) != kTkOk) {
    err_ << "quorelle-play: the playback thread could not be started\n";
    return kExitFailure;
  }
  const std::wstring device = config_->device.value;
  if (!facade_->CanOpenDevice(device)) {
    err_ << "quorelle-play: the output device \"" << platform::ToUtf8(device)
         << "\" does not open; --list-devices shows those that do\n";
    facade_->Exit();
    return kExitFailure;
  }
  facade_->ApplyConfig(OutputConfigOf(*config_), true);
  facade_->SetRepeat(static_cast<std::uint32_t>(options_.repeat));
  if (options_.shuffle) facade_->SetShuffle(true);
  if (!options_.cdDevice.empty()) {
    facade_->OpenCD(options_.cdDevice);
  } else {
    facade_->AddFileList(options_.files);
  }
  Drain();
  if (facade_->GetPlaylist()->Count() == 0) {
    err_ << "quorelle-play: nothing to play\n";
    facade_->Exit();
    return kExitFailure;
  }
  facade_->Play();

  CTerminalKeys keys;
  CStopSignals signals;
  while (!quit_) {
    Drain();
    if (Ended()) break;
    pollfd fds[3] = {{events_->WakeFd(), POLLIN, 0}, {signals.fd(), POLLIN, 0}, {-1, POLLIN, 0}};
    if (keys.active()) fds[2].fd = keys.fd();
    // While a stop waits to be confirmed the loop goes back to the playback
    // thread at once; otherwise it sleeps until something happens.
    if (poll(fds, 3, stopPending_ ? 0 : -1) < 0 && errno != EINTR) break;
    if (fds[1].revents != 0) quit_ = true;
    if (fds[2].revents != 0) {
      for (const auto key : keys.ReadKeys())
        OnKey(key);
    }
  }
  facade_->Exit();
  Drain();
  // Exit stops playback quietly (its quit supersedes the stop it posts).
  if (played_ && !stopped_) Print({.kind = Kind::kStopped});
  platform::SetAppErrorManager(nullptr);
  if (!played_) {
    err_ << "quorelle-play: nothing could be played\n";
    return kExitFailure;
  }
  return failed_ ? kExitFailure : kExitOk;
}

}  // namespace

int RunPlay(const PlayOptions& options, std::ostream& out, std::ostream& err) {
  return Session(options, out, err).Run();
}

int ListDevices(const PlayOptions& options, std::ostream& out) {
  PrepareVirtualDac(options);
  // The host operations that open a device go through the renderer binding.
  const auto binding = CAsioWrapperImpl::Create();
  const CDevNameInfo maker;
  auto recognised = [&maker](const std::wstring& name) {
    for (std::uint32_t i = 0; i < maker.GetDeviceCount(); ++i) {
      if (maker.GetDeviceName(i) == name) return true;
    }
    return false;
  };
  struct Device {
    std::wstring name;
    const char* kind;
  };
  std::vector<Device> devices;
  InstalledAsioDrivers drivers;
  for (std::int32_t id = 0; id < drivers.GetDriverCount(); ++id) {
    char name[128];
    drivers.GetDriverName(id, name, sizeof name);
    devices.push_back({platform::FromUtf8(name),
                       std::string_view(name) == kVirtualDacName ? "virtual" : "driver"});
  }
  for (const auto& endpoint : EnumerateRenderEndpoints())
    devices.push_back({EndpointDeviceName(endpoint.friendlyName), "desktop"});
  for (const auto& device : devices) {
    if (!CanOpenDevice(device.name)) continue;
    const bool isMaker = recognised(device.name);
    const std::string name = platform::ToUtf8(device.name);
    if (options.json) {
      out << tools::JsonLine()
                 .Add("name", name)
                 .Add("kind", device.kind)
                 .AddBool("recognised", isMaker)
                 .str()
          << "\n";
    } else {
      out << name << "\t" << device.kind << (isMaker ? "\trecognised" : "") << "\n";
    }
  }
  return kExitOk;
}

}  // namespace play
