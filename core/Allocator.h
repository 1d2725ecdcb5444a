#pragma once

#include <cstdint>

namespace core {

// The allocator's token for one stored block; null for an empty block.
using BlockHandle = void*;

// Where the decoded-data queue keeps the bytes of its blocks. Used under the
// queue's lock only.
class Allocator {
 public:
  virtual ~Allocator() = default;
  // True when blocks must be loaded strictly in the order they were stored.
  virtual bool IsSequential() const = 0;
  // Forgets every stored block; called after the queue has loaded them all.
  virtual bool Reset() = 0;
  // Keeps a copy of `size` bytes from `data`. Null data or size 0 stores
  // nothing, hands back a null handle and succeeds.
  virtual bool StoreBlock(const void* data, std::uint32_t size, BlockHandle* handle) = 0;
  // Copies the block to `destination` (when not null), releases its storage
  // and reports the bytes copied (0 without a destination or for a null
  // handle). On failure the block stays stored.
  virtual bool LoadBlock(BlockHandle handle, std::uint32_t size, void* destination,
                         std::uint32_t* copied) = 0;
};

}  // namespace core
