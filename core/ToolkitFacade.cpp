#include "core/ToolkitFacade.h"

#include <algorithm>

#include "core/PlaylistCtrl.h"
#include "core/PlaylistCtrlImpl.h"
#include "core/PlaylistFile.h"
#include "core/TkText.h"
#include "output/AsioHost.h"
#include "output/AsioWrapper.h"
#include "output/DevNameInfo.h"
#include "output/DeviceSelection.h"
#include "output/EngineSettings.h"
#include "output/PlaybackMessages.h"
#include "platform/ErrorReport.h"
#include "platform/StringTable.h"
#include "sources/BuiltInSources.h"
#include "sources/MusicDataCDDA.h"
#include "sources/MusicDataCue.h"
#include "sources/MusicDataMP3.h"
#include "sources/MusicDataPlugin.h"
#include "sources/MusicDataWave.h"
#include "sources/PluginCtrl.h"

namespace {

constexpr std::int32_t kImageNone = 0;
constexpr std::int32_t kImagePlaying = 1;
constexpr std::int32_t kImagePaused = 2;
constexpr int kMinColumnWidth = 50;

}  // namespace

// The playback thread's way into the facade. Exit detaches it, so a thread
// that outlives Exit's wait reaches nothing; its calls hold the link's lock
// only while the facade posts, never while anything waits.
class CToolkitFacade::NotifyLink : public IPlayerNotify {
 public:
  explicit NotifyLink(CToolkitFacade* facade) : facade_(facade) {}

  void Notify(NotifyType type, std::int32_t value,
              std::unique_ptr<PlayingRecord> playing) override {
    std::lock_guard lock(mutex_);
    if (facade_ != nullptr) facade_->Notify(type, value, std::move(playing));
  }
  std::shared_ptr<ITkCallback> Callback() override {
    std::lock_guard lock(mutex_);
    return facade_ != nullptr ? facade_->CurrentCallback() : nullptr;
  }
  bool IsAudioCd() override {
    std::lock_guard lock(mutex_);
    return facade_ != nullptr && facade_->audioCd_;
  }
  void Detach() {
    std::lock_guard lock(mutex_);
    facade_ = nullptr;
  }

 private:
  std::mutex mutex_;
  CToolkitFacade* facade_;
};

struct CToolkitFacade::Lingering {
  std::shared_ptr<CThrAudioPlay> thread;
  std::shared_ptr<CPlaylistCtrl> playlist;
  std::shared_ptr<CPluginCtrl> plugins;
  std::shared_ptr<CAsioWrapperImpl> renderer;
};

CToolkitFacade::CToolkitFacade(std::shared_ptr<ITkSettings> settings, Options options)
    : settings_(std::move(settings)), options_(std::move(options)) {}

CToolkitFacade::~CToolkitFacade() {
  Exit();
  if (lingering_ && !lingering_->thread->StopWithin(options_.exitTimeout)) {
    // The thread still runs inside these objects: destroying them would pull
    // the plug-ins and the playlist from under it. The process is ending,
    // so they are left to it.
    new Lingering(std::move(*lingering_));
  }
}

// ------------------------------------------------------------- life cycle

std::int32_t CToolkitFacade::Init(const TkInitParams* params) {
  if (params == nullptr || !params->callback || params->listWindow == nullptr ||
      params->viewControl == nullptr || params->ownerWindow == nullptr) {
    return kTkBadArgument;
  }
  if (initialised_) return kTkAlreadyInitialised;
  {
    std::lock_guard lock(uiMutex_);
    callback_ = params->callback;
    list_ = params->listWindow;
    viewControl_ = params->viewControl;
    dialogs_ = params->ownerWindow;
  }

  plugins_ = std::make_shared<CPluginCtrl>();
  plugins_->LoadPlugins();
  RebuildExtensions();

  auto impl = std::make_shared<CPlaylistCtrlImpl>();
  playlist_ = std::make_shared<CPlaylistCtrl>(impl, plugins_);
  playlist_->SetRowInserter(
      [this](const TrackInfo& item, std::int32_t row) { InsertRow(item, row); });
  playlist_->SetErrorReporter([](const std::wstring& text) { platform::ReportAppError(text); });

  link_ = std::make_shared<NotifyLink>(this);
  thread_ = std::make_shared<CThrAudioPlay>(plugins_, playlist_, link_, options_.thread);
  const bool started = thread_->Start();
  renderer_ = CAsioWrapperImpl::Create();
  initialised_ = true;
  return started ? kTkOk : kTkNotPossible;
}

