#include "core/PlaylistCtrl.h"

#include <algorithm>

#include "core/PlaylistFile.h"
#include "platform/Paths.h"
#include "platform/TextCompare.h"
#include "sources/MusicErrors.h"
#include "sources/SourceFactory.h"

CPlaylistCtrl::CPlaylistCtrl(std::shared_ptr<CPlaylistCtrlImpl> impl,
                             std::shared_ptr<CPluginCtrl> plugins)
    : impl_(std::move(impl)), plugins_(std::move(plugins)) {}

std::int32_t CPlaylistCtrl::AddFile(const std::wstring& path, std::int32_t index) {
  TrackInfo item;
  item.path = path;
  item.fileName = platform::FileName(path);
  auto source = createSource_ ? createSource_(path) : CreateSourceForPath(path, plugins_);
  if (!source) return 0;
  // Listing opens with the default parameters: gapless off, -96 dB.
  if (const std::int32_t code = source->Open({.path = path}); code != kMusicOk) {
    if (code != kMusicErrParam && code != kMusicErrSequence && reportError_) {
      reportError_(FormatOpenError(code, path, *source));
    }
    return 0;
  }
  std::int32_t tracks = 0;
  if (source->GetTrackCount(&tracks) != kMusicOk) tracks = 0;

  std::int32_t added = 0;
  for (std::int32_t t = 0; t < tracks; ++t) {
    TrackInfo track;
    if (source->GetTrackInfo(t, &track) != kMusicOk) continue;
    // A cue sheet's tracks name the audio file they play from; a track
    // without a path keeps the previous one.
    if (!track.path.empty()) item.path = track.path;
    if (!track.fileName.empty()) item.fileName = track.fileName;
    item.type = track.type;
    item.formatName = track.formatName;
    item.totalBytes = track.totalBytes;
    item.title = track.title;
    item.artist = track.artist;
    item.format = track.format;
    item.length = track.length;
    item.start = track.start;
    item.end = track.end;
    InsertAt(item, std::max(index, 0) + added);
    ++added;
  }
  return added;
}

std::int32_t CPlaylistCtrl::AddPathList(std::vector<std::wstring> paths, std::int32_t index,
                                        const WorkProgress& progress) {
  const std::int32_t count = Count();
  if (index < 0 || index > count) index = count;
  std::stable_sort(paths.begin(), paths.end(), [](const std::wstring& a, const std::wstring& b) {
    return platform::CompareNatural(a, b) < 0;
  });
  std::int32_t added = 0;
  for (std::size_t done = 0; done < paths.size(); ++done) {
    const std::wstring& path = paths[done];
    if (!platform::EqualsIgnoringCase(platform::FileExtension(path), L".ppl")) {
      added += AddFile(path, index + added);
    } else if (std::vector<TrackInfo> items; ReadPlaylistFile(path, &items, plugins_)) {
      for (const auto& item : items) {
        InsertAt(item, index + added);
        ++added;
      }
    }
    if (progress) progress(done + 1, paths.size());
  }
  return added;
}

void CPlaylistCtrl::InsertAt(const TrackInfo& item, std::int32_t row) {
  row = std::min(row, Count());
  if (insertRow_) insertRow_(item, row);
  impl_->Insert(item, row);
  impl_->SetModified(true);
}
