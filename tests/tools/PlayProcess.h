#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "tests/fixtures/ChildProcess.h"

namespace playtest {

// quorelle-play run as a person runs it: its own process, standard input
// not a terminal, standard output and error collected.
class PlayProcess {
 public:
  PlayProcess(const std::vector<std::string>& args, const std::vector<std::string>& environment);
  ~PlayProcess();
  PlayProcess(const PlayProcess&) = delete;
  PlayProcess& operator=(const PlayProcess&) = delete;

  // Collects output until the program ends by itself; its exit status, or
  // -2 when it was still running after `limit` (it is then ended).
  int Wait(std::chrono::milliseconds limit = std::chrono::minutes(2));
  // Collects output until standard output holds `text`; false when the
  // program ended or `limit` passed first.
  bool WaitForOutput(const std::string& text,
                     std::chrono::milliseconds limit = std::chrono::seconds(30));
  // Sends SIGTERM, collects the rest of the output; the exit status.
  int Terminate();

  const std::string& out() const { return out_; }
  const std::string& err() const { return err_; }

 private:
  // Reads what is there within `limit`; false once the program has ended
  // and its output is drained.
  bool Pump(std::chrono::milliseconds limit);

  std::unique_ptr<pulsetest::ChildProcess> child_;
  int outFd_ = -1;
  int errFd_ = -1;
  bool ended_ = false;
  std::string out_;
  std::string err_;
};

// A run to the end: exit status and output.
struct PlayResult {
  int exitCode;
  std::string out;
  std::string err;
};
PlayResult RunPlay(const std::vector<std::string>& args,
                   const std::vector<std::string>& environment);

}  // namespace playtest
