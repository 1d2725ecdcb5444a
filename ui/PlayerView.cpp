#include "ui/PlayerView.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QToolTip>
#include <QTreeWidgetItem>
#include <mutex>

#include "app/AppConfigData.h"
#include "app/AppTkSettings.h"
#include "app/OutputDevices.h"
#include "core/PlaylistCtrl.h"
#include "platform/StringTable.h"
#include "sources/TrackInfo.h"
#include "ui/CustomButton.h"
#include "ui/DlgAboutbox.h"
#include "ui/DlgConfig.h"
#include "ui/DlgOpenCD.h"
#include "ui/DlgProperty.h"
#include "ui/ExListCtrl.h"
#include "ui/LcdControls.h"
#include "ui/PanelImages.h"
#include "ui/PngGlyph.h"
#include "ui/QtFileDialogs.h"
#include "ui/QtListView.h"
#include "ui/ResourceText.h"
#include "ui/StatusTextArea.h"

namespace ui {
namespace {

constexpr int kListLeft = 16;
constexpr int kListTop = 192;
constexpr int kListWidth = 678;
constexpr int kListBottomSpace = 350;
constexpr int kFrameTimeMessage = 32894;
constexpr int kFrameLoadingMessage = 32885;

// The buttons in the order the view keeps them, with their images and
// places (x, y; all 80 x 80).
struct ButtonPlace {
  int command;
  int normal;
  int pressed;
  int third;
  int x;
  int y;
};
constexpr std::array<ButtonPlace, 5> kButtons = {{
    {kCmdStop, image::kStopNormal, image::kStopPressed, 0, 0, 37},
    {kCmdPlay, image::kPlayNormal, image::kPlayPressed, image::kPlayThird, 201, 37},
    {kCmdPause, image::kPauseNormal, image::kPausePressed, image::kPauseThird, 201, 37},
    {kCmdPrevious, image::kPreviousNormal, image::kPreviousPressed, 0, 121, 37},
    {kCmdNext, image::kNextNormal, image::kNextPressed, 0, 280, 37},
}};

QString AppName() {
  return ResourceText(platform::IDS_APP_NAME, "Corvane Quorelle Player");
}

// The questions as message boxes and the real dialogs.
class MessageBoxPrompts : public IViewPrompts {
 public:
  bool AskSaveChangedPlaylist(QWidget* parent) override {
    return QMessageBox::question(parent, AppName(), ResourceText(platform::IDS_ASK_SAVE_PLAYLIST),
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
  }
  void ShowNoDevice(QWidget* parent) override {
    QMessageBox::information(parent, AppName(), ResourceText(platform::IDS_NO_DEVICE_SELECTED));
  }
  std::wstring ChooseCd(QWidget* parent, const std::vector<std::wstring>& images) override {
    CDlgOpenCD dialog(images, parent);
    return dialog.exec() == QDialog::Accepted ? dialog.GetDrive() : std::wstring();
  }
  bool Configure(QWidget* parent, CAppConfigData& config) override {
    CDlgConfig dialog(std::make_shared<CSystemOutputDevices>(), parent);
    dialog.AssignConfig(config);
    if (dialog.exec() != QDialog::Accepted) return false;
    config = dialog.GetConfig();
    return true;
  }
  void ShowAbout(QWidget* parent, CToolkitFacade& facade) override {
    CDlgAboutbox dialog([&facade](TkPluginList* list) { return facade.GetPluginList(list); },
                        parent);
    dialog.exec();
  }
};

}  // namespace

// The facade's callbacks, from the player's threads: each one is posted to
// the view's thread. Detached when the view goes.
class CQDXDSDPlayerView::Callback : public ITkCallback {
 public:
  explicit Callback(CQDXDSDPlayerView* view) : view_(view) {}

  void Detach() {
    std::lock_guard lock(mutex_);
    view_ = nullptr;
  }

