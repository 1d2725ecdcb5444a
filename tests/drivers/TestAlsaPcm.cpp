// A test-only ALSA PCM type ("qptest"), loaded by a test's ALSA configuration
// through pcm_type.qptest { lib ... }. It stands for a sound card whose
// formats, rates and channel counts come from its configuration, consumes
// whatever it is given at once (or, paced, at its rate, waking pollers every
// millisecond like a sound card's period interrupt), and can refuse to open,
// vanish mid-stream or underrun. Paced, it behaves as a card does: the
// pointer (and so snd_pcm_delay) says what it has played, running dry is an
// underrun, a drop loses what it had not played, and `played` records only
// the frames it really played, in order:
//
//   pcm.name {
//     type qptest
//     formats "S16_LE,DSD_U8"   accepted formats (ALSA names)
//     rates "44100,48000"       accepted rates
//     channels "2"              accepted channel counts
//     record "/path"            every byte written, appended as it arrives
//     played "/path"            every frame played, appended as it plays
//     log "/path"               one line per hw_params: format channels rate
//     log_stops 1               and one per stop of a started stream:
//                               "stop unplayed=N", the frames it never played
//     open_error 16             open fails with this errno (16: busy)
//     vanish_after 4096         frames accepted before writes fail with ENODEV
//     xrun_after 4096           frames played before one underrun
//     paced 1                   plays in real time instead of at once
//     stall_after 0             paced: plays no further than this many frames
//     can_pause 1               the card can pause (snd_pcm_pause)
//     period_bytes "64,65536"   the period sizes it takes, in bytes
//     log_opens 1               "open" and "close" in the log at every open and
//                               close, "period N" after each hw_params line
//   }
#include <alsa/asoundlib.h>
#include <alsa/pcm_external.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct TestPcm {
  snd_pcm_ioplug_t io{};
  std::vector<unsigned> formats, rates, channels;
  std::string record, played, log;
  long vanishAfter = -1;
  long xrunAfter = -1;
  long stallAfter = -1;
  long periodBytesMin = 64, periodBytesMax = 16 << 20;
  bool xrunDone = false;
  bool paced = false;
  bool logStops = false;
  bool logOpens = false;
  bool canPause = false;
  bool started = false;
  bool paused = false;
  snd_pcm_uframes_t transferred = 0;
  snd_pcm_uframes_t preparedAt = 0;  // frames transferred when last prepared
  snd_pcm_uframes_t playedOut = 0;   // frames since the last prepare already in `played`
  // Bytes transferred since the last prepare and not yet in `played`.
  std::vector<unsigned char> unplayed;
  std::chrono::steady_clock::time_point startedAt;
  std::chrono::steady_clock::time_point pausedAt;
  std::FILE* recordFile = nullptr;
  std::FILE* playedFile = nullptr;
};

using Clock = std::chrono::steady_clock;

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> items;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ','))
    if (!item.empty()) items.push_back(item);
  return items;
}

void Log(const TestPcm& pcm, const std::string& line) {
  if (pcm.log.empty()) return;
  if (std::FILE* log = std::fopen(pcm.log.c_str(), "a")) {
    std::fprintf(log, "%s\n", line.c_str());
    std::fclose(log);
  }
}

snd_pcm_uframes_t Queued(const TestPcm& pcm) {
  return pcm.transferred - pcm.preparedAt;
}

// The frames the card's clock has reached since the start: all of it when
// not paced, else the rate times the running time (a pause stops the clock).
double ClockFrames(const TestPcm& pcm) {
  if (!pcm.paced) return static_cast<double>(Queued(pcm));
  const auto now = pcm.paused ? pcm.pausedAt : Clock::now();
  const std::chrono::duration<double> elapsed = now - pcm.startedAt;
  double frames = elapsed.count() * pcm.io.rate;
  if (pcm.stallAfter >= 0) frames = std::min(frames, static_cast<double>(pcm.stallAfter));
  return frames;
}

// The frames played since the last prepare: nothing before the start, then
// what the clock allows of what was transferred.
snd_pcm_uframes_t Played(const TestPcm& pcm) {
  if (!pcm.started) return pcm.playedOut;
  return std::max(pcm.playedOut,
                  std::min(Queued(pcm), static_cast<snd_pcm_uframes_t>(ClockFrames(pcm))));
}

