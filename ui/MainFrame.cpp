#include "ui/MainFrame.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
#include <QStyle>
#include <QTimer>

#include "app/AppConfigData.h"
#include "platform/StringTable.h"
#include "ui/ResourceText.h"

namespace ui {
namespace {

constexpr int kTimeMessage = 32894;
constexpr int kLoadingMessage = 32885;

// One menu command: its id and the string that labels it.
struct MenuCommand {
  int command;
  unsigned text;
  bool checkable;
};

}  // namespace

CMainFrame::CMainFrame(std::shared_ptr<CAppConfigData> config, std::wstring dataFolder,
                       CQDXDSDPlayerView::Options options)
    : config_(std::move(config)), dataFolder_(std::move(dataFolder)) {
  setWindowFlag(Qt::WindowMaximizeButtonHint, false);
  view_ = new CQDXDSDPlayerView(config_, dataFolder_, std::move(options), this);
  setCentralWidget(view_);
  BuildMenu();
  connect(view_, &CQDXDSDPlayerView::FrameMessage, this, &CMainFrame::OnFrameMessage,
          Qt::QueuedConnection);
  view_->InitialUpdate(menu_);
  const QSize minimum = MinimumTrackingSize(logicalDpiX(), logicalDpiY());
  setMinimumSize(minimum);
  setFixedSize(CQDXDSDPlayerView::kWidth,
               CQDXDSDPlayerView::kHeight + menuBar()->sizeHint().height());
  RestorePosition();
}

CMainFrame::~CMainFrame() {
  view_->ExitPlayer();
}

void CMainFrame::BuildMenu() {
  auto addMenu = [this](unsigned text) { return menuBar()->addMenu(ResourceText(text)); };
  auto addCommands = [this](QMenu* menu, std::initializer_list<MenuCommand> commands) {
    for (const MenuCommand& entry : commands) {
      if (entry.command == 0) {
        menu->addSeparator();
        continue;
      }
      QAction* action = menu->addAction(ResourceText(entry.text));
      action->setCheckable(entry.checkable);
      const int command = entry.command;
      connect(action, &QAction::triggered, this, [this, command] {
        if (command == kCmdExit) {
          if (view_->DiscardCheck()) ExitCommand();
        } else {
          view_->OnCommand(command);
        }
      });
      menu_.actions[command] = action;
    }
  };

  QMenu* file = addMenu(platform::IDS_MENU_FILE);
  addCommands(file, {{kCmdOpen, platform::IDS_MENU_OPEN, false},
                     {kCmdOpenCd, platform::IDS_MENU_OPEN_CD, false},
                     {kCmdAddFile, platform::IDS_MENU_ADD_FILE, false},
                     {kCmdRemoveFiles, platform::IDS_MENU_REMOVE_FILES, false},
                     {0, 0, false},
                     {kCmdNewPlaylist, platform::IDS_MENU_NEW_PLAYLIST, false},
                     {kCmdLoadPlaylist, platform::IDS_MENU_LOAD_PLAYLIST, false},
                     {kCmdSavePlaylist, platform::IDS_MENU_SAVE_PLAYLIST, false},
                     {0, 0, false},
                     {kCmdExit, platform::IDS_MENU_EXIT, false}});
  connect(file, &QMenu::aboutToShow, view_, &CQDXDSDPlayerView::UpdateRemoveCommand);
  menu_.actions[kCmdOpen]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  menu_.actions[kCmdNewPlaylist]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
  menu_.actions[kCmdSavePlaylist]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));

  QMenu* playback = addMenu(platform::IDS_MENU_PLAYBACK);
  addCommands(playback, {{kCmdPlay, platform::IDS_MENU_PLAY, true},
                         {kCmdPause, platform::IDS_MENU_PAUSE, true},
                         {kCmdStop, platform::IDS_MENU_STOP, true},
                         {0, 0, false},
                         {kCmdPrevious, platform::IDS_MENU_PREVIOUS, false},
                         {kCmdNext, platform::IDS_MENU_NEXT, false},
                         {0, 0, false}});
  QMenu* order = playback->addMenu(ResourceText(platform::IDS_MENU_ORDER));
  addCommands(order, {{kCmdRepeatDefault, platform::IDS_MENU_REPEAT_DEFAULT, true},
                      {kCmdRepeatPlaylist, platform::IDS_MENU_REPEAT_PLAYLIST, true},
                      {kCmdRepeatTitle, platform::IDS_MENU_REPEAT_TITLE, true}});
  auto* repeat = new QActionGroup(this);
  for (const int command : {kCmdRepeatDefault, kCmdRepeatPlaylist, kCmdRepeatTitle})
    repeat->addAction(menu_.actions[command]);
  addCommands(playback, {{kCmdShuffle, platform::IDS_MENU_SHUFFLE, true}});

  menu_.configure = addMenu(platform::IDS_MENU_CONFIGURE);
  addCommands(menu_.configure, {{kCmdDevice, platform::IDS_MENU_DEVICE, false}});
  addCommands(addMenu(platform::IDS_MENU_HELP), {{kCmdAbout, platform::IDS_MENU_ABOUT, false}});
}

