#pragma once

#include <alsa/asoundlib.h>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>

#include "output/AsioApi.h"

// One way of carrying the host's samples to ALSA: the ALSA format, the sample
// type the host writes, the bytes one channel has in one ALSA frame, the
// host samples one ALSA frame carries (1 for PCM; 8, 16 or 32 one-bit
// samples for DSD, so the ALSA rate is the DSD bit rate / 8, / 16 or / 32),
// and whether a frame's group holds the host's bytes in reverse order (the
// little-endian DSD words: the earliest byte is the word's most significant).
struct AlsaStreamFormat {
  snd_pcm_format_t format;
  int32_t sampleType;
  uint32_t groupBytes;
  uint32_t samplesPerFrame;
  bool reversed = false;
};

// In the order the driver tries them: the widest PCM first; the widest DSD
// words first, since fewer, larger frames are what the kernel's native DSD
// paths are built for, big-endian before little-endian (byte order is time
// order), single bytes last.
inline constexpr AlsaStreamFormat kPcmFormats[] = {
    {SND_PCM_FORMAT_S32_LE, kAsioInt32Lsb, 4, 1},
    {SND_PCM_FORMAT_S24_3LE, kAsioInt24Lsb, 3, 1},
    {SND_PCM_FORMAT_S16_LE, kAsioInt16Lsb, 2, 1},
};
inline constexpr AlsaStreamFormat kDsdFormats[] = {
    {SND_PCM_FORMAT_DSD_U32_BE, kAsioDsdInt8Msb1, 4, 32},
    {SND_PCM_FORMAT_DSD_U32_LE, kAsioDsdInt8Msb1, 4, 32, true},
    {SND_PCM_FORMAT_DSD_U16_BE, kAsioDsdInt8Msb1, 2, 16},
    {SND_PCM_FORMAT_DSD_U16_LE, kAsioDsdInt8Msb1, 2, 16, true},
    {SND_PCM_FORMAT_DSD_U8, kAsioDsdInt8Msb1, 1, 8},
};

// One open ALSA playback PCM (non-blocking) and the hardware questions the
// driver asks it. Every question starts from the full configuration space
// with interleaved access and without resampling, so the answers describe
// what the device itself plays. The hardware parameters stay set until a
// different configuration is asked for: setting them again would drop a
// USB interface to its zero-bandwidth setting between two tracks.
class AlsaPcm {
 public:
  // The negative errno of snd_pcm_open on failure.
  static int Open(const std::string& name, std::unique_ptr<AlsaPcm>& pcm);
  ~AlsaPcm();
  AlsaPcm(const AlsaPcm&) = delete;
  AlsaPcm& operator=(const AlsaPcm&) = delete;

  snd_pcm_t* handle() const { return pcm_; }
  const std::string& name() const { return name_; }
  // Whether the PCM is the card itself; any other type (plug, dmix, a sound
  // server) may convert what it is given.
  bool IsHardware() const { return snd_pcm_type(pcm_) == SND_PCM_TYPE_HW; }
  // Whether the configured device can pause (and resume) where it is.
  bool CanPause() const { return canPause_; }

  // Whether the device plays `format` with `channels` at `rate`; a zero
  // channel count or rate leaves that open.
  bool Accepts(snd_pcm_format_t format, unsigned channels, unsigned rate) const;
  // The channel counts the device offers with any of `formats`; false when
  // it plays none of them.
  bool ChannelRange(std::span<const AlsaStreamFormat> formats, unsigned& minimum,
                    unsigned& maximum) const;
  // The largest ALSA buffer, in frames, for this format, channels and rate.
  snd_pcm_uframes_t MaxBufferFrames(snd_pcm_format_t format, unsigned channels,
                                    unsigned rate) const;

  struct Config {
    snd_pcm_format_t format;
    unsigned channels;
    unsigned rate;
    snd_pcm_uframes_t periodFrames;  // wanted; set to what the device took
    snd_pcm_uframes_t bufferFrames;  // likewise
  };
  // Sets the hardware and software parameters: the stream starts once the
  // buffer is full, wakes the writer a period at a time and timestamps its
  // status on the steady clock. Asked for what is already set, it keeps the
  // hardware parameters and only stops the stream. Negative errno on failure.
  int Configure(Config& config);
  // Releases the hardware parameters (the device keeps nothing configured).
  void Unconfigure();
  // How many times the hardware parameters were set since the PCM opened.
  int configurations() const { return configurations_; }

 private:
  AlsaPcm(snd_pcm_t* pcm, std::string name) : pcm_(pcm), name_(std::move(name)) {}
  // The base configuration space; false when the device has none.
  bool Base(snd_pcm_hw_params_t* params) const;
  int SetSoftwareParams(const Config& config);

  snd_pcm_t* pcm_;
  const std::string name_;
  bool configured_ = false;
  Config wanted_{};   // what the current hardware parameters were asked for
  Config current_{};  // and what they are
  bool canPause_ = false;
  int configurations_ = 0;
};
