#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "drivers/AsioDriverBase.h"
#include "drivers/alsa/AlsaPcm.h"
#include "drivers/alsa/AlsaWriter.h"

// Settings of an ALSA driver entry, from its "key=value" registry lines.
struct AlsaDriverSettings {
  std::string device;      // usb:VVVV:PPPP, card:NAME or an ALSA PCM name
  uint32_t channels = 0;   // 0: stereo when the device takes it, else its fewest
  std::string driverName;  // empty: "ALSA " + device
  // How long the PCM stays open after the driver lets it go, for the next
  // driver object of the same device to take it back ("KeepOpen" in ms).
  std::chrono::milliseconds keepOpen{5000};

  static AlsaDriverSettings Parse(const char* lines);
};

// A driver on one ALSA PCM, played bit-perfect: the host's samples go to the
// device unchanged, PCM as S32_LE, S24_3LE or S16_LE (the first the device
// takes at the rate), native DSD, after the I/O-format switch, as DSD_U32_BE,
// DSD_U32_LE, DSD_U16_BE, DSD_U16_LE or DSD_U8. init takes the PCM from the
// process's AlsaPcmCache (so the card stays open, and configured, from one
// track to the next, and no other program takes it between calls) and says
// once when the PCM is not the card itself, so may not be bit-perfect;
// createBuffers sets the hardware parameters when they change; start runs
// the writer thread. A stop drops what ALSA still holds, unless the host
// asked for a drain stop (kQpFutureDrainOnStop): then the writer plays the
// given half and one half of idle signal out to the device, bounded by the
// ALSA buffer time plus a margin, before it drops. A pause stop
// (kQpFuturePauseOnStop) pauses the device where it can, or plays out what
// it holds, and the next start resumes from the writer's place.
class CAlsaDriver final : public CAsioDriverBase {
 public:
  explicit CAlsaDriver(AlsaDriverSettings settings);
  ~CAlsaDriver();

  AsioBool init(void* sysRef) override;
  void getErrorMessage(char* message) override;
  AsioError start() override;
  AsioError stop() override;
  AsioError disposeBuffers() override;
  AsioError outputReady() override;

 private:
  int32_t OutputChannels() const override { return static_cast<int32_t>(outputs_); }
  bool TakesRate(double rate) const override { return StreamFormat(rate) != nullptr; }
  bool BufferSizes(BufferLimits& limits) const override;
  AsioError OutputLatency(int32_t& samples) const override;
  int32_t ChannelSampleType() const override;
  void SamplePosition(int64_t& position, int64_t& timestamp) const override;
  AsioError PrepareHalves(int32_t bufferSize, std::size_t& halfBytes, std::uint8_t& fill) override;
  bool OffersIoFormat(int32_t format) const override { return ChannelsFor(format) != 0; }
  void SwitchIoFormat(int32_t ioFormat) override;
  AsioError FutureCall(int32_t selector, void* argument) override;

  std::span<const AlsaStreamFormat> Formats(int32_t ioFormat) const;
  // The device channels in an I/O format; 0 when the device plays none of
  // its formats (or not the configured channel count).
  uint32_t ChannelsFor(int32_t ioFormat) const;
  // The stream format for `rate` in the current I/O format, null when the
  // device takes none at that rate.
  const AlsaStreamFormat* StreamFormat(double rate) const;
  double DefaultRate() const;
  bool LimitsFor(const AlsaStreamFormat& format, BufferLimits& limits) const;

  const AlsaDriverSettings settings_;
  // Guarded by mutex_, as all the state but the writer.
  std::string pcmName_;
  std::string error_ = "No error";
  std::unique_ptr<AlsaPcm> pcm_;
  uint32_t outputs_ = 0;
  // Set by createBuffers.
  const AlsaStreamFormat* format_ = nullptr;
  AlsaPcm::Config config_{};
  bool dop_ = false;    // kQpFutureDopStream: the PCM words carry DoP
  std::string notice_;  // for the user, once (kQpFutureNotice)
  // Runs between start and stop; its thread never takes mutex_.
  AlsaWriter writer_;
};
