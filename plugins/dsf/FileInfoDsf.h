#pragma once

#include "plugins/common/FileInfoDsd.h"

// DSF (DSD Stream File) version 1: three fixed chunks, an optional ID3v2 tag
// at the end, and sample data interleaved in 4096-byte blocks per channel,
// each byte holding eight 1-bit samples, the earliest in its lowest bit.
class CFileInfo_DSF : public CFileInfo_DSD {
 public:
  static constexpr std::uint32_t kBlockSize = 4096;
  static constexpr std::int32_t kAlignmentFrames = 2048;

  CFileInfo_DSF();

  int32_t ParseHeaders() override;
  int32_t ReadDop(void** data, uint32_t* size) override;
  int32_t ReadRawWords(void** data, uint32_t* size) override;

 private:
  // Walks the blocks of the selected range and hands each frame's bytes per
  // channel (bytesPerFrame_ of them, in time order, MSB-first) to `emit`.
  template <typename Emit>
  int32_t ReadRange(void** data, uint32_t* size, Emit emit);

  bool lsbFirst_ = true;  // 1-bit files store the earliest bit lowest
};
