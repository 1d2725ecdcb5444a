#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/PlayerNotify.h"
#include "core/PlaylistViewCtrl.h"
#include "core/ThrAudioPlay.h"
#include "core/TkFileDialogs.h"
#include "core/TkListView.h"
#include "core/TkSettings.h"
#include "core/TkTypes.h"
#include "core/Transport.h"
#include "core/WorkProgress.h"

class CAsioWrapperImpl;
class CDevNameInfo;
class CPluginCtrl;
class CPlaylistCtrl;

// Result codes of the facade.
enum TkResult : std::int32_t {
  kTkOk = 0,
  kTkNotInitialised = -1,
  kTkBadArgument = -2,
  kTkNotPossible = -3,
  kTkEmptyList = -4,
  kTkAlreadyInitialised = -5,
};

// What the user interface hands to Init; all four are required and must
// outlive Exit.
struct TkInitParams {
  std::shared_ptr<ITkCallback> callback;
  ITkListView* listWindow = nullptr;
  IPlaylistViewCtrl* viewControl = nullptr;
  ITkFileDialogs* ownerWindow = nullptr;
};

// The flat facade through which a user interface drives the player: it owns
// the plug-in host, the playlist, the playback thread and the renderer
// binding from Init to Exit, keeps the list view's rows in step with the
// playlist (row i shows item i), and turns the playback thread's reports
// into player state, row images and callbacks.
//
// Every operation runs on the window thread. The playback thread reaches
// the facade only through its notification link, whose calls never wait
// for the window thread: the row images are posted to the list, and the
// callback's implementations post too. So Exit can wait for the playback
// thread without either thread waiting on the other.
class CToolkitFacade {
 public:
  struct Options {
    CThrAudioPlay::Options thread;
    // How long Exit waits for the playback thread.
    std::chrono::milliseconds exitTimeout{10000};
  };

  explicit CToolkitFacade(std::shared_ptr<ITkSettings> settings)
      : CToolkitFacade(std::move(settings), Options{}) {}
  CToolkitFacade(std::shared_ptr<ITkSettings> settings, Options options);
  ~CToolkitFacade();
  CToolkitFacade(const CToolkitFacade&) = delete;
  CToolkitFacade& operator=(const CToolkitFacade&) = delete;

  // Life cycle.
  std::int32_t Init(const TkInitParams* params);
  void Exit();
  bool IsInitialised() const { return initialised_; }

  // Transport.
  std::int32_t Play();
  std::int32_t PlaySelected();
  void PlayRow(std::int32_t row);
  void Stop();
  void Next();
  void Prev();
  std::int32_t Pause();
  void Seek(std::int32_t seconds);
  void SetShuffle(bool shuffle);
  std::int32_t SetRepeat(std::uint32_t mode);
  void ApplyConfig(const TkOutputConfig& config, bool post);
  void ReleaseDevice();
  void DeviceChanged();
  bool CanOpenDevice(const std::wstring& name) const;

  // Queries.
  std::int32_t SetupList(const TkListLayout& layout);
  std::int32_t GetItemInfo(bool selected, TkItemInfo* info) const;
  std::int32_t GetTotalDuration(std::uint32_t* seconds) const;
  std::int32_t GetPosition(std::uint32_t trackSeconds, std::uint32_t* seconds) const;
  std::int32_t GetOutputDevices(std::unique_ptr<CDevNameInfo>* devices) const;
  std::int32_t GetPluginList(TkPluginList* list) const;
  std::int32_t GetSelectionCount(std::int32_t* count, ViewPoint* point) const;
  bool HasSelection() const;
  bool IsSupportedFile(const std::wstring& path) const;
  std::shared_ptr<CPlaylistCtrl> GetPlaylist() const;
  // The filter of the open dialogs: every kind of music the player reads.
  std::wstring MusicFilter() const;

