// The one source of "now" and of waits. Every timer, time stamp and sleep of
// the system goes through it, so that tests run the real code with the waits
// scaled down, or drive time by hand.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <string>

namespace fg {

class Clock {
public:
    using Ms = std::chrono::milliseconds;
    virtual ~Clock() = default;

    // Wall-clock time of the system (for time stamps).
    virtual std::chrono::system_clock::time_point now() = 0;
    // Monotonic milliseconds in the system's time (for timers and bounds).
    virtual std::chrono::milliseconds elapsed() = 0;
    // Waits for a duration of the system's time.
    virtual void sleepFor(Ms duration) = 0;
    // The real duration that a wait of `duration` takes (for poll time-outs).
    virtual std::chrono::nanoseconds realDuration(Ms duration) = 0;
};

// Real time.
class SystemClock : public Clock {
public:
    std::chrono::system_clock::time_point now() override;
    std::chrono::milliseconds elapsed() override;
    void sleepFor(Ms duration) override;
    std::chrono::nanoseconds realDuration(Ms duration) override;
};

// Real waits shortened by a factor (0.01 makes a 5000 ms wait take 50 ms).
// "now" and "elapsed" advance by the system's time, so time stamps and
// timers agree with the waits.
class ScaledClock : public Clock {
public:
    explicit ScaledClock(double factor);
    std::chrono::system_clock::time_point now() override;
    std::chrono::milliseconds elapsed() override;
    void sleepFor(Ms duration) override;
    std::chrono::nanoseconds realDuration(Ms duration) override;
    double factor() const { return factor_; }

private:
    double factor_;
    std::chrono::system_clock::time_point wallStart_;
    std::chrono::steady_clock::time_point realStart_;
};

// Time driven by hand: waits return at once and move time forward.
class ManualClock : public Clock {
public:
    explicit ManualClock(std::chrono::system_clock::time_point start = std::chrono::system_clock::now());
    std::chrono::system_clock::time_point now() override;
    std::chrono::milliseconds elapsed() override;
    void sleepFor(Ms duration) override;
    std::chrono::nanoseconds realDuration(Ms duration) override;
    void advance(Ms duration);
    void set(std::chrono::system_clock::time_point t);

private:
    std::mutex mutex_;
    std::chrono::system_clock::time_point now_;
    std::chrono::milliseconds elapsed_{0};
};

// The process's clock. By default real time, or a ScaledClock when the
// environment variable FAXGATE_TIME_SCALE holds a factor (child processes of
// a test inherit it).
Clock& clock();
void setClock(std::shared_ptr<Clock> clock);

// Local time stamps in fixed formats (classic digits, no locale).
std::string timeStamp14(std::chrono::system_clock::time_point t);   // YYYYMMDDHHNNSS
std::string formatLocal(std::chrono::system_clock::time_point t, const char* strftimeFormat);

}  // namespace fg
