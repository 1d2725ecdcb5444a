#include "tools/play/Terminal.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace play {
namespace {

int gSignalWrite = -1;
int gSignalRead = -1;

void OnStopSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const auto written = write(gSignalWrite, &byte, 1);
}

}  // namespace

CTerminalKeys::CTerminalKeys() {
  if (!isatty(0) || tcgetattr(0, &saved_) != 0) return;
  termios raw = saved_;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  active_ = tcsetattr(0, TCSANOW, &raw) == 0;
}

CTerminalKeys::~CTerminalKeys() {
  if (active_) tcsetattr(0, TCSANOW, &saved_);
}

std::vector<CTerminalKeys::Key> CTerminalKeys::ReadKeys() {
  char buffer[64];
  const auto count = read(0, buffer, sizeof buffer);
  if (count > 0) pending_.append(buffer, static_cast<std::size_t>(count));
  std::vector<Key> keys;
  for (const auto& sequence : Split(pending_)) {
    if (const Key key = Decode(sequence); key != Key::kNone) keys.push_back(key);
  }
  return keys;
}

std::vector<std::string> CTerminalKeys::Split(std::string& pending) {
  std::vector<std::string> sequences;
  std::size_t at = 0;
  while (at < pending.size()) {
    if (pending[at] != '\x1b') {
      sequences.push_back(pending.substr(at, 1));
      ++at;
      continue;
    }
    // ESC [ then parameters up to a final letter; keep an unfinished one.
    if (at + 1 >= pending.size()) break;
    if (pending[at + 1] != '[') {
      sequences.push_back(pending.substr(at, 2));
      at += 2;
      continue;
    }
    std::size_t end = at + 2;
    while (end < pending.size() && !(pending[end] >= '@' && pending[end] <= '~'))
      ++end;
    if (end >= pending.size()) break;
    sequences.push_back(pending.substr(at, end - at + 1));
    at = end + 1;
  }
  pending.erase(0, at);
  return sequences;
}

CTerminalKeys::Key CTerminalKeys::Decode(const std::string& sequence) {
  if (sequence == " ") return Key::kPause;
  if (sequence == "n" || sequence == "N") return Key::kNext;
  if (sequence == "p" || sequence == "P") return Key::kPrevious;
  if (sequence == "q" || sequence == "Q") return Key::kQuit;
  if (sequence == "\x1b[D") return Key::kBack;
  if (sequence == "\x1b[C") return Key::kForward;
  return Key::kNone;
}

CStopSignals::CStopSignals() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
  gSignalRead = fds[0];
  gSignalWrite = fds[1];
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

CStopSignals::~CStopSignals() {
  signal(SIGINT, SIG_DFL);
  signal(SIGTERM, SIG_DFL);
  if (gSignalRead >= 0) close(gSignalRead);
  if (gSignalWrite >= 0) close(gSignalWrite);
  gSignalRead = gSignalWrite = -1;
}

int CStopSignals::fd() const {
  return gSignalRead;
}

}  // namespace play
