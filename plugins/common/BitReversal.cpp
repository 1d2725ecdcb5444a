#include "plugins/common/BitReversal.h"

#include <cstring>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace ppi {
namespace {

std::uint8_t ReverseByte(std::uint32_t v) {
  v = (v >> 1 & 0x55u) | (v & 0x55u) << 1;
  v = (v >> 2 & 0x33u) | (v & 0x33u) << 2;
  return static_cast<std::uint8_t>((v >> 4 & 0x0Fu) | (v & 0x0Fu) << 4);
}

// Eight bytes a step with masks and shifts; the compiler widens it to the
// vector registers every CPU of the architecture has.
void ReversePortable(std::uint8_t* bytes, std::size_t size) {
  std::size_t at = 0;
  for (; at + 8 <= size; at += 8) {
    std::uint64_t v;
    std::memcpy(&v, bytes + at, 8);
    v = (v >> 1 & 0x5555555555555555u) | (v & 0x5555555555555555u) << 1;
    v = (v >> 2 & 0x3333333333333333u) | (v & 0x3333333333333333u) << 2;
    v = (v >> 4 & 0x0F0F0F0F0F0F0F0Fu) | (v & 0x0F0F0F0F0F0F0F0Fu) << 4;
    std::memcpy(bytes + at, &v, 8);
  }
  for (; at < size; ++at)
    bytes[at] = ReverseByte(bytes[at]);
}

#if defined(__x86_64__)

// Each nibble's reversal, as pshufb looks it up: the low nibble's lands
// high, the high nibble's low.
alignas(16) constexpr std::uint8_t kLowNibbleReversed[16] = {
    0x00, 0x80, 0x40, 0xC0, 0x20, 0xA0, 0x60, 0xE0, 0x10, 0x90, 0x50, 0xD0, 0x30, 0xB0, 0x70, 0xF0};
alignas(16) constexpr std::uint8_t kHighNibbleReversed[16] = {
    0x0, 0x8, 0x4, 0xC, 0x2, 0xA, 0x6, 0xE, 0x1, 0x9, 0x5, 0xD, 0x3, 0xB, 0x7, 0xF};

__attribute__((target("ssse3"))) __m128i Table(const std::uint8_t (&table)[16]) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(table));
}

__attribute__((target("ssse3"))) void ReverseSsse3(std::uint8_t* bytes, std::size_t size) {
  const __m128i high = Table(kLowNibbleReversed);
  const __m128i low = Table(kHighNibbleReversed);
  const __m128i nibble = _mm_set1_epi8(0x0F);
  std::size_t at = 0;
  for (; at + 16 <= size; at += 16) {
    auto* p = reinterpret_cast<__m128i*>(bytes + at);
    const __m128i v = _mm_loadu_si128(p);
    const __m128i reversed =
        _mm_or_si128(_mm_shuffle_epi8(high, _mm_and_si128(v, nibble)),
                     _mm_shuffle_epi8(low, _mm_and_si128(_mm_srli_epi16(v, 4), nibble)));
    _mm_storeu_si128(p, reversed);
  }
  ReversePortable(bytes + at, size - at);
}

// vzeroupper on the way out: SSE code after 256-bit code runs slowly until
// the upper halves are cleared.
__attribute__((target("avx2"))) void ReverseAvx2(std::uint8_t* bytes, std::size_t size) {
  const __m256i high = _mm256_broadcastsi128_si256(Table(kLowNibbleReversed));
  const __m256i low = _mm256_broadcastsi128_si256(Table(kHighNibbleReversed));
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  std::size_t at = 0;
  for (; at + 32 <= size; at += 32) {
    auto* p = reinterpret_cast<__m256i*>(bytes + at);
    const __m256i v = _mm256_loadu_si256(p);
    const __m256i reversed = _mm256_or_si256(
        _mm256_shuffle_epi8(high, _mm256_and_si256(v, nibble)),
        _mm256_shuffle_epi8(low, _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble)));
    _mm256_storeu_si256(p, reversed);
  }
  _mm256_zeroupper();
  ReversePortable(bytes + at, size - at);
}

#endif

std::vector<BitReversalWay> WaysOfThisCpu() {
  std::vector<BitReversalWay> ways;
#if defined(__x86_64__)
  if (__builtin_cpu_supports("avx2")) ways.push_back({"AVX2", ReverseAvx2});
  if (__builtin_cpu_supports("ssse3")) ways.push_back({"SSSE3", ReverseSsse3});
#endif
  ways.push_back({"portable", ReversePortable});
  return ways;
}

}  // namespace

std::span<const BitReversalWay> BitReversalWays() {
  static const std::vector<BitReversalWay> ways = WaysOfThisCpu();
  return ways;
}

void ReverseBitsInBytes(std::uint8_t* bytes, std::size_t size) {
  static const ReverseBitsFn fastest = BitReversalWays().front().reverse;
  fastest(bytes, size);
}

}  // namespace ppi
