// The real program on a real (virtual) X display: started as a user starts
// it, watched until it plays, photographed, and closed with the window's
// close button, as the window manager asks for it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <QImage>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "core/PlaylistCtrl.h"
#include "core/PlaylistFile.h"
#include "platform/TextConv.h"
#include "tests/fixtures/ChildProcess.h"
#include "tests/fixtures/WavWriter.h"

// Last: Xlib defines macros (None, Status, ...) that clash with C++ names.
// clang-format off
#include <X11/Xlib.h>
#include <X11/Xutil.h>
// clang-format on

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// An Xvfb server of the test's own; it picks a free display number itself.
class VirtualDisplay {
 public:
  VirtualDisplay() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    server_ = std::make_unique<pulsetest::ChildProcess>(
        std::vector<std::string>{"Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24",
                                 "-nolisten", "tcp"},
        std::vector<std::string>{}, fds[1]);
    close(fds[1]);
    pollfd ready{fds[0], POLLIN, 0};
    std::string number;
    char c;
    while (poll(&ready, 1, 20000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n')
      number += c;
    close(fds[0]);
    if (!number.empty()) name_ = ":" + number;
  }
  const std::string& name() const { return name_; }

 private:
  std::unique_ptr<pulsetest::ChildProcess> server_;
  std::string name_;
};

std::string WindowTitle(Display* display, Window window) {
  Atom type;
  int format;
  unsigned long count;
  unsigned long after;
  unsigned char* data = nullptr;
  const Atom netName = XInternAtom(display, "_NET_WM_NAME", False);
  const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
  std::string title;
  if (XGetWindowProperty(display, window, netName, 0, 1024, False, utf8, &type, &format, &count,
                         &after, &data) == Success &&
      data != nullptr) {
    title.assign(reinterpret_cast<char*>(data), count);
  }
  if (data != nullptr) XFree(data);
  return title;
}

// The top-level window whose title ends with `suffix`.
std::optional<Window> FindWindow(Display* display, const std::string& suffix, std::string* title) {
  Window root;
  Window parent;
  Window* children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) {
    return std::nullopt;
  }
  std::optional<Window> found;
  for (unsigned int i = 0; i < count && !found; ++i) {
    const std::string name = WindowTitle(display, children[i]);
    if (name.size() >= suffix.size() && name.ends_with(suffix)) {
      found = children[i];
      *title = name;
    }
  }
  if (children != nullptr) XFree(children);
  return found;
}

// Waits for X events (a window appearing, a title changing) until `done`
// holds or `limit` passes.
bool WaitOnDisplay(Display* display, const std::function<bool()>& done,
                   std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  while (!done()) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    XFlush(display);
    pollfd events{ConnectionNumber(display), POLLIN, 0};
    // Property changes of windows not yet selected for are missed, so look
    // again at least every 100 ms.
    poll(&events, 1, static_cast<int>(std::min<long>(left.count(), 100)));
    while (XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type == CreateNotify) {
        XSelectInput(display, event.xcreatewindow.window, PropertyChangeMask);
      }
    }
  }
  return true;
}

QImage Grab(Display* display, Window window, const XWindowAttributes& attributes) {
  XImage* shot = XGetImage(display, window, 0, 0, static_cast<unsigned>(attributes.width),
                           static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
  if (shot == nullptr) return {};
  QImage image(attributes.width, attributes.height, QImage::Format_RGB32);
  for (int y = 0; y < attributes.height; ++y) {
    for (int x = 0; x < attributes.width; ++x)
      image.setPixel(x, y, 0xFF000000u | static_cast<QRgb>(XGetPixel(shot, x, y)));
  }
  XDestroyImage(shot);
  return image;
}

TEST(PlayerProgramTest, StartsPlaysShowsThePanelAndKeepsThePlaylistWhenClosed) {
  VirtualDisplay screen;
  ASSERT_FALSE(screen.name().empty()) << "Xvfb did not start";
  fixtures::TempDir dir;
  const std::string settings = dir.File("data/Corvane/Quorelle Player");
  std::filesystem::create_directories(settings);
  const std::string config = "[Config]\nDevice=Virtual DAC\n";
  fixtures::WriteFile(settings + "/config.ini", fixtures::Bytes(config.begin(), config.end()));
  fixtures::WavFile()
      .Format({1, 2, 44100, 16})
      .Chunk("LIST", fixtures::InfoListBody({{"INAM", {'D', 'e', 'm', 'o'}}}))
      .Data(fixtures::AudioPattern(44100 * 4 * 20))
      .Write(dir.File("demo.wav"));
  std::filesystem::create_directories(dir.File("asio"));
  // The playlist of the last run, unchanged since, so closing asks nothing.
  const std::string autosave = settings + "/player.ppl";
  {
    CPlaylistCtrl playlist(std::make_shared<CPlaylistCtrlImpl>(), nullptr);
    ASSERT_EQ(playlist.AddFile(platform::FromUtf8(dir.File("demo.wav")), 0), 1);
    ASSERT_TRUE(WritePlaylistFile(playlist, platform::FromUtf8(autosave)));
  }
  const auto written = std::filesystem::last_write_time(autosave);

  pulsetest::ChildProcess player(
      {QP_PLAYER_BINARY, "--play"},
      {"DISPLAY=" + screen.name(), "QT_QPA_PLATFORM=xcb", "XDG_DATA_HOME=" + dir.File("data"),
       "QP_ASIO_DRIVER_DIR=" + dir.File("asio"), "PULSE_SERVER=unix:" + dir.File("no-server")});
  ASSERT_TRUE(player.IsStarted());

  Display* display = XOpenDisplay(screen.name().c_str());
  ASSERT_NE(display, nullptr);
  XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
  std::optional<Window> window;
  std::string title;
  ASSERT_TRUE(WaitOnDisplay(
      display,
      [&] {
        window = FindWindow(display, "Demo - Corvane Quorelle Player", &title);
        return window.has_value();
      },
      30s))
      << "the window never showed the playing title";

  // What a person sees: the 709 x 566 panel under the menu, not a blank,
  // once it has been painted in its playing state (the title comes first).
  XWindowAttributes attributes;
  XGetWindowAttributes(display, *window, &attributes);
  EXPECT_EQ(attributes.width, 709);
  const QImage titled = Grab(display, *window, attributes);
  QImage image = titled;
  WaitOnDisplay(
      display, [&] { return (image = Grab(display, *window, attributes)) != titled; }, 10s);
  const char* keep = std::getenv("QP_SCREENSHOT");
  const std::string path = keep != nullptr && *keep != '\0' ? keep : dir.File("screen.png");
  ASSERT_TRUE(image.save(QString::fromStdString(path), "PNG"));
  EXPECT_NE(image.pixel(40, 100), image.pixel(240, 100)) << "the panel is not drawn";

  // The close button: the window manager's request to close.
  XEvent close{};
  close.xclient.type = ClientMessage;
  close.xclient.window = *window;
  close.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  close.xclient.format = 32;
  close.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  close.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, *window, False, NoEventMask, &close);
  XFlush(display);
  pollfd ended{player.ExitDescriptor(), POLLIN, 0};
  EXPECT_EQ(poll(&ended, 1, 20000), 1) << "the program did not end";
  XCloseDisplay(display);
  ASSERT_TRUE(std::filesystem::exists(autosave));
  EXPECT_NE(std::filesystem::last_write_time(autosave), written) << "the close button saves it";
}

}  // namespace
