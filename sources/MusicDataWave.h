#pragma once

#include <cstdint>
#include <string>

#include "platform/RiffReader.h"
#include "sources/MusicData.h"

// RIFF WAVE files: the format chunk is taken as it stands and the sample data
// are delivered unchanged, at most one second per Read.
class CMusicDataWave : public CMusicData {
 public:
  CMusicDataWave();
  ~CMusicDataWave() override;

  const FileTypeInfo* GetFileType() override;
  std::int32_t Open(const MusicOpenParams& params) override;
  std::int32_t GetTrackCount(std::int32_t* count) override;
  std::int32_t GetTrackInfo(std::int32_t index, TrackInfo* info) override;
  std::int32_t SetPlayRange(std::uint32_t first, std::uint32_t last, std::uint32_t offset) override;
  std::int32_t Read(void** data, std::uint32_t* size) override;
  std::int32_t ReadAll(void** data, std::uint32_t* size) override;

 private:
  std::int32_t ParseFile();
  void ReadTags(const platform::RiffChunk& riff);
  void ReadId3Chunk(const platform::RiffChunk& riff);
  void ReadListInfo(const platform::RiffChunk& riff);
  std::wstring ReadInfoText(const platform::RiffChunk& list, std::uint32_t id);
  std::int32_t ReadFormat(const platform::RiffChunk& riff);
  // Bytes of the range and the data chunk still to deliver, in whole blocks.
  std::uint64_t BytesLeftInRange() const;
  std::uint64_t WholeBlocks(std::uint64_t bytes) const;
  std::int32_t ReadIntoNewBuffer(std::uint64_t count, void** data, std::uint32_t* size);

  platform::RiffReader file_;
  TrackInfo info_;
  std::uint32_t dataSize_ = 0;
  std::uint64_t dataOffset_ = 0;
  std::uint32_t bytesPerFrame_ = 1;
  std::uint32_t lastFrame_ = 0;
  std::uint32_t currentFrame_ = 0;
  std::uint32_t consumed_ = 0;
  std::wstring typeDescription_;
  FileTypeInfo fileType_{};
};
