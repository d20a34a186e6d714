// A worker thread that is created held, given its priority before it first
// runs, and then let go: the start sequence of the fax-modem control, whose
// every step reports its own failure.
//
// Priorities are the control's thread priorities (-15 idle, -2 lowest,
// -1 below normal, 0 normal, 1 above normal, 2 highest, 15 time critical),
// applied as a nice value relative to the starting thread, so "normal" never
// needs a privilege. Raising a worker above its starter needs one; without
// it the start fails at the priority step.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace fg::fax {

class WorkerThread {
public:
    enum class Step { Started, Create, Priority, Resume };
    struct StartResult {
        Step failedAt = Step::Started;  // Started: the worker runs
        long systemError = 0;
    };

    // How long the end of a body is waited for, in the system's time (see
    // realBound for its real floor): a body that hangs (an engine that does
    // not return after a hang-up) must not hang its owner.
    static constexpr std::chrono::milliseconds kJoinBound{30000};

    WorkerThread() = default;
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;
    // Joins the thread within kJoinBound (see join).
    ~WorkerThread();

    // Runs `body` on a new thread. On any failure the body never runs and no
    // thread is left behind.
    StartResult start(std::function<void()> body, int priority);
    // True from a successful start until the body has returned.
    [[nodiscard]] bool running() const { return shared_->running.load(std::memory_order_acquire); }
    // Waits up to `bound` for the body to return and joins the thread; true
    // when it did. False: the thread is let go, ends on its own holding only
    // what its body holds, and the expiry is logged.
    [[nodiscard]] bool join(std::chrono::milliseconds bound = kJoinBound);

    // The nice offset of a priority (0 for an unknown value).
    static int niceOffset(int priority);

private:
    // What the thread shares with its owner, kept alive by both.
    struct Shared {
        std::atomic<bool> running{false};
        std::mutex mutex;
        std::condition_variable ended;
    };
    std::thread thread_;
    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
};

}  // namespace fg::fax
