// quorelle-player: the windowed player.
#include <QApplication>
#include <QTimer>
#include <cstring>
#include <iostream>

#include "output/AsioDriverList.h"
#include "ui/MainFrame.h"
#include "ui/MprisService.h"
#include "ui/PlayerApp.h"

namespace {

// Also the source of the manual page (packaging/HelpToMan.cmake).
constexpr char kUsage[] =
    "usage: quorelle-player [--play] [FILE...] [cd:IMAGE...]\n"
    "  FILE               WAVE, MP3, DSF (any plug-in format), .cue or .ppl files,\n"
    "                     added to the playlist; a second start hands its files to\n"
    "                     the window already running\n"
    "  cd:IMAGE           a disc image offered by File > Open audio CD beside the drives\n"
    "  --play             start the playlist once the window is up\n"
    "  --help\n";

}  // namespace

int main(int argc, char** argv) {
  // Before the application object, so that no display is needed.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      std::cout << kUsage;
      return 0;
    }
  }
  QApplication application(argc, argv);
  RegisterVirtualDac();

  // Beside the files: "cd:IMAGE" offers a disc image in Open audio CD, and
  // "--play" starts the playlist once the window is up.
  QStringList arguments;
  std::vector<std::wstring> discImages;
  bool play = false;
  for (const QString& argument : application.arguments().mid(1)) {
    if (argument.startsWith(QStringLiteral("cd:"))) {
      discImages.push_back(argument.mid(3).toStdWString());
    } else if (argument == QStringLiteral("--play")) {
      play = true;
    } else {
      arguments << argument;
    }
  }

  ui::CQDXDSDPlayerApp player([&](ui::CQDXDSDPlayerApp& app) {
    ui::CQDXDSDPlayerView::Options options;
    options.discImages = discImages;
    return std::make_unique<ui::CMainFrame>(app.GetConfig(), app.dataFolder(), options);
  });
  if (!player.InitInstance(arguments)) return 0;
  auto* frame = static_cast<ui::CMainFrame*>(player.mainWindow());
  ui::CMprisService::RegisterOnSessionBus(*frame);  // a child of the frame
  if (play) {
    // Queued after the command line's files, which are added from the queue too.
    QTimer::singleShot(0, frame, [frame] { frame->view()->OnCommand(ui::kCmdPlay); });
  }
  const int result = QApplication::exec();
  player.ExitInstance();
  return result;
}