  void OnPlayRequest() override {}
  void OnStateChanged(std::int32_t code, std::intptr_t value,
                      std::unique_ptr<PlayingRecord> playing) override {
    switch (code) {
      case 0:
        Post([cdMode = value != 0](CQDXDSDPlayerView& view) { view.OnStopped(cdMode); });
        break;
      case 1:
        if (playing) {
          Post([record = *playing](CQDXDSDPlayerView& view) { view.OnPlaying(record); });
        }
        break;
      case 2:
        Post([paused = value == 0](CQDXDSDPlayerView& view) { view.OnPaused(paused); });
        break;
      case 3:
        Post([percent = static_cast<qint64>(value)](CQDXDSDPlayerView& view) {
          emit view.FrameMessage(kFrameLoadingMessage, percent, 0);
        });
        break;
      default:
        break;
    }
  }
  void OnTimeChanged(std::uint32_t track, std::uint32_t playlist) override {
    Post([track, playlist](CQDXDSDPlayerView& view) { view.OnTimeChanged(track, playlist); });
  }
  void OnPlaylistChanged(std::int32_t kind) override {
    Post([kind](CQDXDSDPlayerView& view) { view.OnPlaylistChanged(kind); });
  }
  void OnTrackSkipped(std::unique_ptr<std::wstring>, bool clearSelection) override {
    Post([clearSelection](CQDXDSDPlayerView& view) { view.OnTrackSkipped(clearSelection); });
  }
  void OnWorkProgress(std::size_t done, std::size_t total) override {
    CQDXDSDPlayerView* view = nullptr;
    {
      std::lock_guard lock(mutex_);
      view = view_;
    }
    // Called on the window thread, like the work; the lock is not held while
    // the window repaints, so the playback thread never waits for that.
    if (view != nullptr) view->OnWorkProgress(done, total);
  }

 private:
  template <typename Call>
  void Post(Call call) {
    std::lock_guard lock(mutex_);
    if (view_ == nullptr) return;
    QMetaObject::invokeMethod(
        view_,
        [view = QPointer<CQDXDSDPlayerView>(view_), call] {
          if (view) call(*view);
        },
        Qt::QueuedConnection);
  }

