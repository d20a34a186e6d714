#include "platform/desktop/global_memory.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <unordered_map>

namespace fg::desktop {

namespace {

struct Block {
    std::unique_ptr<std::uint8_t[]> bytes;
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

std::unique_ptr<std::uint8_t[]> bytesFor(std::size_t size) {
    if (size > blocks().limit) return nullptr;
    // A block of no bytes still has an address of its own.
    return std::unique_ptr<std::uint8_t[]>(new (std::nothrow) std::uint8_t[size ? size : 1]);
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
    if (!block) return 0;
    auto bytes = bytesFor(size);
    if (!bytes) return 0;
    std::memcpy(bytes.get(), block->bytes.get(), std::min(size, block->size));
    if ((flags & GMEM_ZEROINIT) && size > block->size) std::memset(bytes.get() + block->size, 0, size - block->size);
    blocks().byAddress.erase(block->bytes.get());
    blocks().byAddress[bytes.get()] = h;
    block->bytes = std::move(bytes);
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
