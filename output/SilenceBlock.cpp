#include "output/SilenceBlock.h"

#include <cmath>
#include <limits>
#include <new>

#include "output/SamplePacking.h"

namespace output {
namespace {

// The width from the code's top byte.
std::uint32_t SilenceBytesPerSample(std::uint32_t code) {
  switch (code >> 24) {
    case 0x11:
      return 1;
    case 0x22:
      return 2;
    case 0x33:
      return 3;
    case 0x43:
    case 0x44:
      return 4;
    case 0x88:
      return 8;
    default:
      return 0;
  }
}

}  // namespace

BlockDescription MakeSilenceBlock(const BlockDescription& format, double seconds,
                                  std::vector<std::uint8_t>& storage) {
  if ((format.formatCode & 3) == 0) return {};
  const double frames = std::floor(seconds * format.sampleRate);
  const double bytes = frames * format.channels * SilenceBytesPerSample(format.formatCode);
  // Also refuses NaN and negative lengths.
  if (!(bytes >= 0 && bytes <= std::numeric_limits<std::uint32_t>::max())) return {};
  try {
    storage.assign(static_cast<std::size_t>(bytes),
                   SilenceFillByte(IsDsdFormat(format.formatCode)));
  } catch (const std::bad_alloc&) {
    return {};
  }
  BlockDescription block = format;
  block.data = storage.empty() ? nullptr : storage.data();
  block.size = static_cast<std::uint32_t>(storage.size());
  return block;
}

}  // namespace output