  std::mutex mutex_;
  CQDXDSDPlayerView* view_;
};

CQDXDSDPlayerView::CQDXDSDPlayerView(std::shared_ptr<CAppConfigData> config,
                                     std::wstring dataFolder, Options options, QWidget* parent)
    : QWidget(parent),
      config_(std::move(config)),
      dataFolder_(std::move(dataFolder)),
      options_(std::move(options)),
      prompts_(options_.prompts ? options_.prompts : std::make_shared<MessageBoxPrompts>()),
      fileDialogs_(options_.fileDialogs ? options_.fileDialogs
                                        : std::make_shared<CQtFileDialogs>(this)),
      callback_(std::make_shared<Callback>(this)),
      facade_(std::make_unique<CToolkitFacade>(std::make_shared<CAppTkSettings>(config_),
                                               options_.facade)) {
  setFixedSize(kWidth, kHeight);
  BuildPanel();
  const TkInitParams params{callback_, listView_.get(), list_, fileDialogs_.get()};
  facade_->Init(&params);
}

CQDXDSDPlayerView::~CQDXDSDPlayerView() {
  ExitPlayer();
  callback_->Detach();
}

CCustomButton* CQDXDSDPlayerView::button(int command) const {
  for (std::size_t i = 0; i < kButtons.size(); ++i) {
    if (kButtons[i].command == command) return buttons_[i];
  }
  return nullptr;
}

void CQDXDSDPlayerView::BuildPanel() {
  background_ = QPixmap::fromImage(LoadPngGlyph(image::kBackground));

  displayArea_ = new CLcdDisplayAreaCtrl(this);
  displayArea_->move(372, 30);
  format_ = new CLcdExtDisplayCtrl(this);
  format_->move(385, 43);
  rate_ = new CLcdRateDisplayCtrl(this);
  rate_->move(387, 88);
  time_ = new CLcdTimeDisplayCtrl(this);
  time_->move(473, 67);

  seekBar_ = new CSeekbarSliderCtrl(this);
  seekBar_->SetListener(this);
  seekBar_->SetChannel(133, 146, 462, 32);
  seekControl_.SetListener(this);
  connect(seekBar_, &CSeekbarSliderCtrl::Scrolled, this, [this](int code) {
    seekControl_.HandleScroll(code, *seekBar_);
    // While the thumb is dragged, a tip follows it with the time it is at.
    if (code == kSeekThumbTrack) {
      QToolTip::showText(QCursor::pos(), SeekTipText(seekBar_->value()), seekBar_);
    } else {
      QToolTip::hideText();
    }
  });

  for (std::size_t i = 0; i < kButtons.size(); ++i) {
    const ButtonPlace& place = kButtons[i];
    auto* button = place.third != 0
                       ? new CCustomButton(place.normal, place.pressed, place.third, this)
                       : new CCustomButton(place.normal, place.pressed, this);
    button->setGeometry(place.x, place.y, 80, 80);
    button->setFocusPolicy(Qt::NoFocus);
    const int command = place.command;
    connect(button, &QAbstractButton::clicked, this, [this, command] { OnCommand(command); });
    buttons_[i] = button;
  }

  deviceLabel_ = new QLabel(this);
  deviceLabel_->hide();
  timeText_ = new QLabel(QStringLiteral("0:00:00"), this);
  timeText_->hide();

  statusLine_ = new CStatusTextArea(this);
  const int h = statusLine_->fontMetrics().height();
  statusLine_->setGeometry(kListLeft, 542 - h, kListWidth, h);

  list_ = new CExListCtrl(this);
  list_->setGeometry(kListLeft, kListTop, kListWidth, kListBottomSpace - h);
  list_->setContextMenuPolicy(Qt::CustomContextMenu);
  listView_ = std::make_unique<CQtListView>(list_);

  for (IPseudoTransparentBackgroundControl* control :
       std::initializer_list<IPseudoTransparentBackgroundControl*>{displayArea_, format_, rate_,
                                                                   time_, seekBar_}) {
    control->SetBackground(background_);
  }
  for (CCustomButton* button : buttons_)
    button->SetBackground(background_);
  button(kCmdStop)->hide();
  button(kCmdPause)->hide();
  seekBar_->setEnabled(false);

  // The arrows always move in the playlist, whatever has the focus.
  for (QWidget* child : findChildren<QWidget*>()) {
    if (child != list_ && !list_->isAncestorOf(child)) child->installEventFilter(this);
  }
  installEventFilter(this);
  list_->installEventFilter(this);

  connect(list_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int) {
    const int row = list_->indexOfTopLevelItem(item);
    if (row >= 0) facade_->PlayRow(row);
  });
  connect(list_, &CExListCtrl::RowDragFinished, this,
          [this](int target) { facade_->MoveSelected(target); });
  connect(list_, &CExListCtrl::FilesDropped, this, [this](const QStringList& paths, QPoint) {
    std::vector<std::wstring> files;
    for (const QString& path : paths)
      files.push_back(path.toStdWString());
    facade_->DropFiles(files);
  });
  connect(list_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& point) { ShowContextMenu(point); });
  list_->SetSupportedFileCheck(
      [this](const std::wstring& path) { return facade_->IsSupportedFile(path); });
}

void CQDXDSDPlayerView::SetupPlaylist() {
  list_->SetGridLines(true);
  list_->SetRowNumbering(true);
  list_->SetMinColumnWidth(50);
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  const QFontMetrics metrics = list_->header()->fontMetrics();
  const int margin = list_->style()->pixelMetric(QStyle::PM_HeaderMargin);
  const int first = metrics.horizontalAdvance(QStringLiteral("Playing")) + 2 * margin;
  const int fourth = metrics.horizontalAdvance(QStringLiteral("Duration")) + 2 * margin;
  const int middle = (kListWidth - first - fourth) / 2 - 50;
  facade_->SetupList(
      {0, kListLeft, kListTop, kListWidth, list_->height(), {first, middle, middle, fourth, 500}});
}

