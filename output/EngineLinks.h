#pragma once

#include <cstdint>
#include <vector>

#include "output/SampleFormat.h"

// What the output engine needs from the player core above it.

// The decoded blocks the feeder plays, taken one at a time for a slot.
class IBlockSource {
 public:
  // 0 with the next block of `slot` (its data in `buffer`, or null data for
  // the empty block that ends the track); any other value when none is ready.
  virtual std::uint32_t PopBlock(output::BlockDescription* block, std::vector<std::uint8_t>* buffer,
                                 std::uint32_t slot) = 0;
  virtual ~IBlockSource() = default;
};

// Receives the whole seconds played of the current track.
class IPositionSink {
 public:
  virtual void OnOutputPosition(std::uint32_t seconds) = 0;
  virtual ~IPositionSink() = default;
};