// Moves what has been played since the last look into the `played` file.
void PlayOut(TestPcm& pcm) {
  const snd_pcm_uframes_t played = Played(pcm);
  if (played <= pcm.playedOut) return;
  const auto bytes = static_cast<std::size_t>(
      snd_pcm_frames_to_bytes(pcm.io.pcm, static_cast<snd_pcm_sframes_t>(played - pcm.playedOut)));
  if (pcm.playedFile != nullptr) {
    std::fwrite(pcm.unplayed.data(), 1, bytes, pcm.playedFile);
    std::fflush(pcm.playedFile);
  }
  pcm.unplayed.erase(pcm.unplayed.begin(), pcm.unplayed.begin() + static_cast<long>(bytes));
  pcm.playedOut = played;
}

int Start(snd_pcm_ioplug_t* io) {
  auto* pcm = static_cast<TestPcm*>(io->private_data);
  pcm->started = true;
  pcm->paused = false;
  pcm->startedAt = Clock::now();
  return 0;
}

int Prepare(snd_pcm_ioplug_t* io) {
  auto* pcm = static_cast<TestPcm*>(io->private_data);
  pcm->started = false;
  pcm->paused = false;
  pcm->preparedAt = pcm->transferred;
  pcm->playedOut = 0;
  pcm->unplayed.clear();
  return 0;
}

int Stop(snd_pcm_ioplug_t* io) {
  auto* pcm = static_cast<TestPcm*>(io->private_data);
  PlayOut(*pcm);
  if (pcm->logStops && pcm->started)
    Log(*pcm, "stop unplayed=" + std::to_string(Queued(*pcm) - pcm->playedOut));
  // What was not played is gone, as on a card.
  pcm->unplayed.clear();
  pcm->started = false;
  pcm->paused = false;
  return 0;
}

int Pause(snd_pcm_ioplug_t* io, int enable) {
  auto* pcm = static_cast<TestPcm*>(io->private_data);
  PlayOut(*pcm);
  if (enable != 0 && !pcm->paused) {
    pcm->paused = true;
    pcm->pausedAt = Clock::now();
    Log(*pcm, "pause");
  } else if (enable == 0 && pcm->paused) {
    pcm->startedAt += Clock::now() - pcm->pausedAt;
    pcm->paused = false;
    Log(*pcm, "resume");
  }
  return 0;
}

// The pointer runs up to the boundary, so a whole buffer written in one go
// still counts as played. A paced card whose clock passed the end of what
// it was given has run dry: an underrun.
snd_pcm_sframes_t Pointer(snd_pcm_ioplug_t* io) {
  auto* pcm = static_cast<TestPcm*>(io->private_data);
  if (pcm->xrunAfter >= 0 && !pcm->xrunDone &&
      pcm->transferred >= static_cast<snd_pcm_uframes_t>(pcm->xrunAfter)) {
    pcm->xrunDone = true;
    return -EPIPE;
  }
  PlayOut(*pcm);
  if (pcm->paced && pcm->started && !pcm->paused &&
      ClockFrames(*pcm) > static_cast<double>(Queued(*pcm)) + 1) {
    Log(*pcm, "underrun");
    return -EPIPE;
  }
  return static_cast<snd_pcm_sframes_t>(pcm->playedOut);
}

// Paced, the poll descriptor is a millisecond timer; a tick reports room
// when a period's worth is free.
int PollRevents(snd_pcm_ioplug_t* io, struct pollfd* descriptors, unsigned int count,
                unsigned short* revents) {
  auto* pcm = static_cast<TestPcm*>(io->private_data);
  if (count != 1) return -EINVAL;
  if (!pcm->paced) {
    *revents = descriptors[0].revents;
    return 0;
  }
  uint64_t ticks = 0;
  const bool ticked = read(io->poll_fd, &ticks, sizeof ticks) > 0;
  const snd_pcm_uframes_t queued = Queued(*pcm) - Played(*pcm);
  *revents = ticked && io->buffer_size - queued >= io->period_size ? POLLOUT : 0;
  return 0;
}

