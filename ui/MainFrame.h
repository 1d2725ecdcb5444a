#pragma once

#include <QList>
#include <QMainWindow>
#include <QRect>
#include <QSize>
#include <string>
#include <vector>

#include "ui/PlayerApp.h"
#include "ui/PlayerCommands.h"
#include "ui/PlayerView.h"

namespace ui {

// The player's one top-level window: a frame of fixed size with the main
// menu around the panel. It relabels the menu from the string table, takes
// the files other instances hand over, saves the playlist as "player.ppl"
// when the user closes the window (not on the Exit command), and relays
// the panel's time and loading reports back to it.
class CMainFrame : public QMainWindow, public IMainWindow {
  Q_OBJECT

 public:
  CMainFrame(std::shared_ptr<CAppConfigData> config, std::wstring dataFolder,
             CQDXDSDPlayerView::Options options);
  ~CMainFrame() override;

  // IMainWindow
  QWidget* Window() override { return this; }
  void OnFilesForwarded(const std::wstring& files) override;

  CQDXDSDPlayerView* view() const { return view_; }
  const PlayerMenu& menu() const { return menu_; }
  // The Exit command: closes without saving "player.ppl".
  void ExitCommand();

  // The forwarded text split at '|': pieces between separators when not
  // empty, and the piece after the last separator always.
  static std::vector<std::wstring> SplitForwardedFiles(const std::wstring& text);
  // The smallest size the frame may be dragged to at a screen resolution.
  static QSize MinimumTrackingSize(int dpiX, int dpiY);
  // Whether a window whose caption strip is `caption` can be reached on one
  // of `screens`: it overlaps one by a caption's height and 60 pixels.
  static bool IsCaptionVisible(const QRect& caption, const QList<QRect>& screens);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenu();
  void RestorePosition();
  void OnFrameMessage(int id, qint64 wParam, qint64 lParam);
  void AddForwardedFiles(const std::wstring& files);

  std::shared_ptr<CAppConfigData> config_;
  const std::wstring dataFolder_;
  CQDXDSDPlayerView* view_ = nullptr;
  PlayerMenu menu_;
  bool exitCommand_ = false;
  bool closed_ = false;
};

}  // namespace ui