void CToolkitFacade::Exit() {
  if (!initialised_) return;
  bool ended = true;
  if (thread_) {
    thread_->Post(TM_STOP, 0, 1);
    ended = thread_->StopWithin(options_.exitTimeout);
  }
  link_->Detach();
  if (!ended) {
    platform::ReportAppError(
        L"The playback thread did not end in time; the player keeps its "
        L"plug-ins loaded until it does.");
    lingering_ = std::make_unique<Lingering>(Lingering{thread_, playlist_, plugins_, renderer_});
  }
  thread_.reset();
  renderer_.reset();
  {
    std::lock_guard lock(uiMutex_);
    callback_.reset();
    list_ = nullptr;
    viewControl_ = nullptr;
    dialogs_ = nullptr;
  }
  audioCd_ = false;
  shuffle_ = false;
  repeat_ = 0;
  transport_ = core::Transport::kStopped;
  highlighted_ = -1;
  if (ended) {
    playlist_->RemoveAll();
    playlist_->SetRowInserter(nullptr);
    playlist_.reset();
    plugins_->UnloadPlugins();
  } else {
    playlist_.reset();
  }
  plugins_.reset();
  link_.reset();
  initialised_ = false;
}

void CToolkitFacade::Post(std::uint32_t id, std::intptr_t wParam, std::intptr_t lParam) const {
  if (thread_) thread_->Post(id, wParam, lParam);
}

void CToolkitFacade::RebuildExtensions() {
  extensions_.clear();
  for (const BuiltInSourceKind& kind : kBuiltInSourceKinds) {
    if (!kind.extension.empty()) extensions_.emplace_back(kind.extension);
  }
  for (std::size_t i = 0; i < plugins_->PluginCount(); ++i) {
    for (auto& token : tk::ExtensionTokens(plugins_->PluginExtensions(i)))
      extensions_.push_back(std::move(token));
  }
}

// ---------------------------------------------------------------- transport

std::int32_t CToolkitFacade::Play() {
  if (!initialised_) return kTkNotInitialised;
  if (settings_->OutputConfig().device.empty() || playlist_->Count() == 0) return kTkNotPossible;
  Post(TM_PLAY_ITEM, playlist_->CurrentItem(), 1);
  return kTkOk;
}

std::int32_t CToolkitFacade::PlaySelected() {
  if (!initialised_) return kTkNotInitialised;
  if (settings_->OutputConfig().device.empty() || playlist_->Count() == 0) return kTkNotPossible;
  for (int row = 0; row < list_->RowCount(); ++row) {
    if (list_->IsRowSelected(row)) {
      Post(TM_PLAY_ITEM, row, 3);
      return kTkOk;
    }
  }
  return kTkOk;
}

void CToolkitFacade::PlayRow(std::int32_t row) {
  if (!initialised_) return;
  if (highlighted_ >= 0) list_->SetRowImage(highlighted_, kImageNone);
  highlighted_ = -1;
  list_->SetRowImage(playlist_->CurrentItem(), kImageNone);
  list_->SetRowImage(row, kImagePlaying);
  Post(TM_PLAY_ITEM, row, 3);
  highlighted_ = row;
}

void CToolkitFacade::Stop() {
  if (initialised_) Post(TM_STOP, 1, 0);
}

void CToolkitFacade::Next() {
  if (initialised_) Post(TM_NEXT, 1, 0);
}

void CToolkitFacade::Prev() {
  if (initialised_) Post(TM_PREVIOUS, 1, 0);
}

std::int32_t CToolkitFacade::Pause() {
  if (!initialised_) return kTkNotInitialised;
  if (transport_ == core::Transport::kStopped) return kTkNotPossible;
  Post(TM_PAUSE, 1, 0);
  return kTkOk;
}

