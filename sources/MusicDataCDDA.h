#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/CdDevice.h"
#include "sources/MusicData.h"

// One audio track as listed from a table of contents: its number on the
// disc and its first and last sector, inclusive.
struct CddaTrack {
  int number = 0;
  std::uint32_t start = 0;
  std::uint32_t end = 0;
};

// The playable audio tracks of a table of contents, in disc order: data
// tracks are left out, each audio track ends where the next track (of any
// kind) or the lead-out begins, whichever comes first, and a track with no
// sector before that is left out too. At most kCdMaxTracks.
std::vector<CddaTrack> ListAudioTracks(const platform::CdToc& toc);

// The audio tracks of a CD in a drive or a disc image, named by the path
// (a device name such as "/dev/sr0" or an image path). Delivers 16-bit
// stereo at 44100 Hz, at most one second (75 sectors) per Read; positions
// are sectors, which are CD frames. Every device access of every CD source
// in the process goes through platform::CdAccessLock.
class CMusicDataCDDA : public CMusicData {
 public:
  CMusicDataCDDA();
  ~CMusicDataCDDA() override;

  std::int32_t Open(const MusicOpenParams& params) override;
  std::int32_t GetTrackCount(std::int32_t* count) override;
  std::int32_t GetTrackInfo(std::int32_t index, TrackInfo* info) override;
  std::int32_t SetPlayRange(std::uint32_t first, std::uint32_t last, std::uint32_t offset) override;
  std::int32_t Read(void** data, std::uint32_t* size) override;
  std::int32_t ReadAll(void** data, std::uint32_t* size) override;

 private:
  TrackInfo MakeTrackInfo(const CddaTrack& track) const;
  // Reads `sectors` from `from` on into a new buffer, and on success moves
  // the current position past them.
  std::int32_t ReadSectors(std::uint64_t from, std::uint64_t sectors, void** data,
                           std::uint32_t* size);

  std::wstring drive_;
  platform::CdDevice device_;
  std::vector<TrackInfo> tracks_;
  // No range yet: nothing to deliver.
  std::uint64_t rangeStart_ = 1;
  std::uint64_t last_ = 0;
  std::uint64_t current_ = 1;
};
