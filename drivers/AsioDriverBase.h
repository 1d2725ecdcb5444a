#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "output/AsioApi.h"
#include "output/AsioDriverSupport.h"

// What our driver objects do alike: reference counting (the last Release
// deletes the object), one internal clock source, no control panel, and the
// calls whose checks and answers are the same on every device (name and
// version, channels, rates, buffer sizes and latency, the sample position,
// channel infos, and creating the buffers). A driver answers what is its
// own through the hooks below, each called with mutex_ held.
class CAsioDriverBase : public IAsioDriver {
 public:
  explicit CAsioDriverBase(std::string driverName) : driverName_(std::move(driverName)) {}
  virtual ~CAsioDriverBase() = default;

  int32_t QueryInterface(const AsioClassId&, void** object) override;
  uint32_t AddRef() override { return ++references_; }
  uint32_t Release() override;
  AsioError getClockSources(AsioClockSource* clocks, int32_t* count) override {
    return GetInternalClock(clocks, count);
  }
  AsioError setClockSource(int32_t reference) override { return SetInternalClock(reference); }
  AsioError controlPanel() override { return kAsioNotPresent; }

  void getDriverName(char* name) override;
  int32_t getDriverVersion() override { return 1; }
  AsioError getChannels(int32_t* inputs, int32_t* outputs) override;
  AsioError getLatencies(int32_t* input, int32_t* output) override;
  AsioError getBufferSize(int32_t* minimum, int32_t* maximum, int32_t* preferred,
                          int32_t* granularity) override;
  AsioError canSampleRate(AsioSampleRate rate) override;
  AsioError getSampleRate(AsioSampleRate* rate) override;
  // While running, no rate is taken; once the buffers exist, only their
  // rate, where they are sized for it (BuffersFixRate).
  AsioError setSampleRate(AsioSampleRate rate) override;
  AsioError getSamplePosition(int64_t* position, int64_t* timestamp) override;
  AsioError getChannelInfo(AsioChannelInfo* info) override;
  // Takes halves within the device's buffer size limits, for output
  // channels it has, each channel once.
  AsioError createBuffers(AsioBufferInfo* infos, int32_t count, int32_t bufferSize,
                          AsioCallbacks* callbacks) override;
  // Answers the stop-mode calls (into stopMode_) and the I/O-format calls
  // (ioFormat_, changed only while no buffers exist) and hands every other
  // selector to FutureCall.
  AsioError future(int32_t selector, void* argument) override;

 protected:
  enum class State { kLoaded, kInitialized, kPrepared, kRunning };
  // The half sizes createBuffers takes at the current rate, in host samples
  // (granularity 0: any size between the bounds).
  struct BufferLimits {
    int32_t minimum, maximum, preferred, granularity;
  };
  // An output channel the host writes: its number and its two halves.
  struct Channel {
    int32_t number;
    std::vector<std::uint8_t> halves[2];
  };

  // Hooks; the driver is past init.
  virtual int32_t OutputChannels() const = 0;
  virtual bool TakesRate(double rate) const = 0;
  // Whether created buffers hold the device to the rate they were made at.
  virtual bool BuffersFixRate() const { return true; }
  // False when the device takes no buffer at the current rate.
  virtual bool BufferSizes(BufferLimits& limits) const = 0;
  // kAsioOk with the output latency in samples, or the error to answer.
  virtual AsioError OutputLatency(int32_t& samples) const = 0;
  virtual int32_t ChannelSampleType() const = 0;
  // While running: the samples played and when, in nanoseconds.
  virtual void SamplePosition(int64_t& position, int64_t& timestamp) const = 0;
  // Readies the device for halves of `bufferSize` samples once the request
  // is found good: kAsioOk with the bytes of one half and the byte a fresh
  // half holds, or the error createBuffers answers.
  virtual AsioError PrepareHalves(int32_t bufferSize, std::size_t& halfBytes,
                                  std::uint8_t& fill) = 0;
  // Whether the device plays an I/O format (kAsioFormatPcm or
  // kAsioFormatDsd), and the switch to one it plays.
  virtual bool OffersIoFormat(int32_t format) const = 0;
  virtual void SwitchIoFormat(int32_t format) = 0;
  // Whether the I/O-format calls are answered before init.
  virtual bool KnowsIoFormatsBeforeInit() const { return false; }
  // A future call other than the stop modes and the I/O formats.
  virtual AsioError FutureCall(int32_t selector, void* argument) = 0;

  bool IsDsd() const { return ioFormat_ == kAsioFormatDsd; }

  std::mutex mutex_;  // guards what follows and the driver's own state
  State state_ = State::kLoaded;
  int32_t ioFormat_ = kAsioFormatPcm;
  double rate_ = 44100;
  // Set by createBuffers.
  int32_t bufferSize_ = 0;
  std::vector<Channel> channels_;
  AsioCallbacks callbacks_{};
  bool useTimeInfo_ = false;
  // How the next stop of a running driver ends.
  AsioStopMode stopMode_;

 private:
  const std::string driverName_;
  std::atomic<uint32_t> references_{1};
};
