// The event pump of a program's one thread: one poll over the descriptors it
// watches (child sockets, process descriptors), the signals it takes, timers
// of the platform clock and calls posted for later. A component that has to
// wait (for a child to end, for a stop request) waits through the pump, so
// that events keep being delivered while it waits.
//
// Callbacks run on the thread that pumps, one at a time, and may add or
// remove watches and timers, post calls, and pump again (nested waits).
// The pump is not thread-safe; every object registered with it must be
// gone or unregistered before the pump is destroyed.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace fg {

class EventPump {
public:
    using Callback = std::function<void()>;
    using Id = std::uint64_t;
    using Ms = std::chrono::milliseconds;

    EventPump();
    ~EventPump();
    EventPump(const EventPump&) = delete;
    EventPump& operator=(const EventPump&) = delete;

    // Calls `onReadable` whenever `fd` is readable, has hung up or failed.
    Id watch(int fd, Callback onReadable);
    void unwatch(Id id);

    // Takes the signal through a signal descriptor: the signal is blocked in
    // the calling thread (call this before any other thread starts, so that
    // every thread inherits the mask) and `onSignal` runs from the pump.
    Id watchSignal(int signo, Callback onSignal);
    void unwatchSignal(Id id);

    // The requests to end that a program is sent (by a service manager or
    // a parent, from a terminal's Ctrl-C, by a terminal that goes), taken
    // as watchSignal takes them.
    enum class EndRequest { Terminate, Interrupt, HangUp };
    Id watchEndRequest(EndRequest request, Callback onRequest);
    // The name of the signal that carries the request ("SIGTERM", ...).
    static const char* signalName(EndRequest request);

    // A timer of the platform clock: `callback` runs once `delay` of the
    // system's time has passed, and then every `delay` again when `repeat`
    // is set, counted from the end of each tick.
    Id addTimer(Ms delay, Callback callback, bool repeat = false);
    void cancelTimer(Id id);

    // Runs `callback` at the next pump, after what is already posted.
    void post(Callback callback);

    // Delivers whatever is ready now, without waiting. True when something ran.
    [[nodiscard]] bool pumpOnce();
    // Waits up to `timeout` of the system's time for at least one event and
    // delivers everything that is ready then. True when something ran.
    [[nodiscard]] bool waitFor(Ms timeout);
    // Pumps until `done` answers true (checked before every wait) or
    // `timeout` has passed; answers `done`'s last word.
    [[nodiscard]] bool waitUntil(const std::function<bool()>& done, Ms timeout);
    // The same for what another process must do (handle an event, say):
    // `bound` is in the system's time, with the real floor of realBound.
    [[nodiscard]] bool waitUntilPeer(const std::function<bool()>& done, Ms bound);
    // Pumps for `duration` of the system's time, delivering everything.
    void runFor(Ms duration);
    // Pumps until quit() is called.
    void run();
    void quit() { quit_ = true; }
    [[nodiscard]] bool quitting() const { return quit_; }

private:
    struct Watch {
        Id id;
        int fd;
        Callback callback;
    };
    struct Timer {
        Ms deadline;
        Ms interval;
        bool repeat;
        Callback callback;
    };
    struct SignalWatch {
        int signo;
        Callback callback;
    };

    // One round: posted calls, due timers, or one poll of at most `maxWait`
    // (nullopt: no limit). True when a callback ran.
    [[nodiscard]] bool step(std::optional<Ms> maxWait);
    [[nodiscard]] bool runPosted();
    [[nodiscard]] bool fireDueTimers();
    void readSignals();
    void updateSignalDescriptor();

    std::vector<Watch> watches_;
    std::map<Id, Timer> timers_;
    std::map<Id, SignalWatch> signals_;
    std::deque<Callback> posted_;
    int signalFd_ = -1;
    Id nextId_ = 1;
    bool quit_ = false;
};

// A write to a peer that has gone (a closed pipe or socket) fails with an
// error instead of ending the program.
void ignoreBrokenPipes();
// The program runs on when the terminal it was started from goes.
void ignoreHangUps();

// A timer with the shape of a form timer: an interval of 0 leaves it idle,
// any other interval makes it tick every interval until it is set to 0.
// Setting the interval (also from inside the tick) restarts the count.
class PumpTimer {
public:
    PumpTimer(EventPump& pump, EventPump::Callback onTick);
    ~PumpTimer();
    PumpTimer(const PumpTimer&) = delete;
    PumpTimer& operator=(const PumpTimer&) = delete;

    void setInterval(EventPump::Ms interval);
    EventPump::Ms interval() const { return interval_; }

private:
    EventPump& pump_;
    EventPump::Callback onTick_;
    EventPump::Ms interval_{0};
    EventPump::Id timer_ = 0;
};

}  // namespace fg
