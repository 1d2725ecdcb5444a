#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "output/AsioApi.h"
#include "output/ChunkQueues.h"
#include "output/SampleTypeConverters.h"

namespace output {

// The device of the host API as the output engine has it open: the driver's
// record, its I/O format (PCM or DSD), the output buffers with one
// sample-type converter per channel, and the rate it runs at. Every
// operation is for the playback thread; while the device runs the buffer
// switch reads the buffers, converters and sizes, which only opening and
// closing change.
class DeviceSession {
 public:
  DeviceSession() = default;
  ~DeviceSession() = default;
  DeviceSession(const DeviceSession&) = delete;
  DeviceSession& operator=(const DeviceSession&) = delete;

  // The rate the device runs at for a track of `sourceRate`: the source rate
  // for PCM; for DSD 32 times it natively and twice it as DoP words.
  static double DeviceRate(bool isDsd, double sourceRate, std::int32_t decodeMode);

  // Opens the current device at `rate` in the I/O format of `dsdMode` (1
  // DSD, 0 PCM, -1 the one of the last open) and creates its buffers with
  // `callbacks`, which must outlive the session. 0, -1 (the rate is not
  // supported) or -2 (any other failure; driverMessage() says why when the
  // driver did).
  std::int32_t Open(std::int32_t dsdMode, double rate, const std::wstring& deviceName,
                    AsioCallbacks* callbacks);
  void Close();
  // Whether a start at `rate` in `dsdMode` needs the device opened (again).
  bool NeedsOpen(double rate, std::int32_t dsdMode, bool ramMode) const;
  // Makes the next start open the device again.
  void ForgetRate() { openRate_ = 0; }

  // Whether every channel with a converter carries DoP whole: 24 bits or
  // more (the marker and two DSD bytes).
  bool CarriesDop() const;
  // The bytes of one half of buffer `index`.
  std::size_t HalfBytes(int index) const;
  // The time one half plays; 0 when no rate is known.
  double HalfSeconds() const;

  bool buffersCreated() const { return buffersCreated_; }
  // The rate asked for at the last open, kept when the device closes.
  double sampleRate() const { return sampleRate_; }
  // The rate of the open buffers; 0 when closed.
  double openRate() const { return openRate_; }
  std::int32_t dsdMode() const { return dsdMode_; }
  std::int32_t outputBuffers() const { return outputBuffers_; }
  std::int32_t preferredSize() const { return preferredSize_; }
  bool postOutput() const { return postOutput_; }
  const AsioBufferInfo& buffer(int index) const { return buffers_[index]; }
  const SampleTypeConverter* converter(int index) const { return converters_[index]; }
  const AsioDriverInfo& driverInfo() const { return info_; }
  // What the driver said when the device last failed to open.
  const std::string& driverMessage() const { return driverMessage_; }

 private:
  std::int32_t Fail(std::int32_t code);

  AsioDriverInfo info_{};
  std::int32_t inputChannels_ = 0;
  std::int32_t outputChannels_ = 0;
  std::int32_t minSize_ = 0, maxSize_ = 0, preferredSize_ = 0, granularity_ = 0;
  double sampleRate_ = 0;
  bool postOutput_ = false;
  std::int32_t inputLatency_ = 0, outputLatency_ = 0;
  std::int32_t outputBuffers_ = 0;
  AsioBufferInfo buffers_[kMaxOutputChannels] = {};
  AsioChannelInfo channels_[kMaxOutputChannels] = {};
  const SampleTypeConverter* converters_[kMaxOutputChannels] = {};
  bool buffersCreated_ = false;
  double openRate_ = -1.0;
  std::int32_t dsdMode_ = -1;
  std::string driverMessage_;
};

}  // namespace output