void CQDXDSDPlayerView::InitialUpdate(const PlayerMenu& menu) {
  menu_ = menu;
  facade_->ApplyConfig(OutputConfigOf(*config_), false);
  UpdateTitle();
  properties_ =
      new CDlgProperty([this](TkItemInfo* info) { return facade_->GetItemInfo(true, info); }, this);
  deviceLabel_->setText(QString::fromStdWString(config_->device.value));
  timeText_->setText(QStringLiteral("0:00:00 / 0:00:00"));
  SetupPlaylist();
  ShowStatus(0);

  const std::int32_t repeat = config_->repeatMode.value;
  facade_->SetRepeat(repeat == 1 || repeat == 2 ? static_cast<std::uint32_t>(repeat) : 0);
  SetRepeatMark(repeat == 1   ? kCmdRepeatTitle
                : repeat == 2 ? kCmdRepeatPlaylist
                              : kCmdRepeatDefault);
  const bool shuffle = config_->shuffleMode.value != 0;
  SetChecked(kCmdShuffle, shuffle);
  facade_->SetShuffle(shuffle);

  SetMenuState(MenuState::kStopped);
  list_->SetDropEnabled(true);
  facade_->ApplyConfig(OutputConfigOf(*config_), true);
  if (!dataFolder_.empty()) facade_->LoadPlaylistFile(dataFolder_ + L"/player.ppl");
  ShowStatus(0);
  update();
}

// ------------------------------------------------------------------ commands

bool CQDXDSDPlayerView::OnCommand(int command) {
  switch (command) {
    case kCmdOpen:
      if (DiscardCheck()) facade_->Open();
      break;
    case kCmdOpenCd:
      if (DiscardCheck()) {
        const std::wstring drive = prompts_->ChooseCd(this, options_.discImages);
        if (!drive.empty()) facade_->OpenCD(drive);
      }
      break;
    case kCmdAddFile:
      facade_->AddFiles();
      break;
    case kCmdRemoveFiles:
      facade_->RemoveSelected();
      break;
    case kCmdNewPlaylist:
      if (DiscardCheck()) facade_->NewPlaylist();
      break;
    case kCmdLoadPlaylist:
      if (DiscardCheck()) facade_->LoadPlaylist();
      break;
    case kCmdSavePlaylist:
      facade_->SavePlaylist();
      break;
    case kCmdStop:
      facade_->Stop();
      break;
    case kCmdPause:
      facade_->Pause();
      break;
    case kCmdPlay:
      facade_->Play();
      break;
    case kCmdPrevious:
      facade_->Prev();
      break;
    case kCmdNext:
      facade_->Next();
      break;
    case kCmdShuffle: {
      const QAction* action = menu_.Action(kCmdShuffle);
      const bool shuffle = action != nullptr ? action->isChecked() : !facade_->Shuffle();
      SetChecked(kCmdShuffle, shuffle);
      facade_->SetShuffle(shuffle);
      config_->shuffleMode.value = shuffle ? 1 : 0;
      emit PlayerStateChanged();
      break;
    }
    case kCmdRepeatDefault:
    case kCmdRepeatPlaylist:
    case kCmdRepeatTitle: {
      const std::int32_t mode = command == kCmdRepeatDefault    ? 0
                                : command == kCmdRepeatPlaylist ? 2
                                                                : 1;
      facade_->SetRepeat(static_cast<std::uint32_t>(mode));
      config_->repeatMode.value = mode;
      SetRepeatMark(command);
      emit PlayerStateChanged();
      break;
    }
    case kCmdDevice:
      Configure();
      break;
    case kCmdContextPlay:
      PlayFromContextMenu();
      break;
    case kCmdContextProperties:
      ShowProperties();
      break;
    case kCmdAbout:
      prompts_->ShowAbout(this, *facade_);
      break;
    default:
      return false;
  }
  return true;
}

