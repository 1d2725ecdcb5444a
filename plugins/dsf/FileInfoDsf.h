#pragma once

#include <vector>

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
  // Delivers the selected range, raw words or DoP: reads its block groups
  // a few at a time and turns each channel's bytes into delivered words.
  template <bool Dop>
  int32_t ReadRange(void** data, uint32_t* size);

  bool lsbFirst_ = true;                  // 1-bit files store the earliest bit lowest
  std::vector<std::uint8_t> readBuffer_;  // block groups as read, kept between reads
};
