#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "output/AsioApi.h"
#include "output/ChunkQueues.h"
#include "output/DeviceSession.h"
#include "output/EngineLinks.h"
#include "output/Feeder.h"
#include "output/PositionTimer.h"
#include "platform/ThreadMessageQueue.h"

// The output engine: plays the decoded blocks of two track slots through the
// current device of the host API. It owns the device session, the feeder
// (whose thread splits blocks into per-channel chunks of 32-bit samples) and
// the 50 ms position timer (which watches for a stalled driver and reports
// the elapsed time); it keeps the transport and the slots, and the driver's
// buffer switch converts the chunks into the device's sample type, joining
// the next slot's track onto the current one without a gap when rate and
// kind agree.
//
// A DSD track sent as DSD over PCM (DoP) is one stream of DoP words from the
// start of the device to its stop: the engine keeps the output's marker
// phase itself and stamps the marker of every word it writes, data or idle,
// by the word's place in the stream (all channels alike in one frame), so
// the prefill, starving halves, the rest of a track's last half, the halves
// after the end and channels without data are DoP idle words (marker, 0x96,
// 0x96) and the markers never break their alternation. The driver is told
// (kQpFutureDopStream) before each start.
//
// One instance per process (the driver's callbacks carry no context). All
// operations are for the playback thread. Locks: the engine lock, then the
// chunk-queue lock; the buffer switch takes nothing else and never waits.
// The feeder and the timer take the engine lock holding no other.
enum class PauseResult { kResumed, kPaused };

class CWaveDataPlay {
 public:
  CWaveDataPlay(std::shared_ptr<platform::ThreadMessageQueue> playbackThread,
                std::shared_ptr<IBlockSource> blocks, std::shared_ptr<IPositionSink> position);
  ~CWaveDataPlay();
  CWaveDataPlay(const CWaveDataPlay&) = delete;
  CWaveDataPlay& operator=(const CWaveDataPlay&) = delete;

  // 0, -1 (the rate is not supported) or -2 (any other failure).
  int32_t OpenDevice(int32_t dsdMode, const std::wstring& deviceName);
  void CloseDevice();
  void PrepareSlot(bool isDsd, double sourceRate, bool gaplessJoin, bool nextSlot);
  // 0, -1, or an error of OpenDevice. A block format code of 0 is not
  // playable.
  int32_t StartOutput(int32_t bitsPerSample, bool prepareOnly, double sourceRate,
                      std::uint32_t formatCode);
  // Whether it paused or resumed. The pausing stop is a pause stop
  // (kQpFuturePauseOnStop): a driver that knows it resumes with the half the
  // engine filled last, so nothing is skipped or repeated.
  PauseResult TogglePause();
  // Stops at once: what the device has not played yet is cut (a user's stop,
  // step or seek).
  void StopOutput(bool keepDevice);
  // Stops at the natural end of the output (the end of a track that nothing
  // joins): every sample written so far is played first. It waits until the
  // device has asked for two more halves after the last one that held
  // samples (by then a double-buffered device has played it), at most the
  // time of those two halves plus kPlayOutMargin, so a stalled device cannot
  // hold the playback thread; then it stops the device as a drain stop
  // (kQpFutureDrainOnStop, for a driver that queues more than the double
  // buffer), and does everything StopOutput does.
  void DrainAndStop(bool keepDevice);
  // 0, or -1 when no device rate is known.
  int32_t SetPosition(double seconds);
  void ReportPosition();
  bool CheckDevice();
  void RequestFlush(int slot);

  // State, for the playback thread and for tests.
  int currentSlot() const;
  bool running() const { return running_; }
  double deviceRate(int slot) const;
  int64_t playedSamples() const { return played_; }
  const AsioDriverInfo& driverInfo() const { return device_.driverInfo(); }
  int32_t outputBufferCount() const { return device_.outputBuffers(); }

