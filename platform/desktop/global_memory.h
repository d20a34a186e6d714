// Global memory blocks: handles that lock to the block's bytes, as the
// engine hands saved annotations to its caller and to the clipboard, and the
// pointer allocators of the kernel library over the same blocks. A handle of
// a freed block locks to nothing; allocation answers 0 instead of throwing.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fg::desktop {

using MemoryHandle = std::uintptr_t;  // 0: none

inline constexpr unsigned GMEM_FIXED = 0, GMEM_MOVEABLE = 2, GMEM_ZEROINIT = 0x40;

MemoryHandle globalAlloc(unsigned flags, std::size_t bytes);
// A new size, the contents kept (new bytes zero with GMEM_ZEROINIT); 0 and
// the block unchanged when it cannot grow.
MemoryHandle globalReAlloc(MemoryHandle block, std::size_t bytes, unsigned flags);
// The block's bytes, or null for a handle that names no block.
void* globalLock(MemoryHandle block);
[[nodiscard]] bool globalUnlock(MemoryHandle block);
std::size_t globalSize(MemoryHandle block);
// Answers 0 when freed, the handle itself when it names no block.
MemoryHandle globalFree(MemoryHandle block);
// The handle of a block's bytes; 0 for any other pointer.
MemoryHandle globalHandle(const void* bytes);

// The kernel library's allocators: pointers to the bytes of new blocks
// (zero-filled on request), null on failure; free takes null as nothing.
void* memoryAllocate(std::size_t bytes, bool zeroFill = false);
void* memoryReallocate(void* bytes, std::size_t size);
void memoryFree(void* bytes);

// For tests of what runs out of memory: blocks larger than `bytes` cannot
// be had (SIZE_MAX: no limit).
void setGlobalMemoryLimit(std::size_t bytes);
// Blocks not yet freed.
std::size_t globalBlockCount();

}  // namespace fg::desktop
