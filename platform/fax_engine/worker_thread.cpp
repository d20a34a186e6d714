#include "platform/fax_engine/worker_thread.h"

#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/process/process.h"
#include "platform/wait_bounds.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <system_error>

namespace fg::fax {

namespace {

int threadId() { return static_cast<int>(::syscall(SYS_gettid)); }

// The hand-over between the starter and the held thread.
struct Gate {
    std::mutex mutex;
    std::condition_variable cv;
    bool priorityDone = false;
    int priorityError = 0;
    bool decided = false;
    bool go = false;
};

}  // namespace

int WorkerThread::niceOffset(int priority) {
    switch (priority) {
    case -15: return 19;
    case -2: return 10;
    case -1: return 5;
    case 1: return -5;
    case 2: return -10;
    case 15: return -20;
    default: return 0;
    }
}

WorkerThread::~WorkerThread() { (void)join(kJoinBound); }

bool WorkerThread::join(std::chrono::milliseconds bound) {
    if (!thread_.joinable()) return true;
    {
        std::unique_lock lock(shared_->mutex);
        bool ended = shared_->ended.wait_for(lock, realBound(bound), [&] {
            return !shared_->running.load(std::memory_order_acquire);
        });
        if (!ended) {
            thread_.detach();
            lock.unlock();
            ErrorLogWriter().writeError("WorkerThread",
                                        Error(errnum::InvalidProcedureCall,
                                              "回線の作業スレッドが " + secondsText(bound) +
                                                  "を過ぎても終わりません。待たずに切り離します。",
                                              "WorkerThread"));
            return false;
        }
    }
    thread_.join();
    return true;
}

WorkerThread::StartResult WorkerThread::start(std::function<void()> body, int priority) {
    // The body of an earlier start has its bound to end; one that runs on
    // is let go, and this object starts afresh.
    if (!join(kJoinBound)) shared_ = std::make_shared<Shared>();
    auto gate = std::make_shared<Gate>();
    errno = 0;
    const int starterNice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(threadId()));
    const int offset = niceOffset(priority);
    const int nice = std::clamp(starterNice + offset, -20, 19);
    auto shared = shared_;
    shared->running.store(true, std::memory_order_release);
    try {
        thread_ = std::thread([shared, gate, body = std::move(body), offset, nice] {
            int error = 0;
            if (offset != 0 && ::setpriority(PRIO_PROCESS, static_cast<id_t>(threadId()), nice) != 0) error = errno;
            std::unique_lock lock(gate->mutex);
            gate->priorityDone = true;
            gate->priorityError = error;
            gate->cv.notify_all();
            gate->cv.wait(lock, [&] { return gate->decided; });
            bool go = gate->go;
            lock.unlock();
            if (go) body();
            // Under the mutex, so that a joiner never misses the end.
            std::lock_guard ended(shared->mutex);
            shared->running.store(false, std::memory_order_release);
            shared->ended.notify_all();
        });
    } catch (const std::system_error& e) {
        shared->running.store(false, std::memory_order_release);
        return {Step::Create, e.code().value()};
    }
    std::unique_lock lock(gate->mutex);
    gate->cv.wait(lock, [&] { return gate->priorityDone; });
    gate->decided = true;
    gate->go = gate->priorityError == 0;
    gate->cv.notify_all();
    int error = gate->priorityError;
    lock.unlock();
    if (error != 0) {
        thread_.join();
        return {Step::Priority, error};
    }
    return {};
}

}  // namespace fg::fax