void CToolkitFacade::Seek(std::int32_t seconds) {
  if (initialised_) Post(TM_SEEK, seconds, 0);
}

void CToolkitFacade::SetShuffle(bool shuffle) {
  if (!initialised_) return;
  shuffle_ = shuffle;
  Post(TM_SET_SHUFFLE, shuffle ? 1 : 0, 0);
}

std::int32_t CToolkitFacade::SetRepeat(std::uint32_t mode) {
  if (!initialised_) return kTkNotInitialised;
  if (mode > 2) return kTkBadArgument;
  repeat_ = static_cast<std::int32_t>(mode);
  Post(TM_SET_REPEAT, static_cast<std::intptr_t>(mode), 0);
  return kTkOk;
}

void CToolkitFacade::ApplyConfig(const TkOutputConfig& config, bool post) {
  EngineSettings settings = GetEngineSettings();
  settings.deviceName = config.device;
  settings.mp3Gapless = config.mp3Gapless ? 1 : 0;
  settings.gaplessThreshold = config.thrGapless;
  settings.decodeMode = config.decodeMode;
  settings.ramMode = config.ramMode;
  SetEngineSettings(settings);
  if (post && initialised_) Post(TM_OUTPUT_CHANGED, 0, 0);
}

void CToolkitFacade::ReleaseDevice() {
  if (initialised_) HostExit();
}

void CToolkitFacade::DeviceChanged() {
  if (initialised_) Post(TM_OUTPUT_CHANGED, 0, 0);
}

bool CToolkitFacade::CanOpenDevice(const std::wstring& name) const {
  return initialised_ && !name.empty() && ::CanOpenDevice(name);
}

// ------------------------------------------------------------------ queries

std::int32_t CToolkitFacade::SetupList(const TkListLayout& layout) {
  if (!initialised_) return kTkNotInitialised;
  list_->Place(layout.x, layout.y, layout.width, layout.height);
  list_->Refresh();
  list_->DeleteAllRows();
  playlist_->RemoveAll();
  list_->DeleteAllColumns();
  static constexpr platform::StringId kHeaders[ITkListView::kColumns] = {
      platform::IDS_COLUMN_NUMBER, platform::IDS_COLUMN_ARTIST, platform::IDS_COLUMN_TITLE,
      platform::IDS_COLUMN_DURATION, platform::IDS_COLUMN_PATH};
  for (int column = 0; column < ITkListView::kColumns; ++column) {
    list_->InsertColumn(column, platform::LoadResString(kHeaders[column]),
                        layout.columnWidths[column]);
  }
  viewControl_->SetMinColumnWidth(kMinColumnWidth);
  viewControl_->SetDragEnabled(true);
  viewControl_->SetDropEnabled(true);
  list_->DeleteAllRows();
  return kTkOk;
}

std::int32_t CToolkitFacade::GetItemInfo(bool selected, TkItemInfo* info) const {
  if (!initialised_) return kTkNotInitialised;
  if (info == nullptr) return kTkBadArgument;
  if (playlist_->Count() == 0) return kTkNotPossible;
  std::int32_t item = playlist_->CurrentItem();
  if (selected) {
    if (list_->SelectedCount() != 1) return kTkNotPossible;
    for (item = 0; item < list_->RowCount() && !list_->IsRowSelected(item); ++item) {
    }
  }
  TrackInfo track;
  if (playlist_->GetItem(item, &track) != 0) return kTkNotPossible;
  info->fileName = track.fileName;
  info->title = track.title;
  info->artist = track.artist;
  info->formatName = track.formatName;
  info->sampleRate = track.format.nSamplesPerSec;
  info->bitsPerSample = track.format.wBitsPerSample;
  info->seconds = static_cast<double>(track.length / kFramesPerSecond);
  return kTkOk;
}

std::int32_t CToolkitFacade::GetTotalDuration(std::uint32_t* seconds) const {
  if (!initialised_) return kTkNotInitialised;
  if (seconds == nullptr) return kTkBadArgument;
  std::uint32_t total = 0;
  for (const auto& item : playlist_->Items())
    total += item.length / kFramesPerSecond;
  *seconds = total;
  return kTkOk;
}

