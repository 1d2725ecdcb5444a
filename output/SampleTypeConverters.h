#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "output/AsioApi.h"

// Writing intermediate samples (see SamplePacking.h) in the sample types a
// driver may ask for. MSB types are big-endian, LSB types little-endian; the
// shifted 32-bit types carry fewer significant bits right-justified.

namespace output {

// The driver's sample types are the table's keys: one numbering for both.
using SampleType = AsioSampleType;

// Writes one intermediate sample at destination; returns the bytes written.
using WriteSampleFn = std::uint32_t (*)(std::uint8_t* destination, const std::uint32_t* sample);
// Writes count samples back to back; returns the bytes written.
using WriteSampleRunFn = std::size_t (*)(std::uint8_t* destination, const std::uint32_t* samples,
                                         std::size_t count);

struct SampleTypeConverter {
  SampleType type;
  const char* name;
  std::uint32_t bits;  // AsioSampleTypeBits: sizes a driver buffer, bits x frames / 8 bytes
  WriteSampleFn write;
  WriteSampleRunFn writeRun;  // the same bytes as `write`, a run at a time
};

// All 21 rows.
std::span<const SampleTypeConverter> SampleTypeConverters();

// The row for a sample type, or null for a type we cannot write (that
// channel then plays silence).
const SampleTypeConverter* FindSampleTypeConverter(std::int32_t type);

// The bytes one write of a sample type produces: one PCM sample, or 32 DSD
// bits.
constexpr std::size_t BytesPerWriteOf(std::int32_t type) {
  return (AsioSampleTypeIsDsd(type) ? 32 : 1) * static_cast<std::size_t>(AsioSampleTypeBits(type)) /
         8;
}
constexpr std::size_t BytesPerWrite(const SampleTypeConverter& converter) {
  return BytesPerWriteOf(converter.type);
}

}  // namespace output
