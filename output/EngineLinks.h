#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "output/SampleFormat.h"
#include "platform/Event.h"

// What the output engine needs from the player core above it.

// The decoded blocks the feeder plays, taken one at a time for a slot.
class IBlockSource {
 public:
  // 0 with the next block of `slot` (its data in `buffer`, or null data for
  // the empty block that ends the track); any other value when none is ready.
  virtual std::uint32_t PopBlock(output::BlockDescription* block, std::vector<std::uint8_t>* buffer,
                                 std::uint32_t slot) = 0;
  // An auto-reset event the source sets, from any thread, whenever PopBlock
  // may find a block where it found none: a block was queued, or a slot's
  // blocks were cleared so that the other slot's come first. The feeder
  // waits on it when it found nothing, and sets it itself to wake up for a
  // flush request or a stop. The same event for the source's lifetime.
  virtual std::shared_ptr<platform::Event> BlockArrival() = 0;
  virtual ~IBlockSource() = default;
};

// Receives the whole seconds played of the current track.
class IPositionSink {
 public:
  virtual void OnOutputPosition(std::uint32_t seconds) = 0;
  virtual ~IPositionSink() = default;
};
