#pragma once

#include <cstddef>
#include <cstdint>

#include "output/SampleTypeConverters.h"

// A DoP run is one stream of DoP words from the device's start to its stop:
// every word written, data or idle, carries the marker of its place in that
// stream (0x05 at an even place, 0xFA at an odd one), whatever marker the
// word came with, so the markers alternate across tracks, joins and idle
// stretches.

namespace output {

// Writes `count` DoP words through `converter`, each with the marker of its
// place (the first word's place has phase `phase`) in place of its own; the
// bytes written.
std::size_t WriteStampedDop(const SampleTypeConverter& converter, std::uint8_t* destination,
                            const std::uint32_t* words, std::size_t count, std::uint32_t phase);

// Writes DoP idle words (marker, 0x96, 0x96) through `converter` into bytes
// [from, bytes) of a half whose first word has phase `phase`, each with the
// marker of its place; a tail shorter than a word is zero.
void WriteDopIdle(const SampleTypeConverter& converter, std::uint8_t* destination, std::size_t from,
                  std::size_t bytes, std::uint32_t phase);

}  // namespace output
