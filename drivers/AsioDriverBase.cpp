#include "drivers/AsioDriverBase.h"

#include <algorithm>

int32_t CAsioDriverBase::QueryInterface(const AsioClassId&, void** object) {
  if (object == nullptr) return kAsioInvalidParameter;
  AddRef();
  *object = this;
  return kAsioOk;
}

uint32_t CAsioDriverBase::Release() {
  const uint32_t left = --references_;
  if (left == 0) delete this;
  return left;
}

void CAsioDriverBase::getDriverName(char* name) {
  CopyAsioText(name, kAsioDriverNameBytes, driverName_);
}

AsioError CAsioDriverBase::getChannels(int32_t* inputs, int32_t* outputs) {
  std::lock_guard lock(mutex_);
  if (state_ == State::kLoaded) return kAsioNotPresent;
  if (inputs == nullptr || outputs == nullptr) return kAsioInvalidParameter;
  *inputs = 0;
  *outputs = OutputChannels();
  return kAsioOk;
}

AsioError CAsioDriverBase::getLatencies(int32_t* input, int32_t* output) {
  std::lock_guard lock(mutex_);
  if (state_ == State::kLoaded) return kAsioNotPresent;
  if (input == nullptr || output == nullptr) return kAsioInvalidParameter;
  *input = 0;
  return OutputLatency(*output);
}

AsioError CAsioDriverBase::getBufferSize(int32_t* minimum, int32_t* maximum, int32_t* preferred,
                                         int32_t* granularity) {
  std::lock_guard lock(mutex_);
  if (state_ == State::kLoaded) return kAsioNotPresent;
  if (minimum == nullptr || maximum == nullptr || preferred == nullptr || granularity == nullptr)
    return kAsioInvalidParameter;
  BufferLimits limits{};
  if (!BufferSizes(limits)) return kAsioNotPresent;
  *minimum = limits.minimum;
  *maximum = limits.maximum;
  *preferred = limits.preferred;
  *granularity = limits.granularity;
  return kAsioOk;
}

AsioError CAsioDriverBase::canSampleRate(AsioSampleRate rate) {
  std::lock_guard lock(mutex_);
  if (state_ == State::kLoaded) return kAsioNotPresent;
  return TakesRate(rate) ? kAsioOk : kAsioNoClock;
}

AsioError CAsioDriverBase::getSampleRate(AsioSampleRate* rate) {
  std::lock_guard lock(mutex_);
  if (state_ == State::kLoaded) return kAsioNotPresent;
  if (rate == nullptr) return kAsioInvalidParameter;
  *rate = rate_;
  return kAsioOk;
}

AsioError CAsioDriverBase::setSampleRate(AsioSampleRate rate) {
  std::lock_guard lock(mutex_);
  if (state_ == State::kLoaded) return kAsioNotPresent;
  if (state_ == State::kRunning) return kAsioInvalidMode;
  if (!TakesRate(rate)) return kAsioNoClock;
  if (state_ == State::kPrepared && rate != rate_ && BuffersFixRate()) return kAsioInvalidMode;
  rate_ = rate;
  return kAsioOk;
}

AsioError CAsioDriverBase::getSamplePosition(int64_t* position, int64_t* timestamp) {
  std::lock_guard lock(mutex_);
  if (state_ != State::kRunning) return kAsioSpNotAdvancing;
  if (position == nullptr || timestamp == nullptr) return kAsioInvalidParameter;
  SamplePosition(*position, *timestamp);
  return kAsioOk;
}

AsioError CAsioDriverBase::getChannelInfo(AsioChannelInfo* info) {
  std::lock_guard lock(mutex_);
  if (state_ == State::kLoaded) return kAsioNotPresent;
  if (!IsOutputChannelQuery(info, OutputChannels())) return kAsioInvalidParameter;
  info->isActive = std::any_of(channels_.begin(), channels_.end(),
                               [&](const Channel& c) { return c.number == info->channel; });
  info->channelGroup = 0;
  info->type = ChannelSampleType();
  CopyAsioText(info->name, sizeof info->name, "Out " + std::to_string(info->channel + 1));
  return kAsioOk;
}

AsioError CAsioDriverBase::createBuffers(AsioBufferInfo* infos, int32_t count, int32_t bufferSize,
                                         AsioCallbacks* callbacks) {
  std::lock_guard lock(mutex_);
  if (state_ != State::kInitialized) return kAsioInvalidMode;
  if (infos == nullptr || callbacks == nullptr || callbacks->bufferSwitch == nullptr ||
      count <= 0 || count > OutputChannels()) {
    return kAsioInvalidParameter;
  }
  BufferLimits limits{};
  if (!BufferSizes(limits)) return kAsioNoClock;
  if (bufferSize < limits.minimum || bufferSize > limits.maximum ||
      (limits.granularity > 0 && bufferSize % limits.granularity != 0)) {
    return kAsioInvalidMode;
  }
  if (!IsValidOutputRequest(infos, count, OutputChannels())) return kAsioInvalidParameter;
  std::size_t halfBytes = 0;
  std::uint8_t fill = 0;
  if (const AsioError prepared = PrepareHalves(bufferSize, halfBytes, fill); prepared != kAsioOk) {
    return prepared;
  }
  channels_.assign(static_cast<std::size_t>(count), Channel{});
  for (int32_t i = 0; i < count; ++i) {
    Channel& channel = channels_[static_cast<std::size_t>(i)];
    channel.number = infos[i].channelNum;
    for (int half = 0; half < 2; ++half) {
      channel.halves[half].assign(halfBytes, fill);
      infos[i].buffers[half] = channel.halves[half].data();
    }
  }
  callbacks_ = *callbacks;
  useTimeInfo_ = HostTakesTimeInfo(callbacks_);
  bufferSize_ = bufferSize;
  state_ = State::kPrepared;
  return kAsioOk;
}

AsioError CAsioDriverBase::future(int32_t selector, void* argument) {
  std::lock_guard lock(mutex_);
  if (const auto answer = AnswerAsioStopMode(selector, state_ == State::kRunning, stopMode_)) {
    return *answer;
  }
  switch (selector) {
    case kAsioCanDoIoFormat:
    case kAsioSetIoFormat:
    case kAsioGetIoFormat:
      return AnswerAsioIoFormat(
          selector, argument,
          {ioFormat_, state_ != State::kLoaded || KnowsIoFormatsBeforeInit(),
           state_ == State::kRunning || state_ == State::kPrepared},
          [this](int32_t format) { return OffersIoFormat(format); },
          [this](int32_t format) { SwitchIoFormat(format); });
    default:
      return FutureCall(selector, argument);
  }
}
