#pragma once

#include <memory>

#include "core/AWEMemory.h"
#include "core/AWEMemoryAccessor.h"
#include "core/Allocator.h"

namespace core {

// The RAM mode's allocator: blocks go one after another into the locked
// region, and come back out in the same order. Blocks that do not fit any
// more (or all blocks, when the region cannot be set up) go to the fallback.
class SequentialAWEAllocator final : public Allocator {
 public:
  // Sets the region up at once; `fallback` defaults to a NormalAllocator.
  explicit SequentialAWEAllocator(std::shared_ptr<platform::ISystemMemory> system,
                                  std::uint64_t regionBytes = kRamRegionBytes,
                                  std::unique_ptr<Allocator> fallback = nullptr);
  ~SequentialAWEAllocator() override;

  bool IsSequential() const override { return true; }
  // Rewinds reader and writer to the start of the region.
  bool Reset() override;
  bool StoreBlock(const void* data, std::uint32_t size, BlockHandle* handle) override;
  bool LoadBlock(BlockHandle handle, std::uint32_t size, void* destination,
                 std::uint32_t* copied) override;

  bool HasLockedRegion() const { return region_ != nullptr; }

 private:
  // The handle of every block kept in the region.
  BlockHandle RegionMarker() { return this; }

  // Destroyed in reverse: reader, writer, region, fallback.
  std::unique_ptr<Allocator> fallback_;
  std::unique_ptr<AWEMemory> region_;
  std::unique_ptr<AWEMemorySequentialWriter> writer_;
  std::unique_ptr<AWEMemorySequentialReader> reader_;
};

}  // namespace core
