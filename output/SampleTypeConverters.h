#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// Writing intermediate samples (see SamplePacking.h) in the sample types a
// driver may ask for. MSB types are big-endian, LSB types little-endian; the
// shifted 32-bit types carry fewer significant bits right-justified.

namespace output {

enum SampleType : std::int32_t {
  kSampleInt16MSB = 0,
  kSampleInt24MSB = 1,
  kSampleInt32MSB = 2,
  kSampleFloat32MSB = 3,
  kSampleFloat64MSB = 4,
  kSampleInt32MSB16 = 8,
  kSampleInt32MSB18 = 9,
  kSampleInt32MSB20 = 10,
  kSampleInt32MSB24 = 11,
  kSampleInt16LSB = 16,
  kSampleInt24LSB = 17,
  kSampleInt32LSB = 18,
  kSampleFloat32LSB = 19,
  kSampleFloat64LSB = 20,
  kSampleInt32LSB16 = 24,
  kSampleInt32LSB18 = 25,
  kSampleInt32LSB20 = 26,
  kSampleInt32LSB24 = 27,
  kSampleDSDInt8LSB1 = 32,  // the DSD bytes in time order, earliest bit in bit 0
  kSampleDSDInt8MSB1 = 33,  // the DSD bytes in time order, earliest bit in bit 7
  kSampleDSDInt8NER8 = 40,  // one byte of value 0 or 1 per DSD bit, in time order
};

// Writes one intermediate sample at destination; returns the bytes written.
using WriteSampleFn = std::uint32_t (*)(std::uint8_t* destination, const std::uint32_t* sample);
// Writes count samples back to back; returns the bytes written.
using WriteSampleRunFn = std::size_t (*)(std::uint8_t* destination, const std::uint32_t* samples,
                                         std::size_t count);

struct SampleTypeConverter {
  SampleType type;
  const char* name;
  std::uint32_t bits;  // sizes a driver buffer: bits x frames / 8 bytes
  WriteSampleFn write;
  WriteSampleRunFn writeRun;  // the same bytes as `write`, a run at a time
};

// All 21 rows.
std::span<const SampleTypeConverter> SampleTypeConverters();

// The row for a sample type, or null for a type we cannot write (that
// channel then plays silence).
const SampleTypeConverter* FindSampleTypeConverter(std::int32_t type);

}  // namespace output
