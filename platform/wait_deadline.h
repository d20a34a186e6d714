// A bound on all the waits of one piece of work. While a WaitDeadline lives,
// every lock wait (FileLock; it still gets a second, for the log lines of a
// failure) and every HTTP exchange made on its thread ends by the deadline
// at the latest, whatever bound of its own it has: a caller
// that can wait only so long (a supplier on the telephone) bounds the whole
// work once, instead of each wait inside it getting its full bound.
//
// Deadlines nest: an inner one never reaches beyond the outer one.
#pragma once

#include <chrono>
#include <optional>

namespace fg {

class WaitDeadline {
public:
    // The deadline is `bound` of the system's time from now.
    explicit WaitDeadline(std::chrono::milliseconds bound);
    ~WaitDeadline();
    WaitDeadline(const WaitDeadline&) = delete;
    WaitDeadline& operator=(const WaitDeadline&) = delete;

    // The real time left until the innermost deadline of this thread (zero
    // once it has passed); nullopt when no deadline holds.
    static std::optional<std::chrono::nanoseconds> remaining();
    // A real-time bound shortened to what is left of the deadline.
    static std::chrono::nanoseconds cap(std::chrono::nanoseconds realBound);

private:
    std::optional<std::chrono::steady_clock::time_point> outer_;
};

}  // namespace fg
