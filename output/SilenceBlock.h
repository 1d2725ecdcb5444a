#pragma once

#include <cstdint>
#include <vector>

#include "output/SampleFormat.h"

namespace output {

// A block of digital silence `seconds` long in the format of `format` (its
// code, channel count, rate and slot are copied), kept in `storage`, which is
// resized to exactly the block's bytes. PCM silence is zero bytes, DSD
// silence 0x96 bytes. A code without a class, or a size past 32 bits, gives
// an all-empty record. A block of 0 bytes (no frames, or a width the builder
// does not know) has null data: it must not be queued, as the queue reads an
// empty block as the end of a track.
BlockDescription MakeSilenceBlock(const BlockDescription& format, double seconds,
                                  std::vector<std::uint8_t>& storage);

}  // namespace output
