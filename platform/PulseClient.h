#pragma once

#include <pulse/pulseaudio.h>

#include <chrono>
#include <functional>
#include <optional>
#include <vector>

#include "platform/PulseSinks.h"

namespace platform {

// One connection to the sound server (PulseAudio, or PipeWire through
// pipewire-pulse) named by the environment, never autospawning one. It owns a
// threaded mainloop whose thread runs from Connect to destruction; every call
// into libpulse for this connection happens with the mainloop lock held.
class PulseClient {
 public:
  PulseClient() = default;
  ~PulseClient();
  PulseClient(const PulseClient&) = delete;
  PulseClient& operator=(const PulseClient&) = delete;

  // Connects; false when no server answers within `timeout`.
  bool Connect(std::chrono::milliseconds timeout = kPulseTimeout);
  // True while the connection stands (false once the server went away).
  bool IsConnected();
  // The server's sinks in its own order; nullopt when the connection fails.
  std::optional<std::vector<PulseSink>> ListSinks(
      std::chrono::milliseconds timeout = kPulseTimeout);

  // The mainloop lock (recursive); callbacks of this connection run under it.
  class Lock {
   public:
    explicit Lock(PulseClient& client);
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

   private:
    pa_threaded_mainloop* mainloop_;
  };

  // With the lock held once: waits until `done()` holds or `deadline`
  // (pa_rtclock_now time) passes; false on timeout. Whatever changes the
  // state `done` reads must call Signal.
  bool Wait(const std::function<bool()>& done, pa_usec_t deadline);
  // With the lock held once: waits for the next Signal, however long.
  void WaitForSignal();
  // Wakes every Wait; with the lock held.
  void Signal();

  pa_context* context() const { return context_; }

 private:
  static void OnContextState(pa_context* context, void* self);

  pa_threaded_mainloop* mainloop_ = nullptr;
  pa_context* context_ = nullptr;
};

// The deadline `timeout` from now on the server library's clock.
pa_usec_t PulseDeadline(std::chrono::milliseconds timeout);

}  // namespace platform
