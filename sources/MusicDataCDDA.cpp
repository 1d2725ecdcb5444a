#include "sources/MusicDataCDDA.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "sources/BuiltInSources.h"

namespace {

using platform::kCdSectorBytes;

// The drive reads 15 sectors (35280 bytes) per command, and a Read delivers
// at most one second.
constexpr std::uint64_t kSectorsPerCommand = 15;
constexpr std::uint64_t kSectorsPerRead = kFramesPerSecond;
// 1200 kB/s, about 7x: fast enough to play, quiet enough to listen to.
constexpr int kReadSpeedKilobytes = 1200;

constexpr WAVEFORMATEX kCdFormat = {WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};

std::wstring TrackTitle(int number) {
  wchar_t title[16];
  std::swprintf(title, std::size(title), L"CD Track %02d", number);
  return title;
}

}  // namespace

std::vector<CddaTrack> ListAudioTracks(const platform::CdToc& toc) {
  std::vector<CddaTrack> tracks;
  for (std::size_t i = 0; i < toc.tracks.size() && tracks.size() < platform::kCdMaxTracks; ++i) {
    const platform::CdTocTrack& entry = toc.tracks[i];
    if (!entry.audio) continue;
    const std::uint32_t next = i + 1 < toc.tracks.size() ? toc.tracks[i + 1].start : toc.leadOut;
    // Nothing of a track lies past the lead-out, whatever the next entry says.
    const std::uint32_t end = std::min(next, toc.leadOut);
    if (end <= entry.start) continue;
    tracks.push_back({.number = entry.number, .start = entry.start, .end = end - 1});
  }
  return tracks;
}

CMusicDataCDDA::CMusicDataCDDA() = default;

CMusicDataCDDA::~CMusicDataCDDA() {
  std::lock_guard lock(platform::CdAccessLock());
  device_.Close();
}

TrackInfo CMusicDataCDDA::MakeTrackInfo(const CddaTrack& track) const {
  TrackInfo info;
  info.path = drive_;
  info.fileName = drive_;
  info.type = kCdSourceKind.type;
  info.formatName = kCdSourceKind.formatName;
  info.title = TrackTitle(track.number);
  info.format = kCdFormat;
  info.start = track.start;
  info.end = track.end;
  info.length = track.end - track.start + 1;
  // No disc comes near it, but an image could: the size saturates rather
  // than wrap.
  info.totalBytes = static_cast<std::uint32_t>(std::min<std::uint64_t>(
      std::uint64_t{info.length} * kCdSectorBytes, std::numeric_limits<std::uint32_t>::max()));
  return info;
}

std::int32_t CMusicDataCDDA::Open(const MusicOpenParams& params) {
  drive_ = params.path;
  tracks_.clear();
  std::lock_guard lock(platform::CdAccessLock());
  if (!device_.Open(drive_)) return kMusicErrOpen;
  const std::optional<platform::CdToc> toc = device_.ReadToc();
  if (!toc) {
    device_.Close();
    return kMusicErrOpen;
  }
  for (const CddaTrack& track : ListAudioTracks(*toc))
    tracks_.push_back(MakeTrackInfo(track));
  device_.SetSpeed(kReadSpeedKilobytes);
  return kMusicOk;
}

std::int32_t CMusicDataCDDA::GetTrackCount(std::int32_t* count) {
  if (count == nullptr) return kMusicErrParam;
  *count = static_cast<std::int32_t>(tracks_.size());
  return kMusicOk;
}

std::int32_t CMusicDataCDDA::GetTrackInfo(std::int32_t index, TrackInfo* info) {
  if (info == nullptr || index < 0 || static_cast<std::size_t>(index) >= tracks_.size()) {
    return kMusicErrParam;
  }
  CopyReportedFields(tracks_[static_cast<std::size_t>(index)], *info, true);
  return kMusicOk;
}

std::int32_t CMusicDataCDDA::SetPlayRange(std::uint32_t first, std::uint32_t last,
                                          std::uint32_t offset) {
  rangeStart_ = RangeStartFrame(first, last, offset);
  current_ = rangeStart_;
  last_ = last;
  return kMusicOk;
}

std::int32_t CMusicDataCDDA::Read(void** data, std::uint32_t* size) {
  if (data == nullptr || size == nullptr) return kMusicErrParam;
  *data = nullptr;
  *size = 0;
  if (current_ > last_) return kMusicEndOfRange;
  return ReadSectors(current_, std::min(last_ - current_ + 1, kSectorsPerRead), data, size);
}

std::int32_t CMusicDataCDDA::ReadAll(void** data, std::uint32_t* size) {
  if (data == nullptr || size == nullptr) return kMusicErrParam;
  *data = nullptr;
  *size = 0;
  if (rangeStart_ > last_) return kMusicEndOfRange;
  return ReadSectors(rangeStart_, last_ - rangeStart_ + 1, data, size);
}

std::int32_t CMusicDataCDDA::ReadSectors(std::uint64_t from, std::uint64_t sectors, void** data,
                                         std::uint32_t* size) {
  const std::uint64_t bytes = sectors * kCdSectorBytes;
  if (bytes > std::numeric_limits<std::uint32_t>::max()) return kMusicErrTooLarge;

  std::lock_guard lock(platform::CdAccessLock());
  if (!device_.IsOpen()) {
    // Closed by a failed read (a disc taken out, say): try the drive again.
    if (!device_.Open(drive_)) return kMusicErrOpen;
    device_.SetSpeed(kReadSpeedKilobytes);
  }
  auto* buffer = static_cast<std::uint8_t*>(AllocBuffer(static_cast<std::uint32_t>(bytes)));
  if (buffer == nullptr) return kMusicErrMemory;

  for (std::uint64_t done = 0; done < sectors;) {
    const std::uint64_t count = std::min(sectors - done, kSectorsPerCommand);
    if (!device_.ReadAudio(static_cast<std::uint32_t>(from + done),
                           static_cast<std::uint32_t>(count), buffer + done * kCdSectorBytes)) {
      // The position stays where this chunk began, so a read after the disc
      // is back delivers it whole and nothing is skipped.
      FreeBuffer(buffer);
      device_.Close();
      return kMusicErrRead;
    }
    done += count;
  }
  current_ = from + sectors;
  *data = buffer;
  *size = static_cast<std::uint32_t>(bytes);
  return kMusicOk;
}
