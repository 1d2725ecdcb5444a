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
// halves 1, 0, 1, ... Each half is interleaved into one ALSA period of
// frames, channel groups copied byte for byte, so what the host wrote is what
// the device gets.
//
// The writer never sleeps: it blocks in poll() on the PCM's descriptors and
// its own wake-up descriptor, which Stop() signals. Underruns are recovered
// with snd_pcm_recover; any other write failure (the device unplugged:
// ENODEV) marks the device gone, asks the host for a reset and ends the
// thread.
//
// A plain stop ends the thread at once (the driver then drops what ALSA
// holds). A drain stop lets the device play out instead: the writer writes
// the half it was given (the one it is writing, or the one the host is
// filling), then one half of the idle signal, waits in poll() on the PCM
// alone until the device has played everything (delay 0, or the PCM ran
// dry), and drops; all of it within the ALSA buffer time plus two halves
// and kDrainMargin, so a stalled device cannot hold the stop.
class AlsaWriter {
 public:
  struct Stream {
    snd_pcm_t* pcm = nullptr;
    // Per device channel, the two halves the host fills; null for a channel
    // without a host buffer, which plays `silence`.
    std::vector<const uint8_t*> halves[2];
    uint32_t groupBytes = 0;       // bytes of one channel in one ALSA frame
    uint32_t halfFrames = 0;       // ALSA frames per half
    uint32_t samplesPerFrame = 1;  // host samples per ALSA frame
    uint32_t bufferFrames = 0;     // the ALSA buffer and period, as configured
    uint32_t periodFrames = 0;
    unsigned alsaRate = 0;
    uint8_t silence = 0;  // the idle signal: PCM zeros, or the DSD idle byte
    AsioCallbacks callbacks{};
    bool timeInfo = false;  // the host takes the buffer switch with time information
    double sampleRate = 0;  // the host's rate, for the time information
  };

  AlsaWriter();
  ~AlsaWriter();
  AlsaWriter(const AlsaWriter&) = delete;
  AlsaWriter& operator=(const AlsaWriter&) = delete;

  // Starts the thread on a prepared PCM; false when it cannot run.
  bool Start(Stream stream);
  // Ends the thread and joins it; true when the thread has ended. With
  // `drain` the device plays out first (see above). On the writer's own
  // thread (a host calling stop from its buffer switch) it only asks and
  // answers false: the thread ends after the switch returns (having drained
  // and dropped, for a drain stop), and the next Start, Stop or Join joins it.
  bool Stop(bool drain = false);
  // Waits for a thread that was asked to stop; not on the writer's own thread.
  void Join();
  // Host samples written since Start and the steady-clock time (ns) of the
  // last write.
  void Position(int64_t& samples, int64_t& time) const;
  // Set when a write failed for good; stays set.
  bool DeviceGone() const { return gone_; }

 private:
  enum : int { kWritten = 0, kStopped = 1 };

  void Run();
  void Interleave(int half);
  // kWritten, kStopped, or a negative errno that recovery did not cure. While
  // draining a stop does not cut the half short; the drain's deadline does.
  int WriteHalf();
  // kWritten when there is room, kStopped, or a negative errno.
  int WaitForRoom();
  // The rest of a drain stop, once the given half is written.
  void Drain();
  // Polls the PCM's descriptors (and, unless draining, the wake-up
  // descriptor): kWritten when the PCM has news, kStopped on a stop or at the
  // drain's deadline, or a negative errno.
  int PollPcm(unsigned short& events);
  bool Draining() const { return draining_.load(); }
  void SwitchTo(int half, int64_t samples);
  void DeviceFailed();

  Stream stream_;
  std::vector<uint8_t> interleaved_;
  std::vector<pollfd> descriptors_;  // the PCM's, then the wake-up descriptor
  int pcmDescriptors_ = 0;
  int wakeFd_ = -1;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> draining_{false};
  std::atomic<int64_t> drainDeadline_{0};  // steady clock, ns
  std::atomic<bool> gone_{false};
  std::thread thread_;
  mutable std::mutex positionMutex_;  // leaf lock
  int64_t samples_ = 0;
  int64_t time_ = 0;
};
