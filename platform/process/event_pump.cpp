#include "platform/process/event_pump.h"

#include "platform/clock.h"
#include "platform/process/process.h"
#include "platform/error.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

namespace fg {

using std::chrono::duration_cast;
using std::chrono::nanoseconds;

EventPump::EventPump() = default;

EventPump::~EventPump() {
    if (signalFd_ >= 0) ::close(signalFd_);
}

EventPump::Id EventPump::watch(int fd, Callback onReadable) {
    Id id = nextId_++;
    watches_.push_back({id, fd, std::move(onReadable)});
    return id;
}

void EventPump::unwatch(Id id) {
    std::erase_if(watches_, [id](const Watch& w) { return w.id == id; });
}

EventPump::Id EventPump::watchSignal(int signo, Callback onSignal) {
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, signo);
    if (int rc = pthread_sigmask(SIG_BLOCK, &one, nullptr); rc != 0)
        throw Error(errnum::InvalidProcedureCall, std::string("シグナルを止められません: ") + std::strerror(rc), "EventPump");
    Id id = nextId_++;
    signals_[id] = {signo, std::move(onSignal)};
    updateSignalDescriptor();
    return id;
}

namespace {

int signalOf(EventPump::EndRequest request) {
    switch (request) {
    case EventPump::EndRequest::Terminate: return SIGTERM;
    case EventPump::EndRequest::Interrupt: return SIGINT;
    case EventPump::EndRequest::HangUp: return SIGHUP;
    }
    return SIGTERM;
}

}  // namespace

EventPump::Id EventPump::watchEndRequest(EndRequest request, Callback onRequest) {
    return watchSignal(signalOf(request), std::move(onRequest));
}

const char* EventPump::signalName(EndRequest request) {
    switch (request) {
    case EndRequest::Terminate: return "SIGTERM";
    case EndRequest::Interrupt: return "SIGINT";
    case EndRequest::HangUp: return "SIGHUP";
    }
    return "SIGTERM";
}

void ignoreBrokenPipes() { ::signal(SIGPIPE, SIG_IGN); }

void ignoreHangUps() { ::signal(SIGHUP, SIG_IGN); }

void EventPump::unwatchSignal(Id id) {
    signals_.erase(id);
    // The signal stays blocked: unblocking it now could deliver a pending
    // signal with its default action (ending the process) behind our back.
    updateSignalDescriptor();
}