snd_pcm_sframes_t Transfer(snd_pcm_ioplug_t* io, const snd_pcm_channel_area_t* areas,
                           snd_pcm_uframes_t offset, snd_pcm_uframes_t size) {
  auto* pcm = static_cast<TestPcm*>(io->private_data);
  if (pcm->vanishAfter >= 0 &&
      pcm->transferred + size > static_cast<snd_pcm_uframes_t>(pcm->vanishAfter)) {
    return -ENODEV;
  }
  const auto* bytes = static_cast<const unsigned char*>(areas[0].addr) + areas[0].first / 8 +
                      offset * areas[0].step / 8;
  const auto length = static_cast<std::size_t>(snd_pcm_frames_to_bytes(io->pcm, size));
  if (pcm->recordFile != nullptr) {
    std::fwrite(bytes, 1, length, pcm->recordFile);
    std::fflush(pcm->recordFile);
  }
  pcm->unplayed.insert(pcm->unplayed.end(), bytes, bytes + length);
  pcm->transferred += size;
  return static_cast<snd_pcm_sframes_t>(size);
}

int HwParams(snd_pcm_ioplug_t* io, snd_pcm_hw_params_t*) {
  auto* pcm = static_cast<TestPcm*>(io->private_data);
  Log(*pcm, std::string(snd_pcm_format_name(io->format)) + " " + std::to_string(io->channels) +
                " " + std::to_string(io->rate));
  if (pcm->logOpens) Log(*pcm, "period " + std::to_string(io->period_size));
  return 0;
}

int Close(snd_pcm_ioplug_t* io) {
  auto* pcm = static_cast<TestPcm*>(io->private_data);
  if (pcm->logOpens) Log(*pcm, "close");
  if (pcm->recordFile != nullptr) std::fclose(pcm->recordFile);
  if (pcm->playedFile != nullptr) std::fclose(pcm->playedFile);
  close(io->poll_fd);
  delete pcm;
  return 0;
}

constexpr snd_pcm_ioplug_callback_t kCallbacks = {
    .start = Start,
    .stop = Stop,
    .pointer = Pointer,
    .transfer = Transfer,
    .close = Close,
    .hw_params = HwParams,
    .prepare = Prepare,
    .poll_revents = PollRevents,
};

// The same card, able to pause.
constexpr snd_pcm_ioplug_callback_t kPausingCallbacks = [] {
  snd_pcm_ioplug_callback_t callbacks = kCallbacks;
  callbacks.pause = Pause;
  return callbacks;
}();

int ReadConfig(snd_config_t* conf, TestPcm& pcm, long& openError) {
  snd_config_iterator_t i, next;
  snd_config_for_each(i, next, conf) {
    snd_config_t* node = snd_config_iterator_entry(i);
    const char* id = nullptr;
    if (snd_config_get_id(node, &id) < 0) continue;
    const std::string key = id;
    if (key == "comment" || key == "type" || key == "hint") continue;
    const char* text = nullptr;
    long number = 0;
    if (key == "formats" || key == "rates" || key == "channels") {
      if (snd_config_get_string(node, &text) < 0) return -EINVAL;
      for (const auto& item : Split(text)) {
        if (key == "formats") {
          const snd_pcm_format_t format = snd_pcm_format_value(item.c_str());
          if (format == SND_PCM_FORMAT_UNKNOWN) return -EINVAL;
          pcm.formats.push_back(static_cast<unsigned>(format));
        } else {
          (key == "rates" ? pcm.rates : pcm.channels).push_back(std::stoul(item));
        }
      }
    } else if (key == "period_bytes") {
      if (snd_config_get_string(node, &text) < 0) return -EINVAL;
      const auto bounds = Split(text);
      if (bounds.size() != 2) return -EINVAL;
      pcm.periodBytesMin = std::stol(bounds[0]);
      pcm.periodBytesMax = std::stol(bounds[1]);
    } else if (key == "record" || key == "played" || key == "log") {
      if (snd_config_get_string(node, &text) < 0) return -EINVAL;
      (key == "record" ? pcm.record : key == "played" ? pcm.played : pcm.log) = text;
    } else if (key == "open_error" || key == "vanish_after" || key == "xrun_after" ||
               key == "paced" || key == "stall_after" || key == "log_stops" || key == "log_opens" ||
               key == "can_pause") {
      if (snd_config_get_integer(node, &number) < 0) return -EINVAL;
      if (key == "paced") pcm.paced = number != 0;
      if (key == "log_stops") pcm.logStops = number != 0;
      if (key == "log_opens") pcm.logOpens = number != 0;
      if (key == "can_pause") pcm.canPause = number != 0;
      if (key == "stall_after") pcm.stallAfter = number;
      if (key == "open_error") openError = number;
      if (key == "vanish_after") pcm.vanishAfter = number;
      if (key == "xrun_after") pcm.xrunAfter = number;
    } else {
      return -EINVAL;
    }
  }
  return pcm.formats.empty() || pcm.rates.empty() || pcm.channels.empty() ? -EINVAL : 0;
}

