#pragma once

#include "core/Allocator.h"

namespace core {

// Each block in pages of its own, released when the block is loaded; blocks
// may be loaded in any order.
class NormalAllocator final : public Allocator {
 public:
  bool IsSequential() const override { return false; }
  bool Reset() override { return true; }
  bool StoreBlock(const void* data, std::uint32_t size, BlockHandle* handle) override;
  bool LoadBlock(BlockHandle handle, std::uint32_t size, void* destination,
                 std::uint32_t* copied) override;
};

}  // namespace core
