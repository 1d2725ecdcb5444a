#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "sources/MusicData.h"

class CMp3Stream;

// MP3 files, decoded to 16-bit PCM and trimmed to the samples the encoder
// was given, so consecutive tracks join without gaps; at most one second
// per Read.
class CMusicDataMP3 : public CMusicData {
 public:
  CMusicDataMP3();
  ~CMusicDataMP3() override;

  const FileTypeInfo* GetFileType() override;
  std::int32_t Open(const MusicOpenParams& params) override;
  std::int32_t GetTrackCount(std::int32_t* count) override;
  std::int32_t GetTrackInfo(std::int32_t index, TrackInfo* info) override;
  std::int32_t SetPlayRange(std::uint32_t first, std::uint32_t last, std::uint32_t offset) override;
  std::int32_t Read(void** data, std::uint32_t* size) override;
  std::int32_t ReadAll(void** data, std::uint32_t* size) override;

 private:
  std::unique_ptr<CMp3Stream> stream_;
  TrackInfo info_;
  std::wstring typeDescription_;
  FileTypeInfo fileType_{};
  std::uint32_t first_ = 0;
  std::uint32_t last_ = 0;
  std::uint32_t offset_ = 0;
  bool seekPending_ = false;
};
