#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "drivers/AsioDriverBase.h"

// How a virtual DAC's buffer switches come: `Clock=real` (the default) paced
// at the device rate by a steady clock, `Clock=free` each one as soon as the
// one before returned (as fast as the host fills halves: tests, benchmarks),
// `Clock=manual` only when a test steps them.
enum class VirtualDacClock { kReal, kFree, kManual };

// Settings of a virtual DAC, from the "key=value" lines of its registry entry.
struct VirtualDacSettings {
  std::string driverName = "Virtual DAC";
  int32_t channels = 2;  // 1 to 10
  std::vector<double> pcmRates = {44100,  48000,  88200,  96000,  176400,
                                  192000, 352800, 384000, 705600, 768000};
  std::vector<double> dsdRates = {2822400, 5644800, 11289600, 22579200};
  int32_t pcmBufferSize = 512;   // sample frames per half
  int32_t dsdBufferSize = 4096;  // 1-bit samples per half
  int32_t pcmSampleType = kAsioInt32Lsb;
  int32_t dsdSampleType = kAsioDsdInt8Msb1;
  bool outputReady = true;
  VirtualDacClock clock = VirtualDacClock::kReal;
  bool refuseInit = false;
  bool refuseBuffers = false;  // createBuffers answers kAsioHwMalfunction
  // What getErrorMessage says when the DAC is set to refuse (a default
  // naming the refusal when empty); "No error" otherwise.
  std::string errorMessage;
  // A notice for the user (kQpFutureNotice), given once per process.
  std::string notice;
  // Every K-th period (0: never) the device runs dry before it plays the
  // half due: it plays one half of its own idle signal and sends the host
  // kAsioOverload.
  int32_t underrunEvery = 0;
  std::string capture;  // file prefix: <capture>.<channel>.raw and <capture>.log

  static VirtualDacSettings Parse(const char* lines);
};

// A sound card without hardware: it plays buffer halves at the device rate
// (or as fast as the host fills them, or when stepped), captures every half
// it plays, per channel, and answers wrong call orders the way a driver does.
// A half the host filled plays at the next tick; a drain stop
// (kQpFutureDrainOnStop) plays that last half too before the device stops,
// a plain stop drops it. A pause stop (kQpFuturePauseOnStop) keeps it: the
// next start plays it first and goes on from there. Told a DoP stream
// (kQpFutureDopStream), the idle signal of its own (an underrun's half) is
// DoP idle words that carry on the marker phase of what it played.
class CVirtualDac final : public CAsioDriverBase {
 public:
  explicit CVirtualDac(VirtualDacSettings settings);
  ~CVirtualDac();

  AsioBool init(void* sysRef) override;
  void getErrorMessage(char* message) override;
  AsioError start() override;
  AsioError stop() override;
  AsioError disposeBuffers() override;
  AsioError outputReady() override;

  // Plays up to `count` buffer halves now; the number played (0 unless
  // running). Used by tests in manual-clock mode.
  int32_t Step(int32_t count);
  // Step on the newest live instance.
  static int32_t StepNewest(int32_t count);

 private:
  int32_t OutputChannels() const override { return settings_.channels; }
  bool TakesRate(double rate) const override { return Supports(rate, ioFormat_); }
  // Its halves have a fixed size in samples whatever the rate; the clock
  // takes the rate at the start.
  bool BuffersFixRate() const override { return false; }
  bool BufferSizes(BufferLimits& limits) const override;
  AsioError OutputLatency(int32_t& samples) const override;
  int32_t ChannelSampleType() const override { return SampleType(); }
  void SamplePosition(int64_t& position, int64_t& timestamp) const override;
  AsioError PrepareHalves(int32_t bufferSize, std::size_t& halfBytes, std::uint8_t& fill) override;
  bool OffersIoFormat(int32_t format) const override;
  void SwitchIoFormat(int32_t format) override;
  // Its formats are its settings: known before init.
  bool KnowsIoFormatsBeforeInit() const override { return true; }
  AsioError FutureCall(int32_t selector, void* argument) override;

  int32_t BufferSize() const;
  int32_t SampleType() const;
  bool Supports(double rate, int32_t format) const;
  // One period: play the half due, then let the host fill the other one.
  void Tick();
  // With mutex_ held: appends the half due to the captures.
  void PlayHalfDue();
  // With mutex_ held: appends one half of the device's own idle signal.
  void PlayIdleHalf();
  void RunClock();
  void RunFreeClock();
  // Free clock: until the host has the next half's audio queued, within a
  // bound, or the clock stops.
  void WaitForHostAudio(const AsioCallbacks& callbacks);
  void StopClock();
  // With mutex_ held: appends `bytes` to the capture of the channel at
  // `channel` in channels_, when it has one.
  void Capture(std::size_t channel, const std::vector<std::uint8_t>& bytes);
  void CloseCaptures();

  const VirtualDacSettings settings_;
  // Guarded by mutex_.
  // Each channel's capture file, in the order of channels_, while capturing.
  std::vector<std::FILE*> captures_;
  int playHalf_ = 0;
  int64_t samplesPlayed_ = 0;
  int64_t outputReadyCalls_ = 0;
  std::thread clock_;
  std::condition_variable clockWake_;
  bool clockStop_ = false;
  bool paused_ = false;     // stopped by a pause stop: the next start resumes
  bool dopStream_ = false;  // the host said its PCM stream is DoP
  uint32_t dopPhase_ = 0;   // the DoP phase of the next word played
  int64_t periods_ = 0;     // periods since the start (a resume goes on counting)
};
