#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "output/RendererApi.h"
#include "platform/PulseClient.h"
#include "renderer/PlaybackStream.h"

// The renderer library's device: the sink chosen by SelectDevice, opened by
// Init on a connection of its own, played through ASIO-style double buffers
// of 32-bit little-endian samples. One instance per process serves the
// library's exports. Calls come from one control thread at a time; the
// rendering thread calls back into the host without holding any lock of ours.
class CPulseRenderer {
 public:
  static CPulseRenderer& Instance();
  ~CPulseRenderer();

  int32_t EnumerateDevices(WasapiDeviceRecord* records, int32_t capacity, int32_t* count);
  int32_t SelectDevice(const char16_t* name, int32_t flags);
  int32_t SelectedFlags();

  AsioError Init(AsioDriverInfo* info);
  AsioError Exit();
  AsioError Start();
  AsioError Stop();
  AsioError GetChannels(int32_t* inputs, int32_t* outputs);
  AsioError GetLatencies(int32_t* input, int32_t* output);
  AsioError GetBufferSize(int32_t* minimum, int32_t* maximum, int32_t* preferred,
                          int32_t* granularity);
  AsioError CanSampleRate(AsioSampleRate rate);
  AsioError GetSampleRate(AsioSampleRate* rate);
  AsioError SetSampleRate(AsioSampleRate rate);
  AsioError GetClockSources(AsioClockSource* clocks, int32_t* count);
  AsioError SetClockSource(int32_t reference);
  AsioError GetSamplePosition(int64_t* position, int64_t* timestamp);
  AsioError GetChannelInfo(AsioChannelInfo* info);
  AsioError CreateBuffers(AsioBufferInfo* infos, int32_t count, int32_t bufferSize,
                          AsioCallbacks* callbacks);
  AsioError DisposeBuffers();
  AsioError ControlPanel();
  AsioError Future(int32_t selector, void* argument);
  AsioError OutputReady();

 private:
  enum class State { kClosed, kInitialized, kPrepared, kRunning };
  struct Channel {
    int32_t number;
    std::vector<std::uint8_t> halves[2];
  };

  CPulseRenderer() = default;
  // With mutex_ held: kAsioOk while the device is open and its server and
  // stream are still there, else kAsioNotPresent.
  AsioError CheckOpen();
  // Ends the stream, if any, letting the server play out what was written
  // when `drain`; the stream's thread is joined without mutex_ held, since
  // the host may call back into us until it ends.
  void EndStream(bool drain);
  int32_t BufferSizeOrPreferred() const;

  std::mutex mutex_;
  // The selection: the sink's server name and the caller's flags.
  std::string selectedSink_;
  int32_t selectedFlags_ = 0;
  // The open device.
  State state_ = State::kClosed;
  std::unique_ptr<platform::PulseClient> client_;
  PlaybackStream::Setup setup_;  // sink, format, channel map; buffers once created
  std::vector<Channel> channels_;
  std::unique_ptr<PlaybackStream> stream_;
  bool drainOnStop_ = false;  // kQpFutureDrainOnStop: the next Stop plays out
};