bool CQDXDSDPlayerView::DiscardCheck() {
  const auto playlist = facade_->GetPlaylist();
  if (!playlist || !playlist->IsModified() || cdMode_) return true;
  if (!prompts_->AskSaveChangedPlaylist(this)) return true;
  return facade_->SavePlaylist() == kTkOk;
}

void CQDXDSDPlayerView::ExitPlayer() {
  facade_->Exit();
}

void CQDXDSDPlayerView::UpdateRemoveCommand() {
  SetEnabled(kCmdRemoveFiles, facade_->HasSelection());
}

bool CQDXDSDPlayerView::DeviceChosen() const {
  return !config_->device.value.empty();
}

void CQDXDSDPlayerView::PlayFromContextMenu() {
  if (!DeviceChosen()) {
    prompts_->ShowNoDevice(this);
    return;
  }
  facade_->PlaySelected();
}

void CQDXDSDPlayerView::ShowProperties() {
  if (!list_->currentIndex().isValid()) return;
  properties_->ShowItem();
  properties_->show();
}

void CQDXDSDPlayerView::Configure() {
  facade_->ReleaseDevice();
  CAppConfigData copy = *config_;
  if (prompts_->Configure(this, copy)) {
    *config_ = copy;
    config_->Save();
    facade_->ApplyConfig(OutputConfigOf(*config_), true);
    deviceLabel_->setText(QString::fromStdWString(config_->device.value));
  }
  facade_->DeviceChanged();
}

void CQDXDSDPlayerView::ShowContextMenu(const QPoint& point) {
  if (list_->IsDragging()) return;
  std::int32_t count = 0;
  ViewPoint at{point.x(), point.y()};
  if (facade_->GetSelectionCount(&count, &at) != kTkOk || count == 0) return;
  QMenu menu(this);
  auto add = [this, &menu](int command, unsigned text) {
    menu.addAction(ResourceText(text), this, [this, command] { OnCommand(command); });
  };
  if (count == 1) add(kCmdContextPlay, platform::IDS_CONTEXT_PLAY);
  add(kCmdRemoveFiles, platform::IDS_CONTEXT_REMOVE);
  if (count == 1) add(kCmdContextProperties, platform::IDS_CONTEXT_PROPERTIES);
  menu.exec(QPoint(at.x, at.y));
}

// ------------------------------------------------------------ seek bar

void CQDXDSDPlayerView::OnSeekTrack(int, bool) {}

void CQDXDSDPlayerView::OnSeekBegin(int) {}

void CQDXDSDPlayerView::OnSeekEnd(int position) {
  // Posted, as the thumb's release is still being handled.
  QMetaObject::invokeMethod(
      this, [this, position] { facade_->Seek(position); }, Qt::QueuedConnection);
}

void CQDXDSDPlayerView::OnThumbPressed(bool pressed) {
  lastSeekTouch_ = std::chrono::steady_clock::now();
  if (pressed) seekControl_.HandleScroll(kSeekThumbTrack, *seekBar_);
}

// ---------------------------------------------------------------- reports

void CQDXDSDPlayerView::OnStopped(bool cdMode) {
  cdMode_ = cdMode;
  playing_ = false;
  emit FrameMessage(kFrameTimeMessage, 0, 0);
  ShowStatus(0);
  highlighted_ = -1;
  loadingPercent_ = 100;
  SetMenuState(MenuState::kStopped);
  UpdateTitle();
  if (!cdMode_) {
    list_->SetDragEnabled(true);
    list_->SetDropEnabled(true);
  }
  seekBar_->SetPos(0);
  seekBar_->ShowPosition(0);
  seekBar_->setEnabled(false);
  format_->SetItem(nullptr);
  rate_->SetItem(nullptr);
  time_->Refresh(nullptr);
  ShowPlayButton(true);
  emit PlayerStateChanged();
}

