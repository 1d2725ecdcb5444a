#pragma once

#include <cstdint>

#include "output/SampleFormat.h"
#include "sources/WaveFormatEx.h"

namespace core {

// The format code of the blocks a source delivers, from its wave format and
// its answer to IsDsd: DSD in 4-byte words, integer PCM (format tag 1 or
// 0xFFFE) of 1 to 4 bytes, IEEE float of 4 or 8 bytes. Anything else, and a
// format without channels or block alignment, is kFormatNone: not playable.
std::uint32_t SampleFormatCodeFor(const WAVEFORMATEX& format, bool isDsd);

}  // namespace core
