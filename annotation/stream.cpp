#include "annotation/stream.h"

#include <algorithm>
#include <cstring>

namespace fg::annotation {

namespace {

constexpr std::uint64_t kGrowthStep = 32768;
constexpr std::uint64_t kMaxSize = 0xFFFFFFFFu;

}  // namespace

std::int64_t annStreamRemaining(AnnStream& stream) {
    const std::int64_t at = stream.seek(0, kSeekCurrent);
    if (at < 0) return -1;
    const std::int64_t end = stream.seek(0, kSeekEnd);
    if (stream.seek(at, kSeekStart) != at || end < 0) return -1;
    return std::max<std::int64_t>(0, end - at);
}

MemoryStream::MemoryStream(const void* bytes, std::uint32_t size)
    : buffer_(static_cast<std::uint8_t*>(const_cast<void*>(bytes))), capacity_(size), size_(size), owned_(false) {}

MemoryStream::~MemoryStream() {
    if (owned_) desktop::memoryFree(buffer_);
}

std::int64_t MemoryStream::read(void* buffer, std::uint32_t count) {
    if (!buffer || position_ > size_) return -1;
    const std::uint32_t n = std::min(size_ - position_, count);
    if (n) std::memcpy(buffer, buffer_ + position_, n);
    position_ += n;
    return n;
}

// The capacity becomes `needed` rounded up to the next step. The block
// beneath it grows to twice its size at least: a save of tens of megabytes
// grown a step at a time copied everything written at every step, so that
// its time grew with the square of its bytes. The capacity, and so what a
// write stores, stay those of the steps; when the larger block cannot be
// had, the block grows by the steps alone. A size beyond 32 bits, or an
// allocation that fails, leaves the buffer and its capacity as they were.
bool MemoryStream::grow(std::uint64_t needed) {
    const std::uint64_t rounded = (needed + kGrowthStep - 1) / kGrowthStep * kGrowthStep;
    if (!owned_ || rounded > kMaxSize) return false;
    if (rounded > room_) {
        auto blockOf = [&](std::uint64_t bytes) {
            return buffer_ ? desktop::memoryReallocate(buffer_, bytes) : desktop::memoryAllocate(bytes);
        };
        const std::uint64_t ample = std::min(kMaxSize / kGrowthStep * kGrowthStep, 2 * room_);
        void* bigger = ample > rounded ? blockOf(ample) : nullptr;
        if (bigger) {
            room_ = ample;
        } else {
            bigger = blockOf(rounded);
            if (!bigger) return false;
            room_ = rounded;
        }
        buffer_ = static_cast<std::uint8_t*>(bigger);
    }
    capacity_ = static_cast<std::uint32_t>(rounded);
    return true;
}

std::int64_t MemoryStream::write(const void* buffer, std::uint32_t count) {
    if (!buffer || !owned_) return -1;
    const std::uint64_t end = std::uint64_t(position_) + count;
    if (end > capacity_) grow(end);
    if (position_ > capacity_) return -1;
    const std::uint32_t n = std::min(capacity_ - position_, count);
    if (n) std::memcpy(buffer_ + position_, buffer, n);
    position_ += n;
    size_ = std::max(size_, position_);
    return n;
}

std::int64_t MemoryStream::seek(std::int64_t offset, int origin) {
    std::int64_t at;
    switch (origin) {
    case kSeekStart: at = offset; break;
    case kSeekCurrent: at = std::int64_t(position_) + offset; break;
    case kSeekEnd: at = std::int64_t(size_) + offset; break;
    default: return -1;
    }
    // A position is 32 bits; one that does not fit is refused.
    if (at < 0 || std::uint64_t(at) > kMaxSize) return -1;
    position_ = static_cast<std::uint32_t>(at);
    return at;
}

desktop::MemoryHandle MemoryStream::release() {
    if (!owned_ || !buffer_) return 0;
    if (room_ > size_)
        if (void* smaller = desktop::memoryReallocate(buffer_, size_)) buffer_ = static_cast<std::uint8_t*>(smaller);
    const desktop::MemoryHandle block = desktop::globalHandle(buffer_);
    buffer_ = nullptr;
    capacity_ = size_ = position_ = 0;
    room_ = 0;
    return block;
}

std::int64_t FileStream::read(void* buffer, std::uint32_t count) {
    return buffer ? desktop::fileRead(file_, buffer, count) : -1;
}

std::int64_t FileStream::write(const void* buffer, std::uint32_t count) {
    return buffer ? desktop::fileWrite(file_, buffer, count) : -1;
}

std::int64_t FileStream::seek(std::int64_t offset, int origin) { return desktop::fileSeek(file_, offset, origin); }

}  // namespace fg::annotation
