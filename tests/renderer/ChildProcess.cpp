#include "tests/renderer/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

extern char** environ;

namespace pulsetest {

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::vector<std::string>& environment, int stdoutFd,
                           int stderrFd) {
  // Everything the child needs is built before the fork: after it, only
  // async-signal-safe calls.
  auto key = [](const std::string& entry) { return entry.substr(0, entry.find('=') + 1); };
  std::vector<std::string> envStrings;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry(*e);
    bool replaced = false;
    for (const auto& own : environment)
      replaced = replaced || key(own) == key(entry);
    if (!replaced) envStrings.push_back(entry);
  }
  envStrings.insert(envStrings.end(), environment.begin(), environment.end());
  std::vector<char*> envp;
  for (auto& e : envStrings)
    envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> args(argv);
  std::vector<char*> argp;
  for (auto& a : args)
    argp.push_back(a.data());
  argp.push_back(nullptr);
  const int devNull = open("/dev/null", O_RDWR | O_CLOEXEC);
  const pid_t parent = getpid();

  pid_ = fork();
  if (pid_ == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(126);
    dup2(devNull, 0);
    dup2(stdoutFd >= 0 ? stdoutFd : devNull, 1);
    dup2(stderrFd >= 0 ? stderrFd : devNull, 2);
    execvpe(argp[0], argp.data(), envp.data());
    _exit(127);
  }
  close(devNull);
  if (pid_ > 0) pidfd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
}

ChildProcess::~ChildProcess() {
  Terminate();
}

int ChildProcess::Terminate() {
  if (pid_ <= 0) return -1;
  kill(pid_, SIGTERM);
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  if (pidfd_ >= 0) close(pidfd_);
  pidfd_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string RunForOutput(const std::vector<std::string>& argv) {
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return "";
  std::string output;
  {
    ChildProcess child(argv, {}, pipeFds[1]);
    close(pipeFds[1]);
    char buffer[4096];
    ssize_t got;
    while ((got = read(pipeFds[0], buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR)) {
      if (got > 0) output.append(buffer, static_cast<std::size_t>(got));
    }
    close(pipeFds[0]);
  }
  return output;
}

}  // namespace pulsetest
