#include "output/DopStamping.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "output/SamplePacking.h"

namespace output {
namespace {

// Words are stamped and idle runs written this many at a time.
constexpr std::size_t kDopRun = 256;
constexpr std::uint32_t kDopPayload = 0x00FFFFFFu;
// DoP idle words in stream order from phase 0: a run of phase p starts at
// index p.
constexpr auto kDopIdleWords = [] {
  std::array<std::uint32_t, kDopRun + 1> words{};
  for (std::size_t i = 0; i < words.size(); ++i)
    words[i] = DopSilence(static_cast<std::uint32_t>(i & 1));
  return words;
}();

}  // namespace

std::size_t WriteStampedDop(const SampleTypeConverter& converter, std::uint8_t* destination,
                            const std::uint32_t* words, std::size_t count, std::uint32_t phase) {
  std::array<std::uint32_t, kDopRun> stamped;
  std::size_t out = 0;
  for (std::size_t done = 0; done < count;) {
    const std::size_t run = std::min(kDopRun, count - done);
    for (std::size_t k = 0; k < run; ++k) {
      const std::uint32_t marker = kDopIdleWords[(phase + done + k) & 1] & ~kDopPayload;
      stamped[k] = (words[done + k] & kDopPayload) | marker;
    }
    out += converter.writeRun(destination + out, stamped.data(), run);
    done += run;
  }
  return out;
}

void WriteDopIdle(const SampleTypeConverter& converter, std::uint8_t* destination, std::size_t from,
                  std::size_t bytes, std::uint32_t phase) {
  const std::size_t step = BytesPerWrite(converter);
  const std::size_t words = bytes / step;
  for (std::size_t word = (from + step - 1) / step; word < words;) {
    const std::size_t run = std::min(kDopRun, words - word);
    converter.writeRun(destination + word * step, &kDopIdleWords[(phase + word) & 1], run);
    word += run;
  }
  std::memset(destination + words * step, 0, bytes - words * step);
}

}  // namespace output
