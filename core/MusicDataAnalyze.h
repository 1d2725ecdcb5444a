#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "sources/MusicData.h"
#include "sources/TrackInfo.h"
#include "sources/WaveFormatEx.h"

class CPluginCtrl;

namespace core {

// What a track slot opens: the item's source type code and path, with the
// plug-in host for plug-in sources and the MP3 gapless settings.
struct OpenTrackRequest {
  std::shared_ptr<CPluginCtrl> plugins;
  std::int32_t type = 0;
  std::wstring path;
  bool gapless = false;
  double threshold = -96.0;
};

// One track slot: the source of the item it plays and the part of the file
// the track covers. The decoder worker reads it while the playback thread
// may seek it, so every call into the source holds the slot's source lock.
class CMusicDataAnalyze {
 public:
  // Makes the unopened source for a type code; null when none serves it.
  using SourceMaker = std::function<std::unique_ptr<CMusicData>(
      std::int32_t type, const std::wstring& path, const std::shared_ptr<CPluginCtrl>& plugins)>;

  // Sources come from CreateSourceForType unless `maker` is given.
  explicit CMusicDataAnalyze(SourceMaker maker = nullptr);
  ~CMusicDataAnalyze();
  CMusicDataAnalyze(const CMusicDataAnalyze&) = delete;
  CMusicDataAnalyze& operator=(const CMusicDataAnalyze&) = delete;

  // Replaces any previous source by a new one for the request's type and
  // opens it; kMusicErrParam for a type without a source. On success the
  // track's record and format are kept and the range is the whole track.
  std::int32_t OpenTrack(const OpenTrackRequest& request);
  // Sets the source's play range; kMusicErrSequence before a source is open.
  std::int32_t SetTrackRange(std::uint32_t position, std::uint32_t start, std::uint32_t end);
  // The next chunk; kMusicEndOfRange when the source succeeds with no data.
  std::int32_t Read(void** data, std::uint32_t* size);
  void ReleaseChunk(void* data);
  // The source's answers, asked once when it opened.
  bool IsMultiInstance() const;
  bool IsDsd() const;
  // The bytes left from the position to the end of the range, estimated
  // from the track's total size and length, in whole sample frames.
  std::uint32_t ExpectedBytes();

  bool IsOpen() const;
  WAVEFORMATEX Format() const;
  TrackInfo Track() const;
  // The path the source was opened from (not every source's record has it).
  std::wstring Path() const;
  std::uint32_t RangeStart() const;
  std::uint32_t RangeEnd() const;
  std::uint32_t Position() const;

 private:
  SourceMaker maker_;
  // Serialises the calls into the source; held through a whole read.
  mutable std::mutex sourceLock_;
  std::unique_ptr<CMusicData> source_;
  // Guards the copies below (taken after the source lock, never before), so
  // the playback thread reads them without waiting for a read in progress.
  mutable std::mutex recordLock_;
  bool open_ = false;
  bool isDsd_ = false;
  bool multiInstance_ = false;
  WAVEFORMATEX format_{};
  TrackInfo track_;
  std::wstring path_;
  std::uint32_t rangeStart_ = 0;
  std::uint32_t rangeEnd_ = 0;
  std::uint32_t position_ = 0;
};

// The estimate behind ExpectedBytes: `totalBytes` spread over `length` CD
// frames, for the frames from start + position to end (inclusive), rounded
// down to whole blocks of `blockAlign`. 64-bit throughout, cut to 32 bits.
std::uint32_t ExpectedTrackBytes(std::uint32_t totalBytes, std::uint32_t length,
                                 std::uint16_t blockAlign, std::uint32_t start, std::uint32_t end,
                                 std::uint32_t position);

}  // namespace core
