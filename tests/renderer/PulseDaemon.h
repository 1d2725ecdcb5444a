#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tests/fixtures/WavWriter.h"
#include "tests/renderer/ChildProcess.h"

namespace pulsetest {

// A null sink of the test server. `properties` are its sink properties as the
// server's module arguments write them: device.description="My DAC"
// device.vendor.id=3c5d ...; no single quotes.
struct NullSink {
  std::string name;
  std::string properties;
  uint32_t rate = 44100;
  int channels = 2;
};

// A PulseAudio server of the test's own: private runtime, state, home and
// configuration folders, the native protocol on a socket among them (anyone
// may connect), and the given null sinks in S32LE. While the object lives,
// PULSE_SERVER points this process (and the programs it starts) at it.
//
// It runs as whoever runs the test, root included (as in CI): as root the
// server only warns, since it is not started with --system and keeps to the
// folders given here. It is started without real-time scheduling and never
// exits when idle; the test waits for its readiness notification
// (NOTIFY_SOCKET), not for time to pass.
class PulseDaemon {
 public:
  explicit PulseDaemon(const std::vector<NullSink>& sinks);
  ~PulseDaemon();
  PulseDaemon(const PulseDaemon&) = delete;
  PulseDaemon& operator=(const PulseDaemon&) = delete;

  // True once the server said it is ready.
  bool IsRunning() const { return ready_; }
  // Ends the server now, as when the desktop's server goes away.
  void Stop();
  // The server's log, for failure messages.
  std::string Log() const;

 private:
  fixtures::TempDir dir_;
  std::unique_ptr<ChildProcess> server_;
  bool ready_ = false;
};

// Points this process at a server socket that does not exist while it lives.
class NoServer {
 public:
  NoServer();
  ~NoServer();

 private:
  fixtures::TempDir dir_;
};

}  // namespace pulsetest