int SetConstraints(TestPcm& pcm) {
  const unsigned access[] = {SND_PCM_ACCESS_RW_INTERLEAVED};
  snd_pcm_ioplug_t* io = &pcm.io;
  int error = snd_pcm_ioplug_set_param_list(io, SND_PCM_IOPLUG_HW_ACCESS, 1, access);
  if (error >= 0)
    error = snd_pcm_ioplug_set_param_list(io, SND_PCM_IOPLUG_HW_FORMAT, pcm.formats.size(),
                                          pcm.formats.data());
  if (error >= 0)
    error = snd_pcm_ioplug_set_param_list(io, SND_PCM_IOPLUG_HW_CHANNELS, pcm.channels.size(),
                                          pcm.channels.data());
  if (error >= 0)
    error = snd_pcm_ioplug_set_param_list(io, SND_PCM_IOPLUG_HW_RATE, pcm.rates.size(),
                                          pcm.rates.data());
  if (error >= 0)
    error = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_PERIOD_BYTES,
                                            static_cast<unsigned>(pcm.periodBytesMin),
                                            static_cast<unsigned>(pcm.periodBytesMax));
  if (error >= 0) error = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_PERIODS, 2, 64);
  if (error >= 0)
    error = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_BUFFER_BYTES, 64, 64 << 20);
  return error;
}

}  // namespace

extern "C" {

SND_PCM_PLUGIN_DEFINE_FUNC(qptest) {
  (void)root;
  auto* pcm = new TestPcm;
  long openError = 0;
  int error = ReadConfig(conf, *pcm, openError);
  if (error >= 0 && openError > 0) error = -static_cast<int>(openError);
  if (error < 0) {
    delete pcm;
    return error;
  }
  if (!pcm->record.empty()) pcm->recordFile = std::fopen(pcm->record.c_str(), "ab");
  if (!pcm->played.empty()) pcm->playedFile = std::fopen(pcm->played.c_str(), "ab");
  if (pcm->logOpens) Log(*pcm, "open");
  pcm->io.version = SND_PCM_IOPLUG_VERSION;
  pcm->io.name = "Quorelle test PCM";
  pcm->io.flags = SND_PCM_IOPLUG_FLAG_BOUNDARY_WA;
  if (pcm->paced) {
    pcm->io.poll_fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    const itimerspec everyMillisecond = {{0, 1000000}, {0, 1000000}};
    timerfd_settime(pcm->io.poll_fd, 0, &everyMillisecond, nullptr);
    pcm->io.poll_events = POLLIN;
  } else {
    pcm->io.poll_fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);  // always writable
    pcm->io.poll_events = POLLOUT;
  }
  pcm->io.callback = pcm->canPause ? &kPausingCallbacks : &kCallbacks;
  pcm->io.private_data = pcm;
  error = snd_pcm_ioplug_create(&pcm->io, name, stream, mode);
  if (error < 0) {
    if (pcm->recordFile != nullptr) std::fclose(pcm->recordFile);
    if (pcm->playedFile != nullptr) std::fclose(pcm->playedFile);
    close(pcm->io.poll_fd);
    delete pcm;
    return error;
  }
  error = SetConstraints(*pcm);
  if (error < 0) {
    snd_pcm_ioplug_delete(&pcm->io);
    return error;
  }
  *pcmp = pcm->io.pcm;
  return 0;
}

SND_PCM_PLUGIN_SYMBOL(qptest)
}
