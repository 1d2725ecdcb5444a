#include "tests/renderer/PulseDaemon.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace pulsetest {
namespace {

constexpr int kStartTimeoutMs = 10000;

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path) << text;
}

// A datagram socket the server reports its readiness to.
int BindNotifySocket(const std::string& path) {
  const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Waits for "READY=1" on the socket; false when the server ends first or
// does not answer in time.
bool WaitReady(int notifyFd, int exitFd) {
  pollfd fds[2] = {{notifyFd, POLLIN, 0}, {exitFd, POLLIN, 0}};
  for (;;) {
    if (poll(fds, exitFd >= 0 ? 2 : 1, kStartTimeoutMs) <= 0) return false;
    if (fds[1].revents != 0) return false;
    char message[256] = {};
    const ssize_t got = recv(notifyFd, message, sizeof message - 1, 0);
    if (got > 0 && std::strstr(message, "READY=1") != nullptr) return true;
  }
}

}  // namespace

PulseDaemon::PulseDaemon(const std::vector<NullSink>& sinks) {
  const std::string run = dir_.File("run");
  mkdir(run.c_str(), 0700);
  mkdir(dir_.File("state").c_str(), 0700);
  mkdir(dir_.File("home").c_str(), 0700);
  const std::string socketPath = dir_.File("native");

  // Flat volumes on: the renderer must keep samples exact there too. Enough
  // descriptors for many sinks; no real-time scheduling, no idle exit.
  WriteText(dir_.File("daemon.conf"),
            "exit-idle-time = -1\n"
            "realtime-scheduling = no\n"
            "high-priority = no\n"
            "flat-volumes = yes\n"
            "rlimit-nofile = 4096\n");
  std::ostringstream script;
  script << "load-module module-native-protocol-unix auth-anonymous=1 socket=" << socketPath
         << "\n";
  for (const NullSink& sink : sinks) {
    script << "load-module module-null-sink sink_name=" << sink.name
           << " format=s32le rate=" << sink.rate << " channels=" << sink.channels
           << " sink_properties='" << sink.properties << "'\n";
  }
  WriteText(dir_.File("default.pa"), script.str());

  const std::string notifyPath = dir_.File("notify");
  const int notifyFd = BindNotifySocket(notifyPath);
  server_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{
          "pulseaudio", "-n", "-F", dir_.File("default.pa"), "--daemonize=no", "--use-pid-file=no",
          "--system=false", "--log-target=file:" + dir_.File("daemon.log"), "--log-level=notice"},
      std::vector<std::string>{
          "HOME=" + dir_.File("home"), "XDG_CONFIG_HOME=" + dir_.File("home"),
          "XDG_RUNTIME_DIR=" + run, "PULSE_RUNTIME_PATH=" + run + "/pulse",
          "PULSE_STATE_PATH=" + dir_.File("state"), "PULSE_CONFIG=" + dir_.File("daemon.conf"),
          "NOTIFY_SOCKET=" + notifyPath, "DBUS_SESSION_BUS_ADDRESS=disabled:", "DISPLAY="});
  ready_ = notifyFd >= 0 && server_->IsStarted() && WaitReady(notifyFd, server_->ExitDescriptor());
  if (notifyFd >= 0) close(notifyFd);
  setenv("PULSE_SERVER", ("unix:" + socketPath).c_str(), 1);
}

PulseDaemon::~PulseDaemon() {
  Stop();
  unsetenv("PULSE_SERVER");
}

void PulseDaemon::Stop() {
  server_.reset();
  ready_ = false;
}

std::string PulseDaemon::Log() const {
  std::ifstream in(dir_.File("daemon.log"));
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

NoServer::NoServer() {
  setenv("PULSE_SERVER", ("unix:" + dir_.File("none")).c_str(), 1);
}

NoServer::~NoServer() {
  unsetenv("PULSE_SERVER");
}

}  // namespace pulsetest
