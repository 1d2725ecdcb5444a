#pragma once

#include <pulse/pulseaudio.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "output/AsioApi.h"
#include "platform/PulseClient.h"

// One playback stream on a sink and the rendering thread that feeds it. The
// thread writes the half the host filled last, then hands the other half to
// the host's buffer switch; the room the server grants paces it. The stream
// asks for 100 % volume relative to the sink and the sink's own channel map,
// so where the rate matches the sink's the samples reach it unchanged.
class PlaybackStream {
 public:
  struct Channel {
    int32_t streamChannel;
    const std::uint8_t* halves[2];
  };
  struct Setup {
    std::string sink;
    pa_sample_spec spec{};  // S32LE
    pa_channel_map channelMap{};
    int32_t bufferSize = 0;  // frames per half
    std::vector<Channel> channels;
    AsioCallbacks callbacks{};
    bool timeInfo = false;  // the host takes the buffer switch with time information
  };

  // Connects the stream and starts its rendering thread. kAsioNotPresent when
  // the server or the sink is gone, kAsioHwMalfunction when the server
  // refuses the stream.
  static AsioError Open(platform::PulseClient& client, Setup setup,
                        std::unique_ptr<PlaybackStream>& stream);
  // Stops and joins the rendering thread and closes the stream. A plain close
  // cuts what the server still holds; with `drain` the server first plays
  // out what was written, bounded by the time of the queue the stream keeps
  // there plus kDrainMargin. The client must outlive the stream.
  void Close(bool drain);
  // A plain Close, unless closed already.
  ~PlaybackStream();
  PlaybackStream(const PlaybackStream&) = delete;
  PlaybackStream& operator=(const PlaybackStream&) = delete;

  // True once the server or the sink went away under the stream.
  bool Failed() const { return failed_.load(); }
  // Frames handed to the server since the start.
  int64_t FramesWritten() const { return framesWritten_.load(); }

  // The bytes the stream keeps queued at the server: four halves, and never
  // less than 100 ms.
  static uint32_t TargetBytes(const pa_sample_spec& spec, int32_t bufferSize);

 private:
  PlaybackStream(platform::PulseClient& client, Setup setup);
  // With the client's lock held.
  bool IsGood() const;
  void Render();
  void Interleave(int half);
  void HandOver(int half);
  static void OnChange(pa_stream* stream, void* self);
  static void OnRoom(pa_stream* stream, size_t bytes, void* self);

  platform::PulseClient& client_;
  const Setup setup_;
  pa_stream* stream_ = nullptr;
  std::vector<std::uint8_t> interleaved_;  // one half of every stream channel
  bool stopping_ = false;                  // guarded by the client's lock
  std::atomic<bool> failed_{false};
  std::atomic<int64_t> framesWritten_{0};
  std::thread thread_;
};
