#include "tests/tools/PlayProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace playtest {

PlayProcess::PlayProcess(const std::vector<std::string>& args,
                         const std::vector<std::string>& environment) {
  int out[2];
  int err[2];
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return;
  std::vector<std::string> argv{QP_PLAY_BINARY};
  argv.insert(argv.end(), args.begin(), args.end());
  child_ = std::make_unique<pulsetest::ChildProcess>(argv, environment, out[1], err[1]);
  close(out[1]);
  close(err[1]);
  outFd_ = out[0];
  errFd_ = err[0];
}

PlayProcess::~PlayProcess() {
  child_.reset();
  if (outFd_ >= 0) close(outFd_);
  if (errFd_ >= 0) close(errFd_);
}

bool PlayProcess::Pump(std::chrono::milliseconds limit) {
  if (outFd_ < 0 && errFd_ < 0) return false;
  pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
  if (poll(fds, 2, static_cast<int>(limit.count())) <= 0) return true;
  char buffer[4096];
  for (int i = 0; i < 2; ++i) {
    if (fds[i].revents == 0) continue;
    const auto count = read(fds[i].fd, buffer, sizeof buffer);
    if (count > 0) {
      (i == 0 ? out_ : err_).append(buffer, static_cast<std::size_t>(count));
    } else {
      // The pipe's writer, the program, has gone.
      close(fds[i].fd);
      (i == 0 ? outFd_ : errFd_) = -1;
    }
  }
  return outFd_ >= 0 || errFd_ >= 0;
}

int PlayProcess::Wait(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (!Pump(std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now()))) {
      return child_ ? child_->Terminate() : -1;  // reaps the ended program
    }
  }
  Terminate();
  return -2;
}

bool PlayProcess::WaitForOutput(const std::string& text, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (out_.find(text) == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !Pump(left)) return out_.find(text) != std::string::npos;
  }
  return true;
}

int PlayProcess::Terminate() {
  if (!child_) return -1;
  const int status = child_->Terminate();
  while (Pump(std::chrono::milliseconds(1000))) {
  }
  return status;
}

PlayResult RunPlay(const std::vector<std::string>& args,
                   const std::vector<std::string>& environment) {
  PlayProcess process(args, environment);
  const int code = process.Wait();
  return {code, process.out(), process.err()};
}

}  // namespace playtest