void CMainFrame::RestorePosition() {
  const int caption = style()->pixelMetric(QStyle::PM_TitleBarHeight);
  QList<QRect> screens;
  for (const QScreen* screen : QGuiApplication::screens())
    screens << screen->geometry();
  const QRect strip(config_->windowX.value, config_->windowY.value, width(), caption);
  if (IsCaptionVisible(strip, screens)) move(strip.topLeft());
}

bool CMainFrame::IsCaptionVisible(const QRect& caption, const QList<QRect>& screens) {
  for (const QRect& screen : screens) {
    const QRect common = caption.intersected(screen);
    if (common.height() >= caption.height() && common.width() >= 60) return true;
  }
  return false;
}

QSize CMainFrame::MinimumTrackingSize(int dpiX, int dpiY) {
  if (dpiX <= 0) dpiX = 96;
  if (dpiY <= 0) dpiY = 96;
  return {320 * dpiX / 96, 240 * dpiY / 96};
}

std::vector<std::wstring> CMainFrame::SplitForwardedFiles(const std::wstring& text) {
  std::vector<std::wstring> files;
  std::size_t start = 0;
  for (std::size_t bar = text.find(L'|'); bar != std::wstring::npos; bar = text.find(L'|', start)) {
    if (bar > start) files.push_back(text.substr(start, bar - start));
    start = bar + 1;
  }
  files.push_back(text.substr(start));
  return files;
}

void CMainFrame::OnFilesForwarded(const std::wstring& files) {
  // The sender is let go at once; the files are added from the queue.
  QMetaObject::invokeMethod(
      this, [this, files] { AddForwardedFiles(files); }, Qt::QueuedConnection);
}

void CMainFrame::AddForwardedFiles(const std::wstring& files) {
  view_->facade().AddFileList(SplitForwardedFiles(files));
}

void CMainFrame::OnFrameMessage(int id, qint64 wParam, qint64) {
  if (id == kTimeMessage) view_->ShowTrackTime(static_cast<std::uint32_t>(wParam));
  if (id == kLoadingMessage && wParam <= 100) {
    view_->OnLoadingProgress(static_cast<std::int32_t>(wParam));
  }
}

void CMainFrame::ExitCommand() {
  exitCommand_ = true;
  close();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  if (closed_) return event->accept();
  if (view_->IsWorking()) {
    // Files are being added further down this call stack; the window closes
    // once they are in, asked again from the event loop.
    QTimer::singleShot(0, this, &QWidget::close);
    return event->ignore();
  }
  if (!exitCommand_) {
    // The window's close button: the playlist is kept for the next start.
    if (!view_->DiscardCheck()) return event->ignore();
    if (!dataFolder_.empty()) view_->facade().SavePlaylistFile(dataFolder_ + L"/player.ppl");
  }
  exitCommand_ = false;
  closed_ = true;
  view_->ExitPlayer();
  config_->windowX.value = x();
  config_->windowY.value = y();
  config_->Save();
  event->accept();
}

}  // namespace ui
