#include "core/SampleFormatCode.h"

namespace core {

std::uint32_t SampleFormatCodeFor(const WAVEFORMATEX& format, bool isDsd) {
  if (format.nChannels == 0 || format.nBlockAlign == 0) return output::kFormatNone;
  const unsigned bytesPerSample = format.nBlockAlign / format.nChannels;
  if (isDsd) return bytesPerSample == 4 ? output::kFormatDsd : output::kFormatNone;
  switch (format.wFormatTag) {
    case WAVE_FORMAT_PCM:
    case WAVE_FORMAT_EXTENSIBLE:
      switch (bytesPerSample) {
        case 1:
          return output::kFormatPcm8;
        case 2:
          return output::kFormatPcm16;
        case 3:
          return output::kFormatPcm24;
        case 4:
          return output::kFormatPcm32;
        default:
          return output::kFormatNone;
      }
    case WAVE_FORMAT_IEEE_FLOAT:
      switch (bytesPerSample) {
        case 4:
          return output::kFormatFloat32;
        case 8:
          return output::kFormatFloat64;
        default:
          return output::kFormatNone;
      }
    default:
      return output::kFormatNone;
  }
}

}  // namespace core
