// One owner for a handle of a C library or of the system: the handle and the
// call that gives it back, so that every way out of a scope (an early return
// or an exception included) gives it back exactly once.
//
//   using Buffer = Owned<xmlBufferPtr, xmlBufferFree>;
//   Buffer buffer(xmlBufferCreate());
//   if (!buffer) throw ...;
//
// A release call that answers a result the caller must see (the close of a
// file being saved, for example) is made by the caller on release().
#pragma once

#include <utility>

namespace fg {

template <class Handle, auto Release, Handle Empty = Handle{}>
class Owned {
public:
    Owned() noexcept = default;
    explicit Owned(Handle handle) noexcept : handle_(handle) {}
    ~Owned() { reset(); }
    Owned(Owned&& other) noexcept : handle_(other.release()) {}
    Owned& operator=(Owned&& other) noexcept {
        reset(other.release());
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;

    Handle get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != Empty; }
    // Hands the handle over without giving it back.
    [[nodiscard]] Handle release() noexcept { return std::exchange(handle_, Empty); }
    // Gives back what it holds and takes `handle`.
    void reset(Handle handle = Empty) noexcept {
        Handle old = std::exchange(handle_, handle);
        if (old != Empty) static_cast<void>(Release(old));
    }
    // For a call that hands out a new handle through a pointer.
    Handle* out() noexcept {
        reset();
        return &handle_;
    }

private:
    Handle handle_ = Empty;
};

// A file descriptor or socket of our own, closed once.
void closeDescriptor(int fd) noexcept;
using Descriptor = Owned<int, closeDescriptor, -1>;

}  // namespace fg
