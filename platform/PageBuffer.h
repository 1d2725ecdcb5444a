#pragma once

#include <cstddef>

namespace platform {

// Whole committed read-write pages straight from the kernel, the way audio
// buffers are handed between sources, queues and the output. The mapping's
// length is kept in one leading page, so a buffer is released from its
// address alone; the address handed out is page aligned.
void* AllocPages(std::size_t size);

// Releases a buffer from AllocPages; null is ignored.
void FreePages(void* buffer);

std::size_t PageSize();

}  // namespace platform
