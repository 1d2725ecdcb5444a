#include "output/DeviceSession.h"

#include <algorithm>
#include <cstring>

#include "output/AsioHost.h"
#include "output/DeviceSelection.h"
#include "output/EngineSettings.h"
#include "platform/ErrorReport.h"
#include "platform/TextConv.h"

namespace output {
namespace {

// The significant bits of a PCM sample type (a float's mantissa); DoP needs
// 24 of them: the marker and two DSD bytes.
std::int32_t SignificantBits(std::int32_t type) {
  switch (type) {
    case kAsioInt32Msb16:
    case kAsioInt32Lsb16:
      return 16;
    case kAsioInt32Msb18:
    case kAsioInt32Lsb18:
      return 18;
    case kAsioInt32Msb20:
    case kAsioInt32Lsb20:
      return 20;
    case kAsioInt32Msb24:
    case kAsioInt32Lsb24:
    case kAsioFloat32Msb:
    case kAsioFloat32Lsb:
      return 24;
    case kAsioFloat64Msb:
    case kAsioFloat64Lsb:
      return 53;
    default:
      return AsioSampleTypeBits(type);
  }
}

}  // namespace

double DeviceSession::DeviceRate(bool isDsd, double sourceRate, std::int32_t decodeMode) {
  return !isDsd ? sourceRate : sourceRate * (decodeMode == kDecodeNative ? 32 : 2);
}

std::int32_t DeviceSession::Fail(std::int32_t code) {
  // What the driver says about it, before it is closed.
  char text[sizeof info_.errorMessage] = {};
  if (driverMessage_.empty() && HostGetErrorMessage(text) == kAsioOk) driverMessage_ = text;
  Close();
  return code;
}

std::int32_t DeviceSession::Open(std::int32_t dsdMode, double rate, const std::wstring& deviceName,
                                 AsioCallbacks* callbacks) {
  Close();
  sampleRate_ = rate;
  driverMessage_.clear();
  if (!SelectOutputDevice(deviceName)) return -2;
  std::memset(&info_, 0, sizeof info_);
  info_.asioVersion = 2;
  if (HostInit(&info_) != kAsioOk) {
    // A driver that refused init is no longer current: its text is here.
    info_.errorMessage[sizeof info_.errorMessage - 1] = '\0';
    driverMessage_ = info_.errorMessage;
    return Fail(-2);
  }
  if (HostGetChannels(&inputChannels_, &outputChannels_) != kAsioOk) return Fail(-2);
  if (HostGetBufferSize(&minSize_, &maxSize_, &preferredSize_, &granularity_) != kAsioOk) {
    return Fail(-2);
  }
  postOutput_ = HostOutputReady() == kAsioOk;
  if (inputChannels_ == 0 && outputChannels_ == 0) return Fail(-2);

  if (dsdMode == -1) dsdMode = dsdMode_;
  AsioIoFormat format{};
  format.formatType = dsdMode == 1 ? kAsioFormatDsd : kAsioFormatPcm;
  if (HostFuture(kAsioCanDoIoFormat, &format) == kAsioSuccess &&
      HostFuture(kAsioSetIoFormat, &format) == kAsioSuccess) {
    // A driver may size its buffers differently for the other format.
    if (HostGetBufferSize(&minSize_, &maxSize_, &preferredSize_, &granularity_) != kAsioOk) {
      return Fail(-2);
    }
  }
  dsdMode_ = dsdMode;

  if (HostCanSampleRate(sampleRate_) != kAsioOk) return Fail(-1);
  HostSetSampleRate(sampleRate_);

  outputBuffers_ = std::min(outputChannels_, kMaxOutputChannels);
  for (int i = 0; i < outputBuffers_; ++i)
    buffers_[i] = AsioBufferInfo{kAsioFalse, i, {}};
  if (HostCreateBuffers(buffers_, outputBuffers_, preferredSize_, callbacks) != kAsioOk) {
    return Fail(-2);
  }
  buffersCreated_ = true;  // so that a failure below disposes them
  for (int i = 0; i < outputBuffers_; ++i) {
    channels_[i] = AsioChannelInfo{};
    channels_[i].channel = buffers_[i].channelNum;
    if (HostGetChannelInfo(&channels_[i]) != kAsioOk) return Fail(-2);
    converters_[i] = FindSampleTypeConverter(channels_[i].type);
    for (void* buffer : buffers_[i].buffers) {
      if (buffer != nullptr) std::memset(buffer, 0, HalfBytes(i));
    }
  }
  if (HostGetLatencies(&inputLatency_, &outputLatency_) != kAsioOk) return Fail(-2);
  openRate_ = sampleRate_;
  // A driver's notice for the user (it decides when the user has seen it).
  char notice[124] = {};
  if (HostFuture(kQpFutureNotice, notice) == kAsioSuccess) {
    notice[sizeof notice - 1] = '\0';
    if (notice[0] != '\0') platform::ReportAppError(platform::FromUtf8(notice));
  }
  return 0;
}

void DeviceSession::Close() {
  if (buffersCreated_) HostDisposeBuffers();
  HostExit();
  std::fill(std::begin(converters_), std::end(converters_), nullptr);
  std::fill(std::begin(buffers_), std::end(buffers_), AsioBufferInfo{});
  outputBuffers_ = 0;
  openRate_ = 0;
  buffersCreated_ = false;
}

bool DeviceSession::NeedsOpen(double rate, std::int32_t dsdMode, bool ramMode) const {
  return !buffersCreated_ || ramMode || rate != openRate_ || dsdMode != dsdMode_;
}

bool DeviceSession::CarriesDop() const {
  for (int i = 0; i < outputBuffers_; ++i) {
    if (converters_[i] != nullptr && SignificantBits(channels_[i].type) < 24) return false;
  }
  return true;
}

std::size_t DeviceSession::HalfBytes(int index) const {
  return static_cast<std::size_t>(preferredSize_) * AsioSampleTypeBits(channels_[index].type) / 8;
}

double DeviceSession::HalfSeconds() const {
  return sampleRate_ > 0 ? static_cast<double>(preferredSize_) / sampleRate_ : 0.0;
}

}  // namespace output
