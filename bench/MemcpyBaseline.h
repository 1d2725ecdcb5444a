#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

// The baseline the readers are measured against: copying the same number of
// bytes, `piece` bytes at a time, from memory that is already there.
inline void CopyInPieces(benchmark::State& state, std::size_t bytes, std::size_t piece) {
  std::vector<std::uint8_t> from(bytes, 1), to(piece);
  for (auto _ : state) {
    for (std::size_t at = 0; at + piece <= bytes; at += piece) {
      std::memcpy(to.data(), from.data() + at, piece);
      benchmark::ClobberMemory();
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}
