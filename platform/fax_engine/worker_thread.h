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
#include <functional>
#include <memory>
#include <thread>

namespace fg::fax {

class WorkerThread {
public:
    enum class Step { Started, Create, Priority, Resume };
    struct StartResult {
        Step failedAt = Step::Started;  // Started: the worker runs
        long systemError = 0;
    };

    WorkerThread() = default;
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;
    // Joins the thread; a running body is waited for.
    ~WorkerThread();

    // Runs `body` on a new thread. On any failure the body never runs and no
    // thread is left behind.
    StartResult start(std::function<void()> body, int priority);
    // True from a successful start until the body has returned.
    bool running() const { return running_.load(std::memory_order_acquire); }
    void join();

    // The nice offset of a priority (0 for an unknown value).
    static int niceOffset(int priority);

private:
    std::thread thread_;
    std::atomic<bool> running_{false};
};

}  // namespace fg::fax
