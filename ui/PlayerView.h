#pragma once

#include <QPixmap>
#include <QWidget>
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/ToolkitFacade.h"
#include "ui/PlayerCommands.h"
#include "ui/SeekControlHelper.h"
#include "ui/SeekbarSliderCtrl.h"

class CAppConfigData;
class QLabel;

namespace ui {

class CCustomButton;
class CDlgProperty;
class CExListCtrl;
class CLcdDisplayAreaCtrl;
class CLcdExtDisplayCtrl;
class CLcdRateDisplayCtrl;
class CLcdTimeDisplayCtrl;
class CQtFileDialogs;
class CQtListView;
class CStatusTextArea;

// The questions and notices the view puts to the user; message boxes in the
// program, answered by the tests.
class IViewPrompts {
 public:
  virtual ~IViewPrompts() = default;
  // "Playlist has been changed. Do you want to save?": true for Yes.
  virtual bool AskSaveChangedPlaylist(QWidget* parent) = 0;
  // "No output device has been selected."
  virtual void ShowNoDevice(QWidget* parent) = 0;
  // The Open audio CD dialog: the chosen drive or image, empty when cancelled.
  virtual std::wstring ChooseCd(QWidget* parent, const std::vector<std::wstring>& images) = 0;
  // The Configure dialog on a copy of `config`: true when OK put the
  // choices back into it.
  virtual bool Configure(QWidget* parent, CAppConfigData& config) = 0;
  virtual void ShowAbout(QWidget* parent, CToolkitFacade& facade) = 0;
};

// The panel of the main window: transport buttons, LCD read-outs, seek bar,
// playlist and status line over one background picture. It drives the
// player through the facade and shows what the facade reports; reports
// from the player's threads are posted to the window thread first.
class CQDXDSDPlayerView : public QWidget,
                          public ISeekControlEventListener,
                          public ISeekbarSliderCtrlEventListener {
  Q_OBJECT

 public:
  static constexpr int kWidth = 709;
  static constexpr int kHeight = 566;
  // How long after the user touched the seek bar time reports leave its
  // thumb alone.
  static constexpr std::chrono::milliseconds kSeekHold{250};

  struct Options {
    std::shared_ptr<IViewPrompts> prompts;        // message boxes when null
    std::shared_ptr<ITkFileDialogs> fileDialogs;  // the desktop's when null
    CToolkitFacade::Options facade;
    std::vector<std::wstring> discImages;  // offered by Open audio CD beside the drives
    // While long work runs on the window thread (adding files, reading a
    // playlist), its progress is shown and the window repaints this often;
    // work shorter than this shows nothing.
    std::chrono::milliseconds workRepaintInterval{50};
  };

  CQDXDSDPlayerView(std::shared_ptr<CAppConfigData> config, std::wstring dataFolder,
                    Options options, QWidget* parent = nullptr);
  ~CQDXDSDPlayerView() override;

  // Starts the player core and fills the panel: the facade, the list, the
  // stored modes, and the autosaved playlist. `menu` is the frame's.
  void InitialUpdate(const PlayerMenu& menu);
  // Runs one command; false for a command the view does not know.
  bool OnCommand(int command);
  // The discard check: false when the user wants to save and then did not.
  bool DiscardCheck();
  // Ends the player core (playback stops).
  void ExitPlayer();
  // Menu opening: Remove files only with a selection.
  void UpdateRemoveCommand();
  // From the frame: the LCD time read-out, and the loading percentage.
  void ShowTrackTime(std::uint32_t seconds);
  void OnLoadingProgress(std::int32_t percent);
  // Long work's steps, on the window thread (see Options).
  void OnWorkProgress(std::size_t done, std::size_t total);
  // True while such work runs (its steps may handle queued events).
  bool IsWorking() const { return workShownAt_.has_value(); }

  // The texts the view shows.
  static QString StatusText(std::uint32_t position, std::uint32_t total);
  // The status line while long work runs: "Loading 37%...".
  static QString WorkText(int percent);
  static QString WindowTitle(const QString& item, int loadingPercent);
  // The seek bar's tip while its thumb is dragged: "m:ss".
  static QString SeekTipText(int seconds);

  CToolkitFacade& facade() { return *facade_; }
  CExListCtrl* playlist() const { return list_; }
  CSeekbarSliderCtrl* seekBar() const { return seekBar_; }
  CStatusTextArea* statusLine() const { return statusLine_; }
  CCustomButton* button(int command) const;
  CLcdTimeDisplayCtrl* timeDisplay() const { return time_; }
  CDlgProperty* propertiesWindow() const { return properties_; }
  QLabel* deviceLabel() const { return deviceLabel_; }
  bool IsCdMode() const { return cdMode_; }
  std::int32_t HighlightedRow() const { return highlighted_; }
  // The playing track's position in whole seconds, as last reported.
  std::uint32_t TrackPosition() const { return lastPosition_; }

 signals:
  // A message for the frame: 32894 (track seconds, track length) for the
  // time read-out, 32885 (percent, 0) for the loading progress.
  void FrameMessage(int id, qint64 wParam, qint64 lParam);
  // The transport state, the track, the playlist, shuffle or repeat may
  // have changed.
  void PlayerStateChanged();

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  class Callback;

  // ISeekControlEventListener
  void OnSeekTrack(int position, bool tracking) override;
  void OnSeekBegin(int position) override;
  void OnSeekEnd(int position) override;
  // ISeekbarSliderCtrlEventListener
  void OnThumbPressed(bool pressed) override;

  // The facade's reports, on the window thread.
  void OnStopped(bool cdMode);
  void OnPlaying(const PlayingRecord& record);
  void OnPaused(bool paused);
  void OnTimeChanged(std::uint32_t trackSeconds, std::uint32_t playlistSeconds);
  void OnPlaylistChanged(std::int32_t kind);
  void OnTrackSkipped(bool clearSelection);

  void BuildPanel();
  void SetupPlaylist();
  enum class MenuState { kStopped, kPlaying, kPaused, kResumed };
  void SetMenuState(MenuState state);
  void SetChecked(int command, bool checked);
  void SetEnabled(int command, bool enabled);
  void SetRepeatMark(int command);
  void UpdateTitle();
  void ShowStatus(std::uint32_t position);
  void ShowPlayButton(bool play);
  void ScrollToHighlighted();
  void ShowContextMenu(const QPoint& point);
  void Configure();
  void PlayFromContextMenu();
  void ShowProperties();
  bool DeviceChosen() const;

  std::shared_ptr<CAppConfigData> config_;
  const std::wstring dataFolder_;
  Options options_;
  std::shared_ptr<IViewPrompts> prompts_;
  std::shared_ptr<ITkFileDialogs> fileDialogs_;
  std::shared_ptr<Callback> callback_;
  std::unique_ptr<CToolkitFacade> facade_;
  PlayerMenu menu_;

  QPixmap background_;
  CDlgProperty* properties_ = nullptr;
  std::array<CCustomButton*, 5> buttons_{};  // Stop, Play, Pause, Previous, Next
  CSeekbarSliderCtrl* seekBar_ = nullptr;
  CSeekControlHelper seekControl_;
  CExListCtrl* list_ = nullptr;
  std::unique_ptr<CQtListView> listView_;
  CLcdDisplayAreaCtrl* displayArea_ = nullptr;
  CLcdExtDisplayCtrl* format_ = nullptr;
  CLcdTimeDisplayCtrl* time_ = nullptr;
  CLcdRateDisplayCtrl* rate_ = nullptr;
  CStatusTextArea* statusLine_ = nullptr;
  QLabel* deviceLabel_ = nullptr;
  QLabel* timeText_ = nullptr;

  bool playing_ = false;
  std::uint32_t trackLength_ = 0;
  std::int32_t highlighted_ = -1;
  std::uint32_t lastPosition_ = 0;
  bool cdMode_ = false;
  int loadingPercent_ = 100;
  std::chrono::steady_clock::time_point lastSeekTouch_{};
  std::uint32_t statusSeconds_ = 0;  // the status line's played seconds
  // When the running long work last showed itself (or began); none between works.
  std::optional<std::chrono::steady_clock::time_point> workShownAt_;
  bool workShown_ = false;
};

}  // namespace ui
