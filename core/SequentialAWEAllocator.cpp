#include "core/SequentialAWEAllocator.h"

#include <utility>

#include "core/NormalAllocator.h"

namespace core {

SequentialAWEAllocator::SequentialAWEAllocator(std::shared_ptr<platform::ISystemMemory> system,
                                               std::uint64_t regionBytes,
                                               std::unique_ptr<Allocator> fallback)
    : fallback_(fallback ? std::move(fallback) : std::make_unique<NormalAllocator>()),
      region_(std::make_unique<AWEMemory>(std::move(system), regionBytes)),
      writer_(std::make_unique<AWEMemorySequentialWriter>()),
      reader_(std::make_unique<AWEMemorySequentialReader>()) {
  if (region_->Allocate()) {
    writer_->Attach(region_.get());
    reader_->Attach(region_.get());
  } else {
    reader_.reset();
    writer_.reset();
    region_.reset();
  }
}

SequentialAWEAllocator::~SequentialAWEAllocator() = default;

bool SequentialAWEAllocator::Reset() {
  if (reader_) reader_->Rewind();
  if (writer_) writer_->Rewind();
  return fallback_->Reset();
}

bool SequentialAWEAllocator::StoreBlock(const void* data, std::uint32_t size, BlockHandle* handle) {
  *handle = nullptr;
  if (data == nullptr || size == 0) return true;
  // The writer only reads from the buffer.
  if (writer_ && writer_->Transfer(const_cast<void*>(data), size)) {
    *handle = RegionMarker();
    return true;
  }
  return fallback_->StoreBlock(data, size, handle);
}

bool SequentialAWEAllocator::LoadBlock(BlockHandle handle, std::uint32_t size, void* destination,
                                       std::uint32_t* copied) {
  *copied = 0;
  if (!reader_ || handle != RegionMarker()) {
    return fallback_->LoadBlock(handle, size, destination, copied);
  }
  if (!reader_->Transfer(destination, size)) return false;
  if (destination != nullptr) *copied = size;
  return true;
}

}  // namespace core
