#include "platform/clock.h"

#include <charconv>
#include <cstdlib>
#include <string_view>
#include <vector>
#include <ctime>
#include <thread>

namespace fg {

using std::chrono::duration_cast;
using std::chrono::milliseconds;
using std::chrono::nanoseconds;

std::chrono::system_clock::time_point SystemClock::now() { return std::chrono::system_clock::now(); }

milliseconds SystemClock::elapsed() {
    return duration_cast<milliseconds>(std::chrono::steady_clock::now().time_since_epoch());
}

void SystemClock::sleepFor(Ms duration) {
    if (duration.count() > 0) std::this_thread::sleep_for(duration);
}

nanoseconds SystemClock::realDuration(Ms duration) { return duration; }

ScaledClock::ScaledClock(double factor)
    : factor_(factor > 0 ? factor : 1.0),
      wallStart_(std::chrono::system_clock::now()),
      realStart_(std::chrono::steady_clock::now()) {}

std::chrono::system_clock::time_point ScaledClock::now() {
    auto real = std::chrono::steady_clock::now() - realStart_;
    auto scaled = duration_cast<std::chrono::system_clock::duration>(
        std::chrono::duration<double, std::nano>(static_cast<double>(nanoseconds(real).count()) / factor_));
    return wallStart_ + scaled;
}

milliseconds ScaledClock::elapsed() {
    auto real = nanoseconds(std::chrono::steady_clock::now().time_since_epoch()).count();
    return milliseconds(static_cast<long long>(static_cast<double>(real) / factor_ / 1e6));
}

void ScaledClock::sleepFor(Ms duration) {
    if (duration.count() > 0) std::this_thread::sleep_for(realDuration(duration));
}

nanoseconds ScaledClock::realDuration(Ms duration) {
    return nanoseconds(static_cast<long long>(static_cast<double>(nanoseconds(duration).count()) * factor_));
}

ManualClock::ManualClock(std::chrono::system_clock::time_point start) : now_(start) {}

std::chrono::system_clock::time_point ManualClock::now() {
    std::lock_guard lock(mutex_);
    return now_;
}

milliseconds ManualClock::elapsed() {
    std::lock_guard lock(mutex_);
    return elapsed_;
}

void ManualClock::sleepFor(Ms duration) { advance(duration); }

nanoseconds ManualClock::realDuration(Ms) { return nanoseconds(0); }

void ManualClock::advance(Ms duration) {
    std::lock_guard lock(mutex_);
    if (duration.count() < 0) return;
    now_ += duration;
    elapsed_ += duration;
}

void ManualClock::set(std::chrono::system_clock::time_point t) {
    std::lock_guard lock(mutex_);
    now_ = t;
}

namespace {

std::mutex clockMutex;
std::shared_ptr<Clock>& current() {
    static std::shared_ptr<Clock> c = [] {
        const char* scale = std::getenv("FAXGATE_TIME_SCALE");
        if (scale && *scale) {
            // from_chars: the factor reads the same whatever the process locale.
            double f = 0;
            std::string_view v(scale);
            auto r = std::from_chars(v.data(), v.data() + v.size(), f);
            if (r.ec == std::errc() && f > 0 && f != 1.0) return std::shared_ptr<Clock>(std::make_shared<ScaledClock>(f));
        }
        return std::shared_ptr<Clock>(std::make_shared<SystemClock>());
    }();
    return c;
}

}  // namespace

Clock& clock() {
    std::lock_guard lock(clockMutex);
    return *current();
}

void setClock(std::shared_ptr<Clock> clock) {
    std::lock_guard lock(clockMutex);
    // clock() hands out references: a replaced clock lives on, so that a
    // thread in the middle of a wait on it never touches freed memory.
    static std::vector<std::shared_ptr<Clock>> retired;
    retired.push_back(current());
    current() = clock ? std::move(clock) : std::make_shared<SystemClock>();
}

std::string formatLocal(std::chrono::system_clock::time_point t, const char* fmt) {
    std::time_t tt = std::chrono::system_clock::to_time_t(t);
    std::tm tm {};
    localtime_r(&tt, &tm);
    char buf[128];
    std::size_t n = std::strftime(buf, sizeof buf, fmt, &tm);
    return std::string(buf, n);
}

std::string timeStamp14(std::chrono::system_clock::time_point t) { return formatLocal(t, "%Y%m%d%H%M%S"); }

}  // namespace fg