std::int32_t CToolkitFacade::GetPosition(std::uint32_t trackSeconds, std::uint32_t* seconds) const {
  if (!initialised_) return kTkNotInitialised;
  if (seconds == nullptr) return kTkBadArgument;
  *seconds = static_cast<std::uint32_t>(playlist_->PlayedSeconds()) +
             std::min(trackSeconds, trackSeconds_.load());
  return kTkOk;
}

std::int32_t CToolkitFacade::GetOutputDevices(std::unique_ptr<CDevNameInfo>* devices) const {
  if (!initialised_) return kTkNotInitialised;
  if (devices == nullptr) return kTkBadArgument;
  *devices = std::make_unique<CDevNameInfo>();
  return (*devices)->GetDeviceCount() == 0 ? kTkEmptyList : kTkOk;
}

std::int32_t CToolkitFacade::GetPluginList(TkPluginList* list) const {
  if (!initialised_) return kTkNotInitialised;
  if (list == nullptr) return kTkBadArgument;
  plugins_->LoadPlugins();
  list->clear();
  for (std::size_t i = 0; i < plugins_->PluginCount(); ++i) {
    list->push_back(
        {plugins_->PluginName(i), plugins_->PluginExtensions(i), plugins_->PluginVersion(i)});
  }
  return kTkOk;
}

std::int32_t CToolkitFacade::GetSelectionCount(std::int32_t* count, ViewPoint* point) const {
  if (!initialised_) return kTkNotInitialised;
  if (list_ == nullptr) return kTkNotPossible;
  if (count == nullptr || point == nullptr) return kTkBadArgument;
  *count = list_->SelectedCount();
  *point = list_->ToScreen(*point);
  return kTkOk;
}

bool CToolkitFacade::HasSelection() const {
  return initialised_ && list_->SelectedCount() > 0;
}

bool CToolkitFacade::IsSupportedFile(const std::wstring& path) const {
  return initialised_ && tk::HasPlayableExtension(path, extensions_);
}

bool CToolkitFacade::WaitUntilIdle(std::chrono::milliseconds limit) const {
  return initialised_ && thread_ && thread_->Messages()->WaitUntilIdle(limit);
}

std::shared_ptr<CPlaylistCtrl> CToolkitFacade::GetPlaylist() const {
  return initialised_ ? playlist_ : nullptr;
}

std::wstring CToolkitFacade::MusicFilter() const {
  std::vector<tk::FileKind> kinds;
  auto add = [&kinds](CMusicData&& source, bool descriptionIsExtension) {
    const FileTypeInfo* type = source.GetFileType();
    if (type == nullptr) return;
    const std::wstring extension = type->extension != nullptr ? type->extension : L"";
    const std::wstring description = type->description != nullptr ? type->description : L"";
    kinds.push_back(
        {descriptionIsExtension ? extension : description, tk::ExtensionTokens(extension)});
  };
  add(CMusicDataWave(), false);
  add(CMusicDataMP3(), false);
  add(CMusicDataCue(), false);
  if (plugins_) {
    for (std::size_t i = 0; i < plugins_->PluginCount(); ++i)
      add(CMusicDataPlugin(plugins_, i), true);
  }
  return tk::MusicFilter(kinds);
}

// ------------------------------------------------------------- notification

WorkProgress CToolkitFacade::ProgressToWindow() const {
  return [callback = CurrentCallback()](std::size_t done, std::size_t total) {
    if (callback) callback->OnWorkProgress(done, total);
  };
}

void CToolkitFacade::AddFilesAtTheEnd(const std::vector<std::wstring>& paths) {
  const WorkProgress progress = ProgressToWindow();
  for (std::size_t done = 0; done < paths.size(); ++done) {
    playlist_->AddFile(paths[done], playlist_->Count());
    progress(done + 1, paths.size());
  }
}

std::shared_ptr<ITkCallback> CToolkitFacade::CurrentCallback() const {
  std::lock_guard lock(uiMutex_);
  return callback_;
}

