#ifndef QP_SOURCES_WAVEFORMATEX_H
#define QP_SOURCES_WAVEFORMATEX_H

/* The 18-byte wave format record as stored in RIFF "fmt " chunks and handed
   across the plug-in boundary: packed, little-endian fields. Plain C so that
   plug-ins built by any compiler can share it. */

#include <stdint.h>

#pragma pack(push, 1)
typedef struct WAVEFORMATEX {
  uint16_t wFormatTag;
  uint16_t nChannels;
  uint32_t nSamplesPerSec;
  uint32_t nAvgBytesPerSec;
  uint16_t nBlockAlign;
  uint16_t wBitsPerSample;
  uint16_t cbSize;
} WAVEFORMATEX;
#pragma pack(pop)

#define WAVE_FORMAT_PCM 0x0001
#define WAVE_FORMAT_IEEE_FLOAT 0x0003
#define WAVE_FORMAT_EXTENSIBLE 0xFFFE

#ifdef __cplusplus
static_assert(sizeof(WAVEFORMATEX) == 18, "WAVEFORMATEX must be 18 bytes");
#else
_Static_assert(sizeof(WAVEFORMATEX) == 18, "WAVEFORMATEX must be 18 bytes");
#endif

#endif
