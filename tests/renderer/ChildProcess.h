#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace pulsetest {

// A program run by a test, ended with SIGTERM and reaped when the object goes.
// It also dies with the test's thread that started it, so a crashed test
// leaves no server behind.
class ChildProcess {
 public:
  // Runs `argv` with this process's environment, `environment` ("KEY=value")
  // added or replacing entries of the same key; the child's
  // stdout and stderr go to the given descriptors (-1: /dev/null).
  ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
               int stdoutFd = -1, int stderrFd = -1);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool IsStarted() const { return pid_ > 0; }
  // A descriptor that becomes readable when the child ends.
  int ExitDescriptor() const { return pidfd_; }
  // Sends SIGTERM and waits for the child; its exit status (-1 if signalled).
  int Terminate();

 private:
  pid_t pid_ = -1;
  int pidfd_ = -1;
};

// Runs a program to its end and returns what it wrote to stdout.
std::string RunForOutput(const std::vector<std::string>& argv);

}  // namespace pulsetest
