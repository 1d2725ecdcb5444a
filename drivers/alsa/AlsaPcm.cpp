#include "drivers/alsa/AlsaPcm.h"

#include <algorithm>

int AlsaPcm::Open(const std::string& name, std::unique_ptr<AlsaPcm>& pcm) {
  snd_pcm_t* handle = nullptr;
  const int error = snd_pcm_open(&handle, name.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
  if (error < 0) return error;
  pcm.reset(new AlsaPcm(handle, name));
  return 0;
}

AlsaPcm::~AlsaPcm() {
  snd_pcm_close(pcm_);
}

bool AlsaPcm::Base(snd_pcm_hw_params_t* params) const {
  return snd_pcm_hw_params_any(pcm_, params) >= 0 &&
         snd_pcm_hw_params_set_access(pcm_, params, SND_PCM_ACCESS_RW_INTERLEAVED) >= 0 &&
         snd_pcm_hw_params_set_rate_resample(pcm_, params, 0) >= 0;
}

bool AlsaPcm::Accepts(snd_pcm_format_t format, unsigned channels, unsigned rate) const {
  snd_pcm_hw_params_t* params;
  snd_pcm_hw_params_alloca(&params);
  return Base(params) && snd_pcm_hw_params_set_format(pcm_, params, format) >= 0 &&
         (channels == 0 || snd_pcm_hw_params_set_channels(pcm_, params, channels) >= 0) &&
         (rate == 0 || snd_pcm_hw_params_set_rate(pcm_, params, rate, 0) >= 0);
}

bool AlsaPcm::ChannelRange(std::span<const AlsaStreamFormat> formats, unsigned& minimum,
                           unsigned& maximum) const {
  snd_pcm_hw_params_t* params;
  snd_pcm_hw_params_alloca(&params);
  snd_pcm_format_mask_t* mask;
  snd_pcm_format_mask_alloca(&mask);
  snd_pcm_format_mask_none(mask);
  for (const auto& format : formats)
    snd_pcm_format_mask_set(mask, format.format);
  return Base(params) && snd_pcm_hw_params_set_format_mask(pcm_, params, mask) >= 0 &&
         snd_pcm_hw_params_get_channels_min(params, &minimum) >= 0 &&
         snd_pcm_hw_params_get_channels_max(params, &maximum) >= 0;
}

snd_pcm_uframes_t AlsaPcm::MaxBufferFrames(snd_pcm_format_t format, unsigned channels,
                                           unsigned rate) const {
  snd_pcm_hw_params_t* params;
  snd_pcm_hw_params_alloca(&params);
  snd_pcm_uframes_t frames = 0;
  if (!Base(params) || snd_pcm_hw_params_set_format(pcm_, params, format) < 0 ||
      snd_pcm_hw_params_set_channels(pcm_, params, channels) < 0 ||
      snd_pcm_hw_params_set_rate(pcm_, params, rate, 0) < 0 ||
      snd_pcm_hw_params_get_buffer_size_max(params, &frames) < 0) {
    return 0;
  }
  return frames;
}

int AlsaPcm::Configure(Config& config) {
  const auto same = [](const Config& a, const Config& b) {
    return a.format == b.format && a.channels == b.channels && a.rate == b.rate &&
           a.periodFrames == b.periodFrames && a.bufferFrames == b.bufferFrames;
  };
  if (configured_ && same(config, wanted_)) {
    snd_pcm_drop(pcm_);
    config = current_;
    return SetSoftwareParams(config);
  }
  const Config wanted = config;
  Unconfigure();
  snd_pcm_hw_params_t* params;
  snd_pcm_hw_params_alloca(&params);
  int error = Base(params) ? 0 : -EINVAL;
  if (error >= 0) error = snd_pcm_hw_params_set_format(pcm_, params, config.format);
  if (error >= 0) error = snd_pcm_hw_params_set_channels(pcm_, params, config.channels);
  if (error >= 0) error = snd_pcm_hw_params_set_rate(pcm_, params, config.rate, 0);
  if (error >= 0)
    error = snd_pcm_hw_params_set_period_size_near(pcm_, params, &config.periodFrames, nullptr);
  if (error >= 0) {
    config.bufferFrames = std::max(config.bufferFrames, 2 * config.periodFrames);
    error = snd_pcm_hw_params_set_buffer_size_near(pcm_, params, &config.bufferFrames);
  }
  if (error >= 0) error = snd_pcm_hw_params(pcm_, params);
  if (error < 0) return error;
  ++configurations_;
  snd_pcm_hw_params_get_period_size(params, &config.periodFrames, nullptr);
  snd_pcm_hw_params_get_buffer_size(params, &config.bufferFrames);
  canPause_ = snd_pcm_hw_params_can_pause(params) == 1;
  configured_ = true;
  wanted_ = wanted;
  current_ = config;
  return SetSoftwareParams(config);
}

int AlsaPcm::SetSoftwareParams(const Config& config) {
  snd_pcm_sw_params_t* software;
  snd_pcm_sw_params_alloca(&software);
  int error = snd_pcm_sw_params_current(pcm_, software);
  if (error >= 0)
    error = snd_pcm_sw_params_set_start_threshold(pcm_, software, config.bufferFrames);
  if (error >= 0) error = snd_pcm_sw_params_set_avail_min(pcm_, software, config.periodFrames);
  // Positions are taken from the status, timestamped where the device
  // updated its pointer; on the steady clock, as the host's system time.
  if (error >= 0) error = snd_pcm_sw_params_set_tstamp_mode(pcm_, software, SND_PCM_TSTAMP_ENABLE);
  if (error >= 0) snd_pcm_sw_params_set_tstamp_type(pcm_, software, SND_PCM_TSTAMP_TYPE_MONOTONIC);
  if (error >= 0) error = snd_pcm_sw_params(pcm_, software);
  return error;
}

void AlsaPcm::Unconfigure() {
  snd_pcm_drop(pcm_);
  if (configured_) snd_pcm_hw_free(pcm_);
  configured_ = false;
}
