#include "platform/desktop/global_memory.h"

#include "platform/invariant.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unordered_map>

namespace fg::desktop {

namespace {

struct FreeBytes {
    void operator()(std::uint8_t* bytes) const noexcept { std::free(bytes); }
};
using Bytes = std::unique_ptr<std::uint8_t, FreeBytes>;

struct Block {
    Bytes bytes;
    std::size_t size = 0;
    int locks = 0;
};

// Handles count up and are never reused, so a freed handle stays dead.
struct Blocks {
    std::unordered_map<MemoryHandle, Block> byHandle;
    std::unordered_map<const void*, MemoryHandle> byAddress;
    MemoryHandle next = 0x1000;
    std::size_t limit = SIZE_MAX;
};

Blocks& blocks() {
    static Blocks b;
    return b;
}

// Blocks come from malloc so that a growth is a realloc, which moves a large
// block by remapping its pages instead of copying them.
Bytes bytesFor(std::size_t size) {
    if (size > blocks().limit) return nullptr;
    // A block of no bytes still has an address of its own.
    return Bytes(static_cast<std::uint8_t*>(std::malloc(size ? size : 1)));
}

Block* find(MemoryHandle h) {
    auto it = blocks().byHandle.find(h);
    return it == blocks().byHandle.end() ? nullptr : &it->second;
}

}  // namespace

MemoryHandle globalAlloc(unsigned flags, std::size_t size) {
    auto bytes = bytesFor(size);
    if (!bytes) return 0;
    if (flags & GMEM_ZEROINIT) std::memset(bytes.get(), 0, size ? size : 1);
    Blocks& b = blocks();
    const MemoryHandle h = b.next++;
    b.byAddress[bytes.get()] = h;
    b.byHandle[h] = Block{std::move(bytes), size, 0};
    return h;
}

MemoryHandle globalReAlloc(MemoryHandle h, std::size_t size, unsigned flags) {
    Block* block = find(h);
    if (!block || size > blocks().limit) return 0;
    // Known by its address until it moves; on failure realloc leaves the
    // old block as it was.
    const auto old = blocks().byAddress.find(block->bytes.get());
    checkInvariant(old != blocks().byAddress.end(), "every block is known by its address");
    void* moved = std::realloc(block->bytes.get(), size ? size : 1);
    if (!moved) return 0;
    (void)block->bytes.release();
    block->bytes.reset(static_cast<std::uint8_t*>(moved));
    if ((flags & GMEM_ZEROINIT) && size > block->size)
        std::memset(block->bytes.get() + block->size, 0, size - block->size);
    if (old->first != moved) {
        blocks().byAddress.erase(old);
        blocks().byAddress[moved] = h;
    }
    block->size = size;
    return h;
}

void* globalLock(MemoryHandle h) {
    Block* block = find(h);
    if (!block) return nullptr;
    ++block->locks;
    return block->bytes.get();
}

bool globalUnlock(MemoryHandle h) {
    Block* block = find(h);
    if (!block || block->locks == 0) return false;
    return --block->locks > 0;
}

std::size_t globalSize(MemoryHandle h) {
    Block* block = find(h);
    return block ? block->size : 0;
}

MemoryHandle globalFree(MemoryHandle h) {
    Block* block = find(h);
    if (!block) return h;
    blocks().byAddress.erase(block->bytes.get());
    blocks().byHandle.erase(h);
    return 0;
}

MemoryHandle globalHandle(const void* bytes) {
    auto it = blocks().byAddress.find(bytes);
    return it == blocks().byAddress.end() ? 0 : it->second;
}

void* memoryAllocate(std::size_t size, bool zeroFill) {
    const MemoryHandle h = globalAlloc(GMEM_MOVEABLE | (zeroFill ? GMEM_ZEROINIT : 0), size);
    return h ? find(h)->bytes.get() : nullptr;
}

void* memoryReallocate(void* bytes, std::size_t size) {
    const MemoryHandle h = globalHandle(bytes);
    if (!h || !globalReAlloc(h, size, GMEM_MOVEABLE)) return nullptr;
    return find(h)->bytes.get();
}

void memoryFree(void* bytes) {
    if (bytes) globalFree(globalHandle(bytes));
}

void setGlobalMemoryLimit(std::size_t bytes) { blocks().limit = bytes; }

std::size_t globalBlockCount() { return blocks().byHandle.size(); }

}  // namespace fg::desktop
