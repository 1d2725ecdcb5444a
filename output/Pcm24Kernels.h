#pragma once

#include <cstddef>
#include <cstdint>

// Vector kernels for 24-bit PCM, the one sample width whose three-byte
// stride the compiler cannot widen on its own. Each does a leading part of
// the run (a multiple of four samples, nothing where the CPU lacks the
// instructions) and returns how many samples it did; the caller finishes
// the run with its plain loop.

namespace output {

// Intermediate samples (left-justified to 32 bits) of one channel of
// interleaved stereo 24-bit PCM: the sample of frame i lies at p + 6 i. Reads
// nothing past the last sample's three bytes.
std::size_t DecodeStereoPcm24(const std::uint8_t* p, std::size_t count, std::uint32_t* out);

// Intermediate samples as Int24LSB (the top three bytes, little-endian),
// three bytes each; writes nothing past the samples it did.
std::size_t PackInt24Lsb(std::uint8_t* destination, const std::uint32_t* samples,
                         std::size_t count);

}  // namespace output
