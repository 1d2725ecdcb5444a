#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <memory_resource>
#include <new>
#include <vector>

#include "core/Allocator.h"
#include "core/NormalAllocator.h"
#include "output/SampleFormat.h"

namespace coretest {

// Bytes that tell blocks apart: any lost, doubled, shifted or foreign byte
// shows.
inline std::vector<std::uint8_t> BlockBytes(std::uint32_t tag, std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<std::uint8_t>(tag * 131 + i * 7 + (i >> 8));
  }
  if (size >= sizeof tag) std::memcpy(bytes.data(), &tag, sizeof tag);
  return bytes;
}

inline output::BlockDescription Describe(const std::vector<std::uint8_t>& bytes, std::uint32_t slot,
                                         std::uint32_t code = output::kFormatPcm16) {
  return {bytes.empty() ? nullptr : bytes.data(),
          static_cast<std::uint32_t>(bytes.size()),
          code,
          2,
          44100,
          slot};
}

// The description points into the bytes, so they must outlive it.
output::BlockDescription Describe(std::vector<std::uint8_t>&& bytes, std::uint32_t slot,
                                  std::uint32_t code = output::kFormatPcm16) = delete;

inline output::BlockDescription EndBlock(std::uint32_t slot) {
  return {nullptr, 0, output::kFormatPcm16, 2, 44100, slot};
}

// Normal pages, with the number of blocks alive and a switch that makes the
// next stores fail.
struct AllocatorLog {
  int liveBlocks = 0;
  int failingStores = 0;
  int resets = 0;
};

class LoggingAllocator final : public core::Allocator {
 public:
  explicit LoggingAllocator(std::shared_ptr<AllocatorLog> log) : log_(std::move(log)) {}
  bool IsSequential() const override { return false; }
  bool Reset() override {
    ++log_->resets;
    return true;
  }
  bool StoreBlock(const void* data, std::uint32_t size, core::BlockHandle* handle) override {
    if (log_->failingStores > 0) {
      --log_->failingStores;
      *handle = nullptr;
      return false;
    }
    if (!pages_.StoreBlock(data, size, handle)) return false;
    if (*handle != nullptr) ++log_->liveBlocks;
    return true;
  }
  bool LoadBlock(core::BlockHandle handle, std::uint32_t size, void* destination,
                 std::uint32_t* copied) override {
    if (handle != nullptr) --log_->liveBlocks;
    return pages_.LoadBlock(handle, size, destination, copied);
  }

 private:
  std::shared_ptr<AllocatorLog> log_;
  core::NormalAllocator pages_;
};

// Memory for the queue's block records that runs out on demand.
class ExhaustibleResource final : public std::pmr::memory_resource {
 public:
  bool exhausted = false;

 private:
  void* do_allocate(std::size_t bytes, std::size_t alignment) override {
    if (exhausted) throw std::bad_alloc();
    return std::pmr::new_delete_resource()->allocate(bytes, alignment);
  }
  void do_deallocate(void* p, std::size_t bytes, std::size_t alignment) override {
    std::pmr::new_delete_resource()->deallocate(p, bytes, alignment);
  }
  bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override {
    return this == &other;
  }
};

}  // namespace coretest
