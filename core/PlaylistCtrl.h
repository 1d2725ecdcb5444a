#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/PlaylistCtrlImpl.h"
#include "core/WorkProgress.h"
#include "sources/MusicData.h"

class CPluginCtrl;

// The playlist as its users hold it: the facade, the playback thread and the
// user interface share one controller, which forwards to the shared
// implementation (where the lock lives) and adds the operations that open
// files. Those open and read files without holding the playlist lock, and
// call the row inserter and the error reporter without it too.
class CPlaylistCtrl {
 public:
  // Called before an item is inserted at `row`, so that the list view gets
  // its row first.
  using RowInserter = std::function<void(const TrackInfo& item, std::int32_t row)>;
  // Shows a text to the user (the application's error report).
  using ErrorReporter = std::function<void(const std::wstring& text)>;
  // A new, unopened source for a path.
  using SourceCreator = std::function<std::unique_ptr<CMusicData>(const std::wstring& path)>;

  // Files are opened through CreateSourceForPath with `plugins` (may be null).
  CPlaylistCtrl(std::shared_ptr<CPlaylistCtrlImpl> impl, std::shared_ptr<CPluginCtrl> plugins);

  // Hooks are set on the window thread before files are added.
  void SetRowInserter(RowInserter inserter) { insertRow_ = std::move(inserter); }
  void SetErrorReporter(ErrorReporter reporter) { reportError_ = std::move(reporter); }
  // Replaces CreateSourceForPath for AddFile (tests stand in sources no
  // file format provides yet).
  void SetSourceCreator(SourceCreator creator) { createSource_ = std::move(creator); }

  const std::shared_ptr<CPlaylistCtrlImpl>& impl() const { return impl_; }
  const std::shared_ptr<CPluginCtrl>& plugins() const { return plugins_; }

  // Adds the tracks of one file at rows `index`, `index` + 1, ... (0, 1, ...
  // when `index` is negative) and returns how many were added. A file
  // without a source adds nothing; one that fails to open adds nothing and
  // its error goes to the error reporter, except for the codes that mean the
  // source declined the file (kMusicErrParam, kMusicErrSequence).
  std::int32_t AddFile(const std::wstring& path, std::int32_t index);
  // Adds dropped or handed-over paths at `index` (negative: at the end),
  // sorted in natural order; playlist files (".ppl" in any case) are
  // expanded into their items. Returns the number of items added.
  // `progress` hears after every path how many of them are done.
  std::int32_t AddPathList(std::vector<std::wstring> paths, std::int32_t index,
                           const WorkProgress& progress = {});

  std::int32_t Count() const { return impl_->Count(); }
  bool IsModified() const { return impl_->IsModified(); }
  bool IsShuffle() const { return impl_->IsShuffle(); }
  std::int32_t PlayPosition() const { return impl_->PlayPosition(); }
  std::int32_t CurrentItem() const { return impl_->CurrentItem(); }
  std::int32_t NextItem() const { return impl_->NextItem(); }
  std::int32_t GetItem(std::int32_t index, TrackInfo* out) const {
    return impl_->GetItem(index, out);
  }
  std::vector<TrackInfo> Items() const { return impl_->Items(); }
  void VisitItems(const std::function<void(const TrackInfo&)>& visit) const {
    impl_->VisitItems(visit);
  }
  std::vector<std::int32_t> PlayOrder() const { return impl_->PlayOrder(); }
  std::uint64_t PlayedSeconds() const { return impl_->PlayedSeconds(); }
  bool AllUnplayable() const { return impl_->AllUnplayable(); }

  void SetModified(bool modified) { impl_->SetModified(modified); }
  void RemoveAll() { impl_->RemoveAll(); }
  void Append(const TrackInfo& item) { impl_->Append(item); }
  void Insert(const TrackInfo& item, std::int32_t index) { impl_->Insert(item, index); }
  bool Remove(std::int32_t index) { return impl_->Remove(index); }
  bool Move(std::span<const std::int32_t> indices, std::int32_t target) {
    return impl_->Move(indices, target);
  }
  std::int32_t SetPlayPosition(std::int32_t position) { return impl_->SetPlayPosition(position); }
  std::int32_t SetPlayPositionToItem(std::int32_t item) {
    return impl_->SetPlayPositionToItem(item);
  }
  std::int32_t MarkUnplayable(std::int32_t item) { return impl_->MarkUnplayable(item); }
  void ClearUnplayable() { impl_->ClearUnplayable(); }
  void RebuildOrder(bool shuffle, std::int32_t pinned) { impl_->RebuildOrder(shuffle, pinned); }

 private:
  // Gives the list view its row, then inserts the item and marks the change.
  void InsertAt(const TrackInfo& item, std::int32_t row);

  std::shared_ptr<CPlaylistCtrlImpl> impl_;
  std::shared_ptr<CPluginCtrl> plugins_;
  RowInserter insertRow_;
  ErrorReporter reportError_;
  SourceCreator createSource_;
};
