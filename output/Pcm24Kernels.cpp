#include "output/Pcm24Kernels.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace output {

#if defined(__x86_64__)
namespace {

bool HasSsse3() {
  static const bool has = __builtin_cpu_supports("ssse3");
  return has;
}

// pshufb index -1 (0x80) gives a zero byte.
__attribute__((target("ssse3"))) std::size_t DecodeStereoPcm24Ssse3(const std::uint8_t* p,
                                                                    std::size_t count,
                                                                    std::uint32_t* out) {
  // Four samples at a time from two 16-byte loads at p and p + 12: frames 0
  // and 1 of the group from the first, 2 and 3 from the second, each as
  // 0, b0, b1, b2 in its lane.
  const __m128i first = _mm_setr_epi8(-1, 0, 1, 2, -1, 6, 7, 8, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m128i second = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 1, 2, -1, 6, 7, 8);
  // The bytes from p the run may read: up to the last sample's third byte.
  const std::size_t readable = count == 0 ? 0 : 6 * (count - 1) + 3;
  const auto four = [&](const std::uint8_t* group) __attribute__((target("ssse3"))) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(group));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(group + 12));
    return _mm_or_si128(_mm_shuffle_epi8(a, first), _mm_shuffle_epi8(b, second));
  };
  std::size_t i = 0;
  for (; i + 8 <= count && 6 * i + 52 <= readable; i += 8) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), four(p + 6 * i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 4), four(p + 6 * i + 24));
  }
  for (; i + 4 <= count && 6 * i + 28 <= readable; i += 4)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), four(p + 6 * i));
  return i;
}

__attribute__((target("ssse3"))) std::size_t PackInt24LsbSsse3(std::uint8_t* destination,
                                                               const std::uint32_t* samples,
                                                               std::size_t count) {
  // The top three bytes of each lane, packed into the low twelve.
  const __m128i pack = _mm_setr_epi8(1, 2, 3, 5, 6, 7, 9, 10, 11, 13, 14, 15, -1, -1, -1, -1);
  const auto packed = [&](std::size_t at) __attribute__((target("ssse3"))) {
    return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(samples + at)), pack);
  };
  std::size_t i = 0;
  // Sixteen samples are three whole 16-byte stores; the top four bytes of
  // each packed vector are zero, so the pieces join by OR.
  for (; i + 16 <= count; i += 16) {
    const __m128i p0 = packed(i), p1 = packed(i + 4), p2 = packed(i + 8), p3 = packed(i + 12);
    auto* d = reinterpret_cast<__m128i*>(destination + 3 * i);
    _mm_storeu_si128(d, _mm_or_si128(p0, _mm_slli_si128(p1, 12)));
    _mm_storeu_si128(d + 1, _mm_or_si128(_mm_srli_si128(p1, 4), _mm_slli_si128(p2, 8)));
    _mm_storeu_si128(d + 2, _mm_or_si128(_mm_srli_si128(p2, 8), _mm_slli_si128(p3, 4)));
  }
  // Four samples: an 8-byte and a 4-byte store, nothing past them.
  for (; i + 4 <= count; i += 4) {
    const __m128i four = packed(i);
    std::uint8_t* d = destination + 3 * i;
    _mm_storel_epi64(reinterpret_cast<__m128i*>(d), four);
    const int tail = _mm_cvtsi128_si32(_mm_srli_si128(four, 8));
    __builtin_memcpy(d + 8, &tail, 4);
  }
  return i;
}

}  // namespace

std::size_t DecodeStereoPcm24(const std::uint8_t* p, std::size_t count, std::uint32_t* out) {
  return HasSsse3() ? DecodeStereoPcm24Ssse3(p, count, out) : 0;
}

std::size_t PackInt24Lsb(std::uint8_t* destination, const std::uint32_t* samples,
                         std::size_t count) {
  return HasSsse3() ? PackInt24LsbSsse3(destination, samples, count) : 0;
}

#else

std::size_t DecodeStereoPcm24(const std::uint8_t*, std::size_t, std::uint32_t*) {
  return 0;
}

std::size_t PackInt24Lsb(std::uint8_t*, const std::uint32_t*, std::size_t) {
  return 0;
}

#endif

}  // namespace output