void CToolkitFacade::PostRowImage(std::int32_t row, std::int32_t image) {
  std::lock_guard lock(uiMutex_);
  if (list_ != nullptr) list_->PostRowImage(row, image);
}

void CToolkitFacade::Notify(NotifyType type, std::int32_t value,
                            std::unique_ptr<PlayingRecord> playing) {
  const std::shared_ptr<ITkCallback> callback = CurrentCallback();
  if (!callback) return;
  const std::int32_t current = playlist_->CurrentItem();
  switch (type) {
    case kNotifyStopped:
      transport_ = core::Transport::kStopped;
      highlighted_ = current;
      PostRowImage(-1, kImageNone);
      trackSeconds_ = 0;
      callback->OnStateChanged(0, audioCd_ ? 1 : 0, nullptr);
      break;
    case kNotifyPlaying:
      if (!playing) return;
      transport_ = core::Transport::kPlaying;
      highlighted_ = current;
      PostRowImage(-1, kImageNone);
      trackSeconds_ = playing->seconds;
      callback->OnStateChanged(1, 0, std::move(playing));
      break;
    case kNotifyPaused:
    case kNotifyResumed: {
      const bool paused = type == kNotifyPaused;
      transport_ = paused ? core::Transport::kPaused : core::Transport::kPlaying;
      highlighted_ = current;
      PostRowImage(current, paused ? kImagePaused : kImagePlaying);
      callback->OnStateChanged(2, paused ? 0 : 1, nullptr);
      break;
    }
    case kNotifyLoading:
      callback->OnStateChanged(3, value, nullptr);
      break;
  }
}

// ---------------------------------------------------------- playlist editing

void CToolkitFacade::InsertRow(const TrackInfo& item, std::int32_t row) {
  const auto texts = tk::RowTexts(item);
  list_->InsertRow(row, {L"", texts[0], texts[1], texts[2], texts[3]}, kImageNone);
}

void CToolkitFacade::ClearAll() {
  list_->DeleteAllRows();
  playlist_->RemoveAll();
}

void CToolkitFacade::SetAudioCd(bool audioCd) {
  previousAudioCd_ = audioCd_;
  audioCd_ = audioCd;
}

void CToolkitFacade::EnableRowEditing(bool enabled) {
  if (highlighted_ == -1) viewControl_->SetDragEnabled(enabled);
  viewControl_->SetDropEnabled(enabled);
}

std::int32_t CToolkitFacade::PlaylistKind() const {
  if (audioCd_ == previousAudioCd_) return 0;
  return audioCd_ ? 1 : 2;
}

void CToolkitFacade::ReportChanged(std::int32_t kind) {
  const std::shared_ptr<ITkCallback> callback = CurrentCallback();
  if (callback) callback->OnPlaylistChanged(kind);
}

void CToolkitFacade::ReportPlaylistKind() {
  ReportChanged(PlaylistKind());
}

void CToolkitFacade::ReportFilesAdded() {
  ReportChanged(0);
  Post(TM_NEXT_CHANGED);
  ReportPlaylistKind();
  Post(TM_REFRESH_TIME);
  if (highlighted_ != -1) highlighted_ = playlist_->CurrentItem();
}

std::int32_t CToolkitFacade::Open() {
  if (!initialised_) return kTkNotInitialised;
  std::vector<std::wstring> paths;
  if (!dialogs_->OpenFiles(platform::LoadResString(platform::IDS_DIALOG_OPEN), MusicFilter(),
                           &paths)) {
    return kTkOk;
  }
  SetAudioCd(false);
  EnableRowEditing(true);
  ClearAll();
  AddFilesAtTheEnd(paths);
  Post(TM_STOP, 1, 0);
  ReportChanged(2);
  return kTkOk;
}

