#include "output/SampleTypeConverters.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "output/Pcm24Kernels.h"
#include "platform/ByteOrder.h"

namespace output {
namespace {

void StoreBE16(std::uint8_t* d, std::uint32_t v) {
  d[0] = static_cast<std::uint8_t>(v >> 8);
  d[1] = static_cast<std::uint8_t>(v);
}
void StoreLE16(std::uint8_t* d, std::uint32_t v) {
  platform::StoreLittleEndian(d, static_cast<std::uint16_t>(v));
}
void StoreBE24(std::uint8_t* d, std::uint32_t v) {
  d[0] = static_cast<std::uint8_t>(v >> 16);
  d[1] = static_cast<std::uint8_t>(v >> 8);
  d[2] = static_cast<std::uint8_t>(v);
}
void StoreLE24(std::uint8_t* d, std::uint32_t v) {
  d[0] = static_cast<std::uint8_t>(v);
  d[1] = static_cast<std::uint8_t>(v >> 8);
  d[2] = static_cast<std::uint8_t>(v >> 16);
}
void StoreBE32(std::uint8_t* d, std::uint32_t v) {
  StoreBE16(d, v >> 16);
  StoreBE16(d + 2, v);
}
void StoreLE32(std::uint8_t* d, std::uint32_t v) {
  platform::StoreLittleEndian(d, v);
}
void StoreBE64(std::uint8_t* d, std::uint64_t v) {
  StoreBE32(d, static_cast<std::uint32_t>(v >> 32));
  StoreBE32(d + 4, static_cast<std::uint32_t>(v));
}
void StoreLE64(std::uint8_t* d, std::uint64_t v) {
  platform::StoreLittleEndian(d, v);
}

std::int32_t Signed(const std::uint32_t* sample) {
  return static_cast<std::int32_t>(*sample);
}

// Full scale 2^31 maps to 1.0; both scalings are exact powers of two.
std::uint32_t AsFloat32Bits(const std::uint32_t* sample) {
  return std::bit_cast<std::uint32_t>(static_cast<float>(Signed(sample)) * 0x1p-31f);
}
std::uint64_t AsFloat64Bits(const std::uint32_t* sample) {
  return std::bit_cast<std::uint64_t>(static_cast<double>(Signed(sample)) * 0x1p-31);
}

std::uint32_t Int16MSB(std::uint8_t* d, const std::uint32_t* s) {
  StoreBE16(d, *s >> 16);
  return 2;
}
std::uint32_t Int24MSB(std::uint8_t* d, const std::uint32_t* s) {
  StoreBE24(d, *s >> 8);
  return 3;
}
std::uint32_t Int32MSB(std::uint8_t* d, const std::uint32_t* s) {
  StoreBE32(d, *s);
  return 4;
}
std::uint32_t Float32MSB(std::uint8_t* d, const std::uint32_t* s) {
  StoreBE32(d, AsFloat32Bits(s));
  return 4;
}
std::uint32_t Float64MSB(std::uint8_t* d, const std::uint32_t* s) {
  StoreBE64(d, AsFloat64Bits(s));
  return 8;
}
template <int Shift>
std::uint32_t Int32MSBShifted(std::uint8_t* d, const std::uint32_t* s) {
  StoreBE32(d, static_cast<std::uint32_t>(Signed(s) >> Shift));
  return 4;
}
std::uint32_t Int16LSB(std::uint8_t* d, const std::uint32_t* s) {
  StoreLE16(d, *s >> 16);
  return 2;
}
std::uint32_t Int24LSB(std::uint8_t* d, const std::uint32_t* s) {
  StoreLE24(d, *s >> 8);
  return 3;
}
std::uint32_t Int32LSB(std::uint8_t* d, const std::uint32_t* s) {
  StoreLE32(d, *s);
  return 4;
}
std::uint32_t Float32LSB(std::uint8_t* d, const std::uint32_t* s) {
  StoreLE32(d, AsFloat32Bits(s));
  return 4;
}
std::uint32_t Float64LSB(std::uint8_t* d, const std::uint32_t* s) {
  StoreLE64(d, AsFloat64Bits(s));
  return 8;
}
template <int Shift>
std::uint32_t Int32LSBShifted(std::uint8_t* d, const std::uint32_t* s) {
  StoreLE32(d, static_cast<std::uint32_t>(Signed(s) >> Shift));
  return 4;
}

// Native DSD intermediate samples hold the DSD bytes in memory order, which
// is time order, each with its earliest bit in bit 7.
std::uint32_t DSDInt8MSB1(std::uint8_t* d, const std::uint32_t* s) {
  std::memcpy(d, s, 4);
  return 4;
}
std::uint32_t DSDInt8LSB1(std::uint8_t* d, const std::uint32_t* s) {
  std::uint32_t v = *s;
  v = (v >> 1 & 0x55555555u) | (v & 0x55555555u) << 1;
  v = (v >> 2 & 0x33333333u) | (v & 0x33333333u) << 2;
  v = (v >> 4 & 0x0F0F0F0Fu) | (v & 0x0F0F0F0Fu) << 4;
  std::memcpy(d, &v, 4);
  return 4;
}
std::uint32_t DSDInt8NER8(std::uint8_t* d, const std::uint32_t* s) {
  std::uint8_t bytes[4];
  std::memcpy(bytes, s, 4);
  for (int byte = 0; byte < 4; ++byte) {
    for (int bit = 0; bit < 8; ++bit)
      *d++ = bytes[byte] >> (7 - bit) & 1;
  }
  return 32;
}

// Each converter writes a fixed number of bytes a sample; knowing it here
// lets the loop run as plain stores the compiler can widen.
template <WriteSampleFn Write, std::size_t Bytes>
std::size_t WriteRun(std::uint8_t* destination, const std::uint32_t* samples, std::size_t count) {
  std::size_t i = 0;
  if constexpr (Write == Int24LSB) {
    i = PackInt24Lsb(destination, samples, count);
    // Four samples are twelve bytes: three whole 32-bit stores.
    for (; i + 4 <= count; i += 4) {
      const std::uint32_t* v = samples + i;
      std::uint8_t* d = destination + i * 3;
      StoreLE32(d, v[0] >> 8 | (v[1] >> 8) << 24);
      StoreLE32(d + 4, v[1] >> 16 | (v[2] >> 8) << 16);
      StoreLE32(d + 8, v[2] >> 24 | (v[3] & 0xFFFFFF00u));
    }
  }
  for (; i < count; ++i)
    Write(destination + i * Bytes, samples + i);
  return count * Bytes;
}

// A type whose bytes are the intermediate sample's own, as it lies in
// memory: a run is a copy.
std::size_t CopyRun(std::uint8_t* destination, const std::uint32_t* samples, std::size_t count) {
  std::memcpy(destination, samples, count * 4);
  return count * 4;
}

template <WriteSampleFn Write, SampleType Type>
constexpr SampleTypeConverter Row(const char* name) {
  return {Type, name, static_cast<std::uint32_t>(AsioSampleTypeBits(Type)), Write,
          WriteRun<Write, BytesPerWriteOf(Type)>};
}

// Rows whose run is a copy on this machine's byte order.
constexpr SampleTypeConverter CopyRow(SampleTypeConverter row) {
  if constexpr (std::endian::native == std::endian::little) row.writeRun = CopyRun;
  return row;
}

constexpr std::array kConverters{
    Row<Int16MSB, kAsioInt16Msb>("Int16MSB"),
    Row<Int24MSB, kAsioInt24Msb>("Int24MSB"),
    Row<Int32MSB, kAsioInt32Msb>("Int32MSB"),
    Row<Float32MSB, kAsioFloat32Msb>("Float32MSB"),
    Row<Float64MSB, kAsioFloat64Msb>("Float64MSB"),
    Row<Int32MSBShifted<16>, kAsioInt32Msb16>("Int32MSB16"),
    Row<Int32MSBShifted<14>, kAsioInt32Msb18>("Int32MSB18"),
    Row<Int32MSBShifted<12>, kAsioInt32Msb20>("Int32MSB20"),
    Row<Int32MSBShifted<8>, kAsioInt32Msb24>("Int32MSB24"),
    Row<Int16LSB, kAsioInt16Lsb>("Int16LSB"),
    Row<Int24LSB, kAsioInt24Lsb>("Int24LSB"),
    CopyRow(Row<Int32LSB, kAsioInt32Lsb>("Int32LSB")),
    Row<Float32LSB, kAsioFloat32Lsb>("Float32LSB"),
    Row<Float64LSB, kAsioFloat64Lsb>("Float64LSB"),
    Row<Int32LSBShifted<16>, kAsioInt32Lsb16>("Int32LSB16"),
    Row<Int32LSBShifted<14>, kAsioInt32Lsb18>("Int32LSB18"),
    Row<Int32LSBShifted<12>, kAsioInt32Lsb20>("Int32LSB20"),
    Row<Int32LSBShifted<8>, kAsioInt32Lsb24>("Int32LSB24"),
    Row<DSDInt8LSB1, kAsioDsdInt8Lsb1>("DSDInt8LSB1"),
    CopyRow(Row<DSDInt8MSB1, kAsioDsdInt8Msb1>("DSDInt8MSB1")),
    Row<DSDInt8NER8, kAsioDsdInt8Ner8>("DSDInt8NER8"),
};
static_assert(kConverters.size() == 21);
// Every row is a type the driver API sizes buffers for.
static_assert(std::ranges::all_of(kConverters, [](const auto& row) { return row.bits > 0; }));

}  // namespace

std::span<const SampleTypeConverter> SampleTypeConverters() {
  return kConverters;
}

const SampleTypeConverter* FindSampleTypeConverter(std::int32_t type) {
  for (const auto& row : kConverters) {
    if (row.type == type) return &row;
  }
  return nullptr;
}

}  // namespace output
