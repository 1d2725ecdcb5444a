#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

// Little-endian words in byte buffers: on a little-endian machine one plain
// load or store the compiler can widen, elsewhere byte by byte. Header-only,
// so the plug-ins use it without linking the player.

namespace platform {

template <typename Word>
Word LoadLittleEndian(const std::uint8_t* p) {
  Word value = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&value, p, sizeof value);
  } else {
    for (std::size_t i = 0; i < sizeof value; ++i)
      value = static_cast<Word>(value | static_cast<Word>(Word{p[i]} << (8 * i)));
  }
  return value;
}

template <typename Word>
void StoreLittleEndian(std::uint8_t* p, Word value) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(p, &value, sizeof value);
  } else {
    for (std::size_t i = 0; i < sizeof value; ++i)
      p[i] = static_cast<std::uint8_t>(value >> (8 * i));
  }
}

}  // namespace platform