std::int32_t CToolkitFacade::OpenCD(const std::wstring& drive) {
  if (!initialised_) return kTkNotInitialised;
  ClearAll();
  SetAudioCd(true);
  EnableRowEditing(false);
  CMusicDataCDDA disc;
  std::int32_t count = 0;
  if (disc.Open({.path = drive, .gapless = false, .threshold = -96.0}) != kMusicOk ||
      disc.GetTrackCount(&count) != kMusicOk) {
    count = 0;
  }
  if (count == 0) {
    audioCd_ = false;
    previousAudioCd_ = true;
    EnableRowEditing(true);
  }
  for (std::int32_t track = 0; track < count; ++track) {
    TrackInfo info;
    if (disc.GetTrackInfo(track, &info) != kMusicOk) continue;
    InsertRow(info, list_->RowCount());
    playlist_->Append(info);
  }
  playlist_->RebuildOrder(playlist_->IsShuffle(), -1);
  playlist_->SetModified(true);
  Post(TM_STOP, 1, 0);
  // A drive without a disc leaves the player with files, and says so.
  ReportChanged(count > 0 ? 1 : PlaylistKind());
  return kTkOk;
}

std::int32_t CToolkitFacade::AddFiles() {
  if (!initialised_) return kTkNotInitialised;
  if (audioCd_) return kTkOk;
  std::vector<std::wstring> paths;
  if (!dialogs_->OpenFiles(platform::LoadResString(platform::IDS_DIALOG_ADD_FILE), MusicFilter(),
                           &paths)) {
    return kTkOk;
  }
  AddFilesAtTheEnd(paths);
  Post(TM_NEXT_CHANGED);
  ReportPlaylistKind();
  Post(TM_REFRESH_TIME);
  ReportChanged(0);
  return kTkOk;
}

std::int32_t CToolkitFacade::RemoveSelected() {
  return RemoveRows(true);
}

std::int32_t CToolkitFacade::DeleteSelected() {
  return RemoveRows(false);
}

std::int32_t CToolkitFacade::RemoveRows(bool menuCommand) {
  if (!initialised_) return kTkNotInitialised;
  bool nextChanged = false;
  bool currentRemoved = false;
  for (int row = list_->RowCount() - 1; row >= 0; --row) {
    if (!list_->IsRowSelected(row)) continue;
    const std::int32_t following = playlist_->IsShuffle() ? playlist_->NextItem() : row;
    if (following == highlighted_ + 1) nextChanged = true;
    list_->DeleteRow(row);
    const bool wasCurrent = playlist_->Remove(row);
    playlist_->SetModified(true);
    if (wasCurrent && highlighted_ != -1) currentRemoved = true;
  }
  list_->Refresh();
  if (currentRemoved) {
    if (menuCommand) transport_ = core::Transport::kStopped;
    Post(TM_STOP, 1, 0);
  } else {
    if (nextChanged) Post(TM_NEXT_CHANGED);
    ReportPlaylistKind();
    Post(TM_REFRESH_TIME);
  }
  if (audioCd_ && list_->RowCount() == 0) {
    audioCd_ = false;
    previousAudioCd_ = true;
    EnableRowEditing(true);
    transport_ = core::Transport::kStopped;
  }
  ReportChanged(0);
  if (menuCommand || highlighted_ != -1) highlighted_ = playlist_->CurrentItem();
  return kTkOk;
}

std::int32_t CToolkitFacade::NewPlaylist() {
  if (!initialised_) return kTkNotInitialised;
  ClearAll();
  SetAudioCd(false);
  EnableRowEditing(true);
  settings_->SetPlaylistFile(L"");
  settings_->Save();
  Post(TM_STOP, 1, 0);
  transport_ = core::Transport::kStopped;
  ReportChanged(2);
  return kTkOk;
}

std::int32_t CToolkitFacade::LoadPlaylist() {
  if (!initialised_) return kTkNotInitialised;
  std::wstring path;
  if (!dialogs_->OpenFile(platform::LoadResString(platform::IDS_DIALOG_LOAD_PLAYLIST),
                          L"playlist|*.ppl|", L"ppl", &path)) {
    return kTkOk;
  }
  ClearAll();
  SetAudioCd(false);
  EnableRowEditing(true);
  LoadPlaylistFile(path);
  settings_->SetPlaylistFile(path);
  settings_->Save();
  Post(TM_STOP, 1, 0);
  ReportChanged(2);
  return kTkOk;
}