 private:
  struct Consumer {
    std::uint8_t* chunk = nullptr;
    std::uint32_t readOffset = 0;
    std::uint32_t bytesLeft = 0;
  };
  // Where a slot's track is: playing; ended, with switchesToEndMessage
  // buffer switches left before its end is posted; ended and posted.
  enum class EndPhase { kPlaying, kCountingDown, kEnded };
  // How a track ended, posted as the TM_TRACK_END wParam.
  enum class EndKind : std::intptr_t { kOtherSlotTookOver = 0, kPlaybackStops = 1 };
  struct Slot {
    bool isDsd = false;
    bool gaplessJoin = false;
    double deviceRate = 0;
    EndPhase endPhase = EndPhase::kPlaying;
    int32_t switchesToEndMessage = 0;
    EndKind endKind = EndKind::kOtherSlotTookOver;
    bool channelActive[output::kMaxOutputChannels] = {};
    Consumer consumers[output::kMaxOutputChannels];
  };

  static void OnBufferSwitch(int32_t half, AsioBool directProcess);
  static AsioTime* OnBufferSwitchTimeInfo(AsioTime* time, int32_t half, AsioBool directProcess);
  static void OnSampleRateChange(AsioSampleRate rate);
  static int32_t OnMessage(int32_t selector, int32_t value, void* message, double* opt);

  void BufferSwitch(int32_t half);
  // Fills one half of buffer `index` from its channel's queue; true when the
  // channel reached the end of the current slot's track. `filled` is the
  // bytes of samples written from the half's start.
  bool FillHalf(int index, std::uint8_t* destination, std::size_t bytes, bool last, bool starving,
                std::size_t& filled);
  // Writes the idle signal of buffer `index` into bytes [from, bytes) of a
  // half whose first frame has DoP phase `phase`: DoP idle words through the
  // channel's converter in a DoP stream, else `silence` bytes; zeros for a
  // channel without a converter.
  void WriteIdle(int index, std::uint8_t* destination, std::size_t from, std::size_t bytes,
                 std::uint8_t silence, std::uint32_t phase) const;
  bool OtherSlotJoins(int slot) const;
  // A DSD track of a DoP decode mode: its words are DoP words.
  bool SlotIsDop(const Slot& slot) const;
  // Whether the next buffer switch has the current slot's audio queued (or
  // the slot has ended): the answer to a device that waits for its host.
  bool NextHalfReady();
  int32_t SlotDsdMode(const Slot& slot, int32_t decodeMode) const;
  std::uint8_t SilenceByte(const Slot& slot) const;
  // The whole seconds played; -1 when no rate is known. Engine lock held.
  int64_t PlayedSecondsLocked() const;
  void Prefill();
  void ReleaseConsumers();

  void Stop(bool keepDevice, bool drain);
  int32_t StartWithRecovery();
  void PostMessage(std::uint32_t id, std::intptr_t wParam, std::intptr_t lParam);
  // The underruns counted since the last report, reported once when there
  // were any (not after the output's last track has ended: the device then
  // plays only idle signal).
  void ReportUnderruns();

  std::shared_ptr<platform::ThreadMessageQueue> playbackThread_;
  std::shared_ptr<IPositionSink> position_;

  mutable std::mutex engineLock_;
  output::ChunkQueues queues_;
  Slot slots_[output::kSlotCount];
  int current_ = 0;
  int endedSlot_ = -1;
  // Buffer switches since the start, and the last one that wrote samples
  // (-1: none); the drain waits on switched_ for the count to pass it.
  int64_t switches_ = 0;
  int64_t lastSoundSwitch_ = -1;
  std::condition_variable switched_;

  output::DeviceSession device_;
  AsioCallbacks callbacks_{};

  std::atomic<int64_t> played_{0};
  std::atomic<bool> running_{false};
  int32_t decodeMode_ = 0;  // the settings' decode mode at the last start
  // The run is a DoP stream (set by StartOutput), and the DoP phase of the
  // first frame of the next half the buffer switch fills.
  bool dopStream_ = false;
  std::uint32_t dopOutPhase_ = 0;
  // Underruns the driver reported (kAsioOverload, from any thread) since the
  // last report; whether the run's last track has ended (and reported them).
  std::atomic<int32_t> underruns_{0};
  bool finalEndReported_ = false;

  // Declared last: their threads end before the state they use goes.
  output::Feeder feeder_;
  output::PositionTimer timer_;
};
