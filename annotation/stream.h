// The sinks and sources that saves and loads work through: one interface of
// read, write and seek, over a block of memory or over a file descriptor.
//
// A memory stream keeps its capacity, size and position in 32 bits, as the
// blocks it hands out are sized: a write that would take it beyond 4 GiB
// stores only what fits, which its writer sees as a short write.
#pragma once

#include "platform/desktop/global_memory.h"
#include "platform/desktop/kernel_files.h"

#include <cstdint>

namespace fg::annotation {

enum SeekOrigin { kSeekStart = 0, kSeekCurrent = 1, kSeekEnd = 2 };

class AnnStream {
public:
    virtual ~AnnStream() = default;
    // Bytes read, 0 at the end of the data; negative on failure.
    virtual std::int64_t read(void* buffer, std::uint32_t count) = 0;
    // Bytes written; fewer than `count` means failure.
    virtual std::int64_t write(const void* buffer, std::uint32_t count) = 0;
    // The new position, or -1 (an unknown origin included).
    virtual std::int64_t seek(std::int64_t offset, int origin) = 0;
};

// The bytes from the position to the end of the data, found by seeking
// there and back; -1 when the stream cannot tell.
std::int64_t annStreamRemaining(AnnStream& stream);

class MemoryStream final : public AnnStream {
public:
    // An empty sink whose buffer (blocks of the kernel library's allocator)
    // grows in steps of 32 KiB; the block beneath it may be larger.
    MemoryStream() = default;
    // A source over the caller's bytes, which it never writes or frees.
    MemoryStream(const void* bytes, std::uint32_t size);
    ~MemoryStream() override;
    MemoryStream(const MemoryStream&) = delete;
    MemoryStream& operator=(const MemoryStream&) = delete;

    std::int64_t read(void* buffer, std::uint32_t count) override;
    std::int64_t write(const void* buffer, std::uint32_t count) override;
    std::int64_t seek(std::int64_t offset, int origin) override;

    std::uint32_t size() const { return size_; }
    std::uint32_t capacity() const { return capacity_; }
    const std::uint8_t* data() const { return buffer_; }
    // Hands the written bytes over as a global memory block, shrunk to the
    // size where the allocator allows it (else kept larger); 0 when nothing
    // was ever written. The stream is empty afterwards.
    desktop::MemoryHandle release();

private:
    bool grow(std::uint64_t needed);

    std::uint8_t* buffer_ = nullptr;
    std::uint32_t capacity_ = 0, size_ = 0, position_ = 0;
    std::uint64_t room_ = 0;  // the bytes of the block, the capacity or more
    bool owned_ = true;
};

class FileStream final : public AnnStream {
public:
    explicit FileStream(desktop::FileHandle file) : file_(file) {}
    std::int64_t read(void* buffer, std::uint32_t count) override;
    std::int64_t write(const void* buffer, std::uint32_t count) override;
    std::int64_t seek(std::int64_t offset, int origin) override;

private:
    desktop::FileHandle file_;
};

}  // namespace fg::annotation