std::int32_t CToolkitFacade::SavePlaylist() {
  if (!initialised_) return kTkNotInitialised;
  if (audioCd_) return kTkNotPossible;
  std::wstring path;
  if (!dialogs_->SaveFile(platform::LoadResString(platform::IDS_DIALOG_SAVE_PLAYLIST),
                          L"playlist|*.ppl|", L"ppl", settings_->PlaylistFile(), &path)) {
    return kTkNotPossible;
  }
  // A playlist that was not written keeps its modified mark and the stored
  // name, so nothing treats it as saved.
  if (!WritePlaylistFile(*playlist_, path)) return kTkNotPossible;
  settings_->SetPlaylistFile(path);
  settings_->Save();
  return kTkOk;
}

std::int32_t CToolkitFacade::AddFileList(const std::vector<std::wstring>& paths) {
  if (!initialised_) return kTkNotInitialised;
  SetAudioCd(false);
  playlist_->AddPathList(paths, -1, ProgressToWindow());
  ReportFilesAdded();
  return kTkOk;
}

std::int32_t CToolkitFacade::DropFiles(const std::vector<std::wstring>& paths) {
  if (!initialised_) return kTkNotInitialised;
  ViewPoint point;
  viewControl_->GetDropPoint(&point);
  std::int32_t row = list_->HitTest(point);
  if (row < 0) {
    row = list_->RowCount();
  } else if (row < list_->TopIndex()) {
    row = list_->TopIndex();
  } else {
    int top = 0;
    int bottom = 0;
    if (list_->RowBounds(row, &top, &bottom) && point.y >= (top + bottom) / 2) ++row;
  }
  SetAudioCd(false);
  playlist_->AddPathList(paths, row, ProgressToWindow());
  ReportFilesAdded();
  return kTkOk;
}

std::int32_t CToolkitFacade::MoveSelected(std::int32_t target) {
  if (!initialised_) return kTkNotInitialised;
  struct MovedRow {
    std::int32_t row;
    std::int32_t image;
    ITkListView::RowTexts texts;
    bool mark;
  };
  std::vector<MovedRow> moved;
  std::vector<std::int32_t> indices;
  const std::int32_t mark = list_->SelectionMark();
  for (int row = 0; row < list_->RowCount(); ++row) {
    if (!list_->IsRowSelected(row)) continue;
    MovedRow entry{row, list_->RowImage(row), {}, row == mark};
    for (int column = 1; column < ITkListView::kColumns; ++column)
      entry.texts[column] = list_->RowText(row, column);
    moved.push_back(std::move(entry));
    indices.push_back(row);
  }
  if (!moved.empty() && playlist_->Move(indices, target)) {
    playlist_->SetModified(true);
    for (auto it = moved.rbegin(); it != moved.rend(); ++it) {
      if (it->row >= target) list_->DeleteRow(it->row);
    }
    std::int32_t at = target;
    for (const auto& entry : moved) {
      const int row = list_->InsertRow(at++, entry.texts, entry.image);
      list_->SetRowSelected(row, true);
      if (entry.mark) list_->SetSelectionMark(row);
    }
    for (auto it = moved.rbegin(); it != moved.rend(); ++it) {
      if (it->row < target) list_->DeleteRow(it->row);
    }
  }
  highlighted_ = playlist_->Count() == 0 ? 0 : playlist_->CurrentItem();
  Post(TM_NEXT_CHANGED);
  ReportPlaylistKind();
  Post(TM_REFRESH_TIME);
  ReportChanged(0);
  return kTkOk;
}

std::int32_t CToolkitFacade::LoadPlaylistFile(const std::wstring& path) {
  if (!initialised_) return kTkNotInitialised;
  std::vector<TrackInfo> items;
  if (ReadPlaylistFile(path, &items, plugins_, ProgressToWindow())) {
    for (const auto& item : items) {
      InsertRow(item, list_->RowCount());
      playlist_->Append(item);
    }
    playlist_->RebuildOrder(playlist_->IsShuffle(), -1);
    playlist_->SetModified(false);
  }
  return kTkOk;
}

std::int32_t CToolkitFacade::SavePlaylistFile(const std::wstring& path) {
  if (!initialised_) return kTkNotInitialised;
  WritePlaylistFile(*playlist_, path);
  return kTkOk;
}
