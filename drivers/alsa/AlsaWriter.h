#pragma once

#include <alsa/asoundlib.h>
#include <poll.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "output/AsioApi.h"

// The real-time side of a running stream: one thread that writes a buffer
// half to ALSA and hands the other half to the host, over and over. The
// device plays half p while the host fills the other one, so the first half
// written is the host's prefill of half 0; the buffer switches then ask for
// halves 1, 0, 1, ... Each half is interleaved into one run of ALSA frames,
// channel groups copied byte for byte (reversed for the little-endian DSD
// words), so what the host wrote is what the device gets.
//
// The writer never sleeps: it blocks in poll() on the PCM's descriptors and
// its own wake-up descriptor, which Stop() signals. Underruns are recovered
// with snd_pcm_recover and told to the host (kAsioOverload); any other write
// failure (the device unplugged: ENODEV) marks the device gone, asks the
// host for a reset and ends the thread.
//
// Three ways to stop. A plain stop ends the thread at once (the driver then
// drops what ALSA holds). A drain stop lets the device play out: the writer
// writes the half it was given (the one it is writing, or the one the host
// is filling), then one half of the idle signal, waits in poll() on the PCM
// alone until the device has played everything (delay 0, or the PCM ran
// dry), and drops; all of it within the ALSA buffer time plus two halves and
// kDrainMargin, so a stalled device cannot hold the stop. A pause stop keeps
// the writer's place: the half it was writing and how much of it went out,
// or that the host is to be asked for the next one. A device that can pause
// is then paused by the driver with what it holds; on one that cannot, the
// writer plays out what ALSA holds as a drain does, without finishing its
// half. Resume() goes on from that place: nothing skipped, nothing repeated.
//
// The idle signal is PCM zeros, the DSD idle byte, or over DoP idle words
// whose markers carry on the stream's alternation; device channels without
// a host buffer carry it too (over DoP with the marker of their frame).
class AlsaWriter {
 public:
  struct Stream {
    snd_pcm_t* pcm = nullptr;
    // Per device channel, the two halves the host fills; null for a channel
    // without a host buffer, which plays the idle signal.
    std::vector<const uint8_t*> halves[2];
    uint32_t groupBytes = 0;       // bytes of one channel in one ALSA frame
    bool reversed = false;         // a group holds the host's bytes in reverse order
    uint32_t halfFrames = 0;       // ALSA frames per half
    uint32_t samplesPerFrame = 1;  // host samples per ALSA frame
    uint32_t bufferFrames = 0;     // the ALSA buffer and period, as configured
    uint32_t periodFrames = 0;
    unsigned alsaRate = 0;
    uint8_t silence = 0;     // PCM zeros, or the DSD idle byte
    int32_t sampleType = 0;  // the host's sample type
    bool dop = false;        // the PCM words carry DSD over PCM (24 or 32 bits)
    bool canPause = false;   // the device pauses with what it holds
    AsioCallbacks callbacks{};
    bool timeInfo = false;  // the host takes the buffer switch with time information
    double sampleRate = 0;  // the host's rate, for the time information
  };
  enum class StopKind { kDrop, kDrain, kPause };

  AlsaWriter();
  ~AlsaWriter();
  AlsaWriter(const AlsaWriter&) = delete;
  AlsaWriter& operator=(const AlsaWriter&) = delete;

  // Starts the thread on a prepared PCM, from the host's prefill of half 0;
  // false when it cannot run.
  bool Start(Stream stream);
  // Starts the thread again where a pause stop left it, with the same stream
  // (the device resumed or prepared again); false when there is no such
  // place.
  bool Resume();
  bool Paused() const { return resume_.valid; }
  // Forgets where a pause stop left the writer; the next Start begins afresh.
  void ForgetPause() {
    Join();
    resume_ = Place{};
  }
  // Ends the thread and joins it; true when the thread has ended. On the
  // writer's own thread (a host calling stop from its buffer switch) it only
  // asks and answers false: the thread ends after the switch returns (having
  // drained and dropped, for a drain stop), and the next Start, Stop or Join
  // joins it.
  bool Stop(StopKind kind = StopKind::kDrop);
  // Waits for a thread that was asked to stop; not on the writer's own thread.
  void Join();
  // Host samples the device has played since Start (written less what ALSA
  // still holds) and the steady-clock time (ns) they were played by.
  void Position(int64_t& samples, int64_t& time) const;
  // Set when a write failed for good; stays set.
  bool DeviceGone() const { return gone_; }

 private:
  enum : int { kWritten = 0, kStopped = 1 };
  // Where a pause stop left the writer.
  struct Place {
    bool valid = false;
    int half = 0;
    snd_pcm_uframes_t offset = 0;  // frames of the half already written
    bool switchFirst = false;      // the host is to fill `half` first
  };

  bool Launch(Place place);
  void Run(Place place);
  void Interleave(int half);
  // The idle signal for `frames` frames, over DoP from the marker after the
  // last frame written.
  void FillIdle(uint8_t* out, uint32_t frames);
  // kWritten, kStopped, or a negative errno that recovery did not cure.
  // Writes `data` from frame `offset` on, advancing it. Only a drain stop
  // lets the half finish (its deadline cuts it).
  // With `toTheEnd` (the idle half of a play-out) no stop cuts it short.
  int Write(const uint8_t* data, snd_pcm_uframes_t& offset, bool toTheEnd);
  // kWritten when there is room, kStopped, or a negative errno.
  int WaitForRoom();
  // Plays out what ALSA holds after one half of idle signal.
  void PlayOut();
  // Polls the PCM's descriptors (and, unless playing out, the wake-up
  // descriptor): kWritten when the PCM has news, kStopped on a stop or at the
  // drain's deadline, or a negative errno.
  int PollPcm(unsigned short& events);
  StopKind Kind() const { return static_cast<StopKind>(stopKind_.load()); }
  // A stop that lets the device play what it holds before the writer ends.
  bool PlaysOut() const {
    return stopping_ &&
           (Kind() == StopKind::kDrain || (Kind() == StopKind::kPause && !stream_.canPause));
  }
  void SwitchTo(int half);
  void UpdatePosition();
  void DeviceFailed();

  Stream stream_;
  std::vector<uint8_t> interleaved_;
  std::vector<uint8_t> idle_;
  std::vector<pollfd> descriptors_;  // the PCM's, then the wake-up descriptor
  int pcmDescriptors_ = 0;
  int wakeFd_ = -1;
  std::atomic<bool> stopping_{false};
  std::atomic<int> stopKind_{0};
  std::atomic<int64_t> drainDeadline_{0};  // steady clock, ns
  std::atomic<bool> gone_{false};
  int dopSample_ = -1;         // DoP: where in a frame a filled channel's sample is; -1 without
  uint32_t nextDopPhase_ = 0;  // DoP: the phase after the last frame written
  int64_t written_ = 0;        // host samples written since Start
  Place resume_;               // set by the thread as it ends on a pause stop
  std::thread thread_;
  mutable std::mutex positionMutex_;  // leaf lock
  int64_t playedSamples_ = 0;
  int64_t playedTime_ = 0;
};
