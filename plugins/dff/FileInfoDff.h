#pragma once

#include "plugins/common/FileInfoDsd.h"

// DSDIFF 1.5 (FRM8 form "DSD "): big-endian chunks with 64-bit sizes; the
// properties in PROP/SND (FS, CHNL, CMPR), uncompressed sample data in the
// "DSD " chunk, one byte of each channel in turn with the earliest sample in
// the highest bit, and title and artist in DIIN or an "ID3 " chunk. Every
// size is held against the file's real size before anything is read.
class CFileInfo_DFF : public CFileInfo_DSD {
 public:
  static constexpr std::int32_t kAlignmentFrames = 2048;

  CFileInfo_DFF();

  // Refuses DST-compressed files, which this reader cannot decode.
  int32_t ParseHeaders() override;
  int32_t ReadDop(void** data, uint32_t* size) override;
  int32_t ReadRawWords(void** data, uint32_t* size) override;

  static constexpr const char* kDstRefusal = "DST-compressed DSDIFF files cannot be played.";

 private:
  struct ChunkHeader {
    char id[4];
    std::uint64_t bodyOffset;
    std::uint64_t size;
  };
  // The chunk at `offset` when its header and body lie wholly before `end`
  // (the sound data chunk may claim more: what the file holds plays).
  bool ReadChunkHeader(std::uint64_t offset, std::uint64_t end, ChunkHeader* chunk,
                       bool mayOverrun = false);
  void ReadProperties(std::uint64_t offset, std::uint64_t end, char compression[4]);
  void ReadInfoTexts(std::uint64_t offset, std::uint64_t end);
  template <typename Emit>
  int32_t ReadRange(void** data, uint32_t* size, Emit emit);
};
