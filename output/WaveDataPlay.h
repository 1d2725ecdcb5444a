#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "output/AsioApi.h"
#include "output/ChunkQueues.h"
#include "output/DeviceSession.h"
#include "output/EngineLinks.h"
#include "output/Feeder.h"
#include "output/HalfFiller.h"
#include "output/PositionTimer.h"
#include "platform/ThreadMessageQueue.h"

// The output engine: plays the decoded blocks of two track slots through the
// current device of the host API. It keeps the transport and wires up the
// classes that do the work: the device session, the feeder (whose thread
// splits blocks into per-channel chunks of 32-bit samples), the half filler
// (the driver's buffer switch: it converts the chunks into the device's
// sample type, joining the next slot's track onto the current one without a
// gap when rate and kind agree, and keeps the slots as they play) and the
// 50 ms position timer (which watches for a stalled driver and reports the
// elapsed time). A DoP run is one stream of DoP words from start to stop
// (see HalfFiller.h); the driver is told (kQpFutureDopStream) before each
// start.
//
// One instance per process (the driver's callbacks carry no context). All
// operations are for the playback thread. Locks: the engine lock, then the
// chunk-queue lock; the buffer switch takes nothing else and never waits.
// The feeder and the timer take the engine lock holding no other. The half
// filler is used only with the engine lock held.
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
  int64_t playedSamples() const { return filler_.played(); }
  const AsioDriverInfo& driverInfo() const { return device_.driverInfo(); }
  int32_t outputBufferCount() const { return device_.outputBuffers(); }

 private:
  static void OnBufferSwitch(int32_t half, AsioBool directProcess);
  static AsioTime* OnBufferSwitchTimeInfo(AsioTime* time, int32_t half, AsioBool directProcess);
  static void OnSampleRateChange(AsioSampleRate rate);
  static int32_t OnMessage(int32_t selector, int32_t value, void* message, double* opt);

  // Takes the engine lock for the half filler's buffer switch and posts the
  // end of a track it reports.
  void BufferSwitch(int32_t half);
  bool NextHalfReady();
  // The whole seconds played; -1 when no rate is known. Engine lock held.
  int64_t PlayedSecondsLocked() const;
  void Prefill();

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
  output::DeviceSession device_;
  AsioCallbacks callbacks_{};
  output::HalfFiller filler_;  // guarded by the engine lock

  std::atomic<bool> running_{false};
  // Underruns the driver reported (kAsioOverload, from any thread) since the
  // last report; whether the run's last track has ended (and reported them).
  std::atomic<int32_t> underruns_{0};
  bool finalEndReported_ = false;

  // Declared last: their threads end before the state they use goes.
  output::Feeder feeder_;
  output::PositionTimer timer_;
};
