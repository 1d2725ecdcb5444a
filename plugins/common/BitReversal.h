#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// Reversing the bit order of every byte of a buffer in place, the DSF
// plug-in's hottest loop: its 1-bit data stores the earliest sample lowest,
// delivery wants it highest. The fastest way this CPU has is chosen once
// (AVX2 or SSSE3 nibble tables on x86-64, else a portable word loop every
// CPU runs).

namespace ppi {

using ReverseBitsFn = void (*)(std::uint8_t* bytes, std::size_t size);

struct BitReversalWay {
  const char* name;
  ReverseBitsFn reverse;
};

// Every way this CPU can run, fastest first; the portable loop is last and
// always there.
std::span<const BitReversalWay> BitReversalWays();

// The first of BitReversalWays.
void ReverseBitsInBytes(std::uint8_t* bytes, std::size_t size);

}  // namespace ppi