void CQDXDSDPlayerView::OnPlaying(const PlayingRecord& record) {
  playing_ = true;
  trackLength_ = record.seconds;
  TrackInfo item;
  const auto playlist = facade_->GetPlaylist();
  const bool known = playlist && playlist->GetItem(record.item, &item) == 0;
  highlighted_ = record.item;
  list_->SetItemImage(record.item, 1);
  ScrollToHighlighted();
  if (record.userFlag != 0) list_->clearSelection();
  SetMenuState(MenuState::kPlaying);
  UpdateTitle();
  list_->SetDragEnabled(!cdMode_);
  list_->SetDropEnabled(!cdMode_);
  seekBar_->setRange(0, static_cast<int>(trackLength_));
  seekBar_->SetPos(0);
  seekBar_->ShowPosition(0);
  seekBar_->setEnabled(loadingPercent_ >= 100);
  format_->SetItem(known ? &item : nullptr);
  rate_->SetItem(known ? &item : nullptr);
  time_->Refresh(known ? &item : nullptr);
  ShowPlayButton(false);
  emit PlayerStateChanged();
}

void CQDXDSDPlayerView::OnPaused(bool paused) {
  SetMenuState(paused ? MenuState::kPaused : MenuState::kResumed);
  ShowPlayButton(paused);
  ScrollToHighlighted();
  emit PlayerStateChanged();
}

void CQDXDSDPlayerView::OnTimeChanged(std::uint32_t trackSeconds, std::uint32_t playlistSeconds) {
  seekBar_->ShowPosition(static_cast<int>(trackSeconds));
  const auto now = std::chrono::steady_clock::now();
  const bool justTouched = now > lastSeekTouch_ && now - lastSeekTouch_ < kSeekHold;
  if (!seekControl_.tracking() && !justTouched) seekBar_->SetPos(static_cast<int>(trackSeconds));
  lastPosition_ = trackSeconds;
  emit FrameMessage(kFrameTimeMessage, trackSeconds, trackLength_);
  ShowStatus(playlistSeconds);
}

void CQDXDSDPlayerView::OnPlaylistChanged(std::int32_t kind) {
  if (kind == 1) cdMode_ = true;
  if (kind == 2) cdMode_ = false;
  std::uint32_t position = 0;
  facade_->GetPosition(lastPosition_, &position);
  ShowStatus(position);
  if (!playing_) SetMenuState(MenuState::kStopped);
  emit PlayerStateChanged();
}

void CQDXDSDPlayerView::OnTrackSkipped(bool clearSelection) {
  if (clearSelection) list_->clearSelection();
}

void CQDXDSDPlayerView::ShowTrackTime(std::uint32_t seconds) {
  time_->SetTime(static_cast<int>(seconds / 3600), static_cast<int>(seconds % 3600 / 60),
                 static_cast<int>(seconds % 60));
}

// The window handles everything but user input and sockets here, so it
// repaints and answers the window manager while commands (and requests from
// other programs) wait until the work is done.
void CQDXDSDPlayerView::OnWorkProgress(std::size_t done, std::size_t total) {
  const auto now = std::chrono::steady_clock::now();
  if (done >= total) {
    if (workShown_) ShowStatus(statusSeconds_);
    workShownAt_.reset();
    workShown_ = false;
    return;
  }
  if (!workShownAt_) {  // the work's first step
    workShownAt_ = now;
    if (options_.workRepaintInterval.count() > 0) return;
  } else if (now - *workShownAt_ < options_.workRepaintInterval) {
    return;
  }
  workShownAt_ = now;
  workShown_ = true;
  statusLine_->SetText(WorkText(static_cast<int>(done * 100 / total)));
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                  QEventLoop::ExcludeSocketNotifiers);
}

void CQDXDSDPlayerView::OnLoadingProgress(std::int32_t percent) {
  loadingPercent_ = percent;
  seekBar_->setEnabled(percent >= 100);
  UpdateTitle();
}

// ------------------------------------------------------------------ display

QString CQDXDSDPlayerView::StatusText(std::uint32_t position, std::uint32_t total) {
  return QString::asprintf("%02u:%02u / %02u:%02u  ", position / 60, position % 60, total / 60,
                           total % 60);
}

