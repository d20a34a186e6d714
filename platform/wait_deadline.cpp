#include "platform/wait_deadline.h"

#include "platform/clock.h"

#include <algorithm>

namespace fg {

namespace {

thread_local std::optional<std::chrono::steady_clock::time_point> current;

}  // namespace

WaitDeadline::WaitDeadline(std::chrono::milliseconds bound) : outer_(current) {
    auto at = std::chrono::steady_clock::now() + clock().realDuration(bound);
    current = outer_ ? std::min(*outer_, at) : at;
}

WaitDeadline::~WaitDeadline() { current = outer_; }

std::optional<std::chrono::nanoseconds> WaitDeadline::remaining() {
    if (!current) return std::nullopt;
    return std::max(std::chrono::nanoseconds(0), std::chrono::nanoseconds(*current - std::chrono::steady_clock::now()));
}

std::chrono::nanoseconds WaitDeadline::cap(std::chrono::nanoseconds realBound) {
    std::optional<std::chrono::nanoseconds> left = remaining();
    return left ? std::min(realBound, *left) : realBound;
}

}  // namespace fg