void EventPump::updateSignalDescriptor() {
    sigset_t set;
    sigemptyset(&set);
    for (const auto& [id, s] : signals_) sigaddset(&set, s.signo);
    if (signals_.empty()) {
        if (signalFd_ >= 0) ::close(signalFd_);
        signalFd_ = -1;
        return;
    }
    int fd = ::signalfd(signalFd_, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (fd < 0)
        throw Error(errnum::InvalidProcedureCall, std::string("シグナルを待てません: ") + std::strerror(errno), "EventPump");
    signalFd_ = fd;
}

EventPump::Id EventPump::addTimer(Ms delay, Callback callback, bool repeat) {
    Id id = nextId_++;
    Ms interval = std::max(delay, Ms(0));
    timers_[id] = {clock().elapsed() + interval, interval, repeat, std::move(callback)};
    return id;
}

void EventPump::cancelTimer(Id id) { timers_.erase(id); }

void EventPump::post(Callback callback) { posted_.push_back(std::move(callback)); }

bool EventPump::runPosted() {
    if (posted_.empty()) return false;
    // Only what was posted before this round: a call that posts itself again
    // waits for the next round instead of starving the descriptors.
    std::size_t n = posted_.size();
    for (std::size_t i = 0; i < n && !posted_.empty(); ++i) {
        Callback cb = std::move(posted_.front());
        posted_.pop_front();
        cb();
    }
    return true;
}

bool EventPump::fireDueTimers() {
    Ms now = clock().elapsed();
    std::vector<Id> due;
    for (const auto& [id, t] : timers_)
        if (t.deadline <= now) due.push_back(id);
    // Earliest first, so that timers due together keep their order.
    std::sort(due.begin(), due.end(), [this](Id a, Id b) {
        const Timer& ta = timers_.at(a);
        const Timer& tb = timers_.at(b);
        return ta.deadline != tb.deadline ? ta.deadline < tb.deadline : a < b;
    });
    bool ran = false;
    for (Id id : due) {
        auto it = timers_.find(id);
        if (it == timers_.end()) continue;  // cancelled by an earlier tick
        Callback cb = it->second.callback;
        if (it->second.repeat) it->second.deadline = Ms::max();  // re-armed after the tick
        else timers_.erase(it);
        cb();
        ran = true;
        it = timers_.find(id);
        if (it != timers_.end() && it->second.repeat && it->second.deadline == Ms::max())
            it->second.deadline = clock().elapsed() + it->second.interval;
    }
    return ran;
}

void EventPump::readSignals() {
    signalfd_siginfo info;
    for (;;) {
        ssize_t n = ::read(signalFd_, &info, sizeof info);
        if (n != static_cast<ssize_t>(sizeof info)) return;
        std::vector<Callback> handlers;
        for (const auto& [id, s] : signals_)
            if (s.signo == static_cast<int>(info.ssi_signo)) handlers.push_back(s.callback);
        for (auto& h : handlers) h();
    }
}

bool EventPump::step(std::optional<Ms> maxWait) {
    // Posted calls and due timers run first, but the descriptors are always
    // polled as well, so a call that keeps posting itself cannot starve them.
    bool ran = runPosted();
    if (fireDueTimers()) ran = true;

    std::optional<Ms> wait = maxWait;
    if (ran || !posted_.empty()) wait = Ms(0);
    if (!timers_.empty()) {
        Ms next = Ms::max();
        for (const auto& [id, t] : timers_) next = std::min(next, t.deadline);
        Ms untilNext = std::max(next - clock().elapsed(), Ms(0));
        wait = wait ? std::min(*wait, untilNext) : untilNext;
    }

    std::vector<pollfd> fds;
    std::vector<Id> ids;
    for (const auto& w : watches_) {
        fds.push_back({w.fd, POLLIN, 0});
        ids.push_back(w.id);
    }
    if (signalFd_ >= 0) fds.push_back({signalFd_, POLLIN, 0});

    timespec ts{};
    timespec* timeout = nullptr;
    bool manualTime = false;
    if (wait) {
        nanoseconds real = clock().realDuration(*wait);
        // A clock driven by hand has no real waits: poll without blocking and
        // move its time on instead.
        manualTime = wait->count() > 0 && real.count() == 0;
        ts.tv_sec = static_cast<time_t>(real.count() / 1000000000);
        ts.tv_nsec = static_cast<long>(real.count() % 1000000000);
        timeout = &ts;
    }
    int rc = ::ppoll(fds.data(), fds.size(), timeout, nullptr);
    if (rc < 0 && errno != EINTR)
        throw Error(errnum::InvalidProcedureCall, std::string("poll: ") + std::strerror(errno), "EventPump");

    if (rc > 0) {
        for (std::size_t i = 0; i < ids.size(); ++i) {
            if (fds[i].revents == 0) continue;
            auto it = std::find_if(watches_.begin(), watches_.end(), [&](const Watch& w) { return w.id == ids[i]; });
            if (it == watches_.end()) continue;  // removed by an earlier callback of this round
            Callback cb = it->callback;
            cb();
            ran = true;
        }
        if (signalFd_ >= 0 && fds.size() > ids.size() && fds.back().revents != 0) {
            readSignals();
            ran = true;
        }
    } else if (rc == 0 && manualTime) {
        clock().sleepFor(*wait);
    }
    if (fireDueTimers()) ran = true;
    return ran;
}

bool EventPump::pumpOnce() { return step(Ms(0)); }

bool EventPump::waitFor(Ms timeout) {
    Ms deadline = clock().elapsed() + timeout;
    for (;;) {
        Ms remaining = std::max(deadline - clock().elapsed(), Ms(0));
        if (step(remaining)) return true;
        if (clock().elapsed() >= deadline) return false;
    }
}

bool EventPump::waitUntil(const std::function<bool()>& done, Ms timeout) {
    Ms deadline = clock().elapsed() + timeout;
    for (;;) {
        if (done()) return true;
        Ms remaining = deadline - clock().elapsed();
        if (remaining <= Ms(0)) return done();
        (void)step(remaining);
    }
}

bool EventPump::waitUntilPeer(const std::function<bool()>& done, Ms bound) {
    using Steady = std::chrono::steady_clock;
    const auto deadline = Steady::now() + std::chrono::duration_cast<Steady::duration>(realBound(bound));
    for (;;) {
        if (done()) return true;
        if (Steady::now() >= deadline) return done();
        // Each slice waits at most the bound's scaled length, so the real
        // deadline is looked at again well before it is overshot twice.
        (void)step(bound);
    }
}

void EventPump::runFor(Ms duration) {
    (void)waitUntil([] { return false; }, duration);
}

void EventPump::run() {
    while (!quit_) (void)step(std::nullopt);
}

PumpTimer::PumpTimer(EventPump& pump, EventPump::Callback onTick) : pump_(pump), onTick_(std::move(onTick)) {}

PumpTimer::~PumpTimer() {
    if (timer_) pump_.cancelTimer(timer_);
}

void PumpTimer::setInterval(EventPump::Ms interval) {
    if (timer_) pump_.cancelTimer(timer_);
    timer_ = 0;
    interval_ = std::max(interval, EventPump::Ms(0));
    if (interval_.count() > 0) timer_ = pump_.addTimer(interval_, [this] { onTick_(); }, true);
}

}  // namespace fg