QString CQDXDSDPlayerView::WorkText(int percent) {
  return QStringLiteral("%1 %2%...").arg(ResourceText(platform::IDS_LOADING)).arg(percent);
}

QString CQDXDSDPlayerView::SeekTipText(int seconds) {
  return QString::asprintf("%d:%02d", seconds / 60, seconds % 60);
}

QString CQDXDSDPlayerView::WindowTitle(const QString& item, int loadingPercent) {
  if (item.isEmpty()) return AppName();
  if (loadingPercent < 100) {
    return QStringLiteral("[%1 %2%...] %3 - %4")
        .arg(ResourceText(platform::IDS_LOADING))
        .arg(loadingPercent)
        .arg(item, AppName());
  }
  return item + QStringLiteral(" - ") + AppName();
}

void CQDXDSDPlayerView::UpdateTitle() {
  QString name;
  TrackInfo item;
  const auto playlist = facade_->GetPlaylist();
  if (highlighted_ >= 0 && playlist && playlist->GetItem(highlighted_, &item) == 0) {
    name = QString::fromStdWString(item.title.empty() ? item.fileName : item.title);
  }
  window()->setWindowTitle(WindowTitle(name, loadingPercent_));
}

void CQDXDSDPlayerView::ShowStatus(std::uint32_t position) {
  std::uint32_t total = 0;
  facade_->GetTotalDuration(&total);
  statusSeconds_ = position;
  statusLine_->SetText(StatusText(position, total));
}

void CQDXDSDPlayerView::ShowPlayButton(bool play) {
  button(kCmdPlay)->setVisible(play);
  button(kCmdPause)->setVisible(!play);
}

void CQDXDSDPlayerView::ScrollToHighlighted() {
  if (QTreeWidgetItem* item = list_->topLevelItem(highlighted_)) list_->scrollToItem(item);
  list_->viewport()->update();
}

void CQDXDSDPlayerView::SetChecked(int command, bool checked) {
  if (QAction* action = menu_.Action(command)) action->setChecked(checked);
}

void CQDXDSDPlayerView::SetEnabled(int command, bool enabled) {
  if (QAction* action = menu_.Action(command)) action->setEnabled(enabled);
}

void CQDXDSDPlayerView::SetRepeatMark(int command) {
  for (const int repeat : {kCmdRepeatDefault, kCmdRepeatPlaylist, kCmdRepeatTitle})
    SetChecked(repeat, repeat == command);
}

void CQDXDSDPlayerView::SetMenuState(MenuState state) {
  const bool stopped = state == MenuState::kStopped;
  const bool playing = state == MenuState::kPlaying || state == MenuState::kResumed;
  SetChecked(kCmdPlay, playing);
  SetChecked(kCmdStop, stopped);
  SetChecked(kCmdPause, state == MenuState::kPaused);
  for (const int command : {kCmdOpen, kCmdOpenCd, kCmdNewPlaylist, kCmdLoadPlaylist, kCmdShuffle})
    SetEnabled(command, stopped);
  SetEnabled(kCmdAddFile, !cdMode_);
  SetEnabled(kCmdSavePlaylist, stopped && !cdMode_);
  if (menu_.configure != nullptr &&
      (state == MenuState::kStopped || state == MenuState::kPlaying)) {
    menu_.configure->setEnabled(stopped);
  }
}

// ------------------------------------------------------------------ events

void CQDXDSDPlayerView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawPixmap(0, 0, background_);
}

bool CQDXDSDPlayerView::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return QWidget::eventFilter(watched, event);
  auto* key = static_cast<QKeyEvent*>(event);
  if (watched == list_) {
    if (key->key() == Qt::Key_Delete) {
      facade_->DeleteSelected();
      return true;
    }
    return false;
  }
  if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) {
    QKeyEvent copy(key->type(), key->key(), key->modifiers(), key->text());
    QApplication::sendEvent(list_, &copy);
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace ui
