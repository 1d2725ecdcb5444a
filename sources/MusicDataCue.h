#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sources/MusicData.h"

class CPluginCtrl;

// Cue sheets: lists the tracks a sheet cuts out of its WAVE, MP3 and plug-in
// files (the latter through `plugins`; without a registry only WAVE and MP3),
// each as a record of the audio file (its path, type, format and size) with
// the track's first and last CD frame in it. Playback goes through the audio
// file's own source, so this source delivers no audio.
class CMusicDataCue : public CMusicData {
 public:
  // Track numbers a sheet may use: 1 to kMaxTracks.
  static constexpr std::int32_t kMaxTracks = 100;

  explicit CMusicDataCue(std::shared_ptr<CPluginCtrl> plugins = nullptr);
  ~CMusicDataCue() override;

  const FileTypeInfo* GetFileType() override;
  std::int32_t Open(const MusicOpenParams& params) override;
  std::int32_t GetTrackCount(std::int32_t* count) override;
  std::int32_t GetTrackInfo(std::int32_t index, TrackInfo* info) override;

 private:
  // The audio file named by the latest FILE line.
  struct AudioFile {
    std::wstring path;
    std::wstring fileName;
    TrackInfo info;  // the file's own record from its source
  };
  // One TRACK of the sheet; `filled` once a TRACK line named it.
  struct Track {
    bool filled = false;
    TrackInfo info;
    std::uint32_t fileFrames = 0;  // length of its audio file
    std::uint32_t pregap = 0;      // INDEX 00, 0 when absent
  };

  void Reset();
  std::int32_t ParseLine(std::wstring_view line);
  std::int32_t OnFile(const std::vector<std::wstring>& tokens);
  std::int32_t OnTrack(const std::vector<std::wstring>& tokens);
  std::int32_t OnIndex(const std::vector<std::wstring>& tokens);
  void PlaceTrackInFile(Track& track);
  bool InTrack() const { return currentTrack_ >= 1 && currentTrack_ <= kMaxTracks; }
  Track& CurrentTrack() { return tracks_[static_cast<std::size_t>(currentTrack_)]; }
  // Sets every listed track's end and length from where the next track of
  // the same file begins; false when a track does not fit in its file.
  bool SetTrackEnds();

  std::shared_ptr<CPluginCtrl> plugins_;
  std::wstring typeDescription_;
  FileTypeInfo fileType_{};
  std::wstring folder_;  // the sheet's folder with its trailing slash, or empty
  std::wstring albumPerformer_;
  bool haveFile_ = false;
  AudioFile file_;
  std::int32_t currentTrack_ = 0;
  std::int32_t trackCount_ = 0;
  // Index 0 is the part of the sheet before its first TRACK line.
  std::array<Track, kMaxTracks + 1> tracks_;
};