  // Playlist editing.
  std::int32_t Open();
  std::int32_t OpenCD(const std::wstring& drive);
  std::int32_t AddFiles();
  std::int32_t RemoveSelected();
  std::int32_t DeleteSelected();
  std::int32_t NewPlaylist();
  std::int32_t LoadPlaylist();
  std::int32_t SavePlaylist();
  std::int32_t AddFileList(const std::vector<std::wstring>& paths);
  std::int32_t DropFiles(const std::vector<std::wstring>& paths);
  std::int32_t MoveSelected(std::int32_t target);
  std::int32_t LoadPlaylistFile(const std::wstring& path);
  std::int32_t SavePlaylistFile(const std::wstring& path);

  // The notification dispatcher, called by the playback thread (and by its
  // decoder workers for the loading percentage).
  void Notify(NotifyType type, std::int32_t value, std::unique_ptr<PlayingRecord> playing);

  // Player state, for the user interface.
  bool IsAudioCd() const { return audioCd_; }
  core::Transport TransportState() const { return transport_; }
  std::int32_t HighlightedRow() const { return highlighted_; }
  std::uint32_t CurrentTrackSeconds() const { return trackSeconds_; }
  bool Shuffle() const { return shuffle_; }
  std::int32_t RepeatMode() const { return repeat_; }
  const std::vector<std::wstring>& PlayableExtensions() const { return extensions_; }
  // Waits until the playback thread has handled every command and report
  // posted to it so far and waits for the next; false when `limit` passes
  // first or nothing runs. A terminal player uses it to tell a stop between
  // two items from the end of the playlist.
  bool WaitUntilIdle(std::chrono::milliseconds limit) const;

 private:
  class NotifyLink;
  // What a playback thread that outlived Exit's wait still uses; kept until
  // it ends.
  struct Lingering;

  void Post(std::uint32_t id, std::intptr_t wParam = 0, std::intptr_t lParam = 0) const;
  void RebuildExtensions();
  void InsertRow(const TrackInfo& item, std::int32_t row);
  // Empties the list and the playlist.
  void ClearAll();
  // Leaves audio-CD mode (or enters it) and switches dragging and dropping.
  void SetAudioCd(bool audioCd);
  void EnableRowEditing(bool enabled);
  std::int32_t PlaylistKind() const;
  void ReportPlaylistKind();
  void ReportChanged(std::int32_t kind);
  // The reports after files were added by the path-list rule.
  void ReportFilesAdded();
  std::int32_t RemoveRows(bool menuCommand);
  // Clears every row image (and sets `image` on `row` when it is not
  // negative), from the thread that reports.
  void PostRowImage(std::int32_t row, std::int32_t image);
  // A strong copy of the user interface's callback (null once Exit ran).
  std::shared_ptr<ITkCallback> CurrentCallback() const;
  // Long work's steps, told to the callback so the window can repaint.
  WorkProgress ProgressToWindow() const;
  // Adds each file's tracks after the last row, in the given order.
  void AddFilesAtTheEnd(const std::vector<std::wstring>& paths);
  void ReleaseCore();

  const std::shared_ptr<ITkSettings> settings_;
  const Options options_;

  std::atomic<bool> initialised_{false};
  // The user interface's objects; the notification link reads them from
  // the playback thread, so they change under uiMutex_.
  mutable std::mutex uiMutex_;
  std::shared_ptr<ITkCallback> callback_;
  ITkListView* list_ = nullptr;
  IPlaylistViewCtrl* viewControl_ = nullptr;
  ITkFileDialogs* dialogs_ = nullptr;

  std::shared_ptr<CPlaylistCtrl> playlist_;
  std::shared_ptr<CPluginCtrl> plugins_;
  std::shared_ptr<CThrAudioPlay> thread_;
  std::shared_ptr<NotifyLink> link_;
  std::shared_ptr<CAsioWrapperImpl> renderer_;
  std::unique_ptr<Lingering> lingering_;

  std::atomic<bool> audioCd_{false};
  bool previousAudioCd_ = false;
  bool shuffle_ = false;
  std::int32_t repeat_ = 0;
  std::atomic<core::Transport> transport_{core::Transport::kStopped};
  std::atomic<std::int32_t> highlighted_{-1};
  std::atomic<std::uint32_t> trackSeconds_{0};
  std::vector<std::wstring> extensions_;
};
