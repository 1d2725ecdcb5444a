#pragma once

#include <termios.h>

#include <string>
#include <vector>

namespace play {

// Standard input as a key source: raw (no line editing, no echo) while
// this object lives, when standard input is a terminal.
class CTerminalKeys {
 public:
  enum class Key { kNone, kPause, kNext, kPrevious, kBack, kForward, kQuit };

  CTerminalKeys();
  ~CTerminalKeys();
  CTerminalKeys(const CTerminalKeys&) = delete;
  CTerminalKeys& operator=(const CTerminalKeys&) = delete;

  bool active() const { return active_; }
  int fd() const { return 0; }
  // Reads what is waiting: the keys it finished, in order.
  std::vector<Key> ReadKeys();
  // The key of one finished sequence ("q", " ", "\x1b[C"...).
  static Key Decode(const std::string& sequence);
  // Splits raw input into key sequences; an unfinished escape sequence
  // stays in `pending`.
  static std::vector<std::string> Split(std::string& pending);

 private:
  bool active_ = false;
  termios saved_{};
  std::string pending_;
};

// SIGINT and SIGTERM, turned into a readable pipe for the main loop while
// this object lives.
class CStopSignals {
 public:
  CStopSignals();
  ~CStopSignals();
  CStopSignals(const CStopSignals&) = delete;
  CStopSignals& operator=(const CStopSignals&) = delete;
  int fd() const;
};

}  // namespace play
