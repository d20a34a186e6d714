#include "platform/file_lock.h"

#include "platform/error.h"
#include "platform/files.h"
#include "platform/owned.h"
#include "platform/text.h"
#include "platform/wait_deadline.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

namespace fg {

std::string FileLock::lockPathFor(const std::string& path) {
    std::string folder = fs::folderOf(path);
    if (auto real = fs::resolve(folder.empty() ? "." : folder)) folder = fs::withSlash(*real);
    return folder + "." + text::toLowerAscii(fs::nameOf(path)) + ".lock";
}

namespace {

constexpr std::chrono::milliseconds kMomentAfterDeadline{1000};

}  // namespace

FileLock FileLock::acquire(const std::string& lockPath, Mode mode, std::chrono::milliseconds timeout, bool once) {
    FileLock lock;
    Descriptor fd(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (!fd)
        throw Error(errnum::PermissionDenied,
                    "ロックファイルを開けません: " + lockPath + ": " + std::strerror(errno));
    int op = (mode == Mode::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    // Lock waits are waits on other processes, not on the system's schedule,
    // so they run in real time whatever clock the process uses.
    auto start = std::chrono::steady_clock::now();
    // The work this wait belongs to may have a deadline of its own. Even
    // past it a lock held for a moment is waited for, so that what is
    // written after the deadline (a log line of the failure) is not lost.
    const std::chrono::nanoseconds bound =
        std::max(WaitDeadline::cap(timeout), std::chrono::nanoseconds(std::min(timeout, kMomentAfterDeadline)));
    std::chrono::milliseconds pause(1);
    for (;;) {
        if (::flock(fd.get(), op) == 0) break;
        if (errno != EWOULDBLOCK && errno != EINTR)
            throw Error(errnum::PermissionDenied, "ロックできません: " + lockPath + ": " + std::strerror(errno));
        if (once) return lock;
        if (std::chrono::steady_clock::now() - start >= bound)
            throw Error(errnum::PermissionDenied, "ロック待ちが時間切れになりました: " + lockPath);
        // Holders keep a lock for one load-change-save only, so retry soon:
        // a long pause leaves the lock idle while waiters sleep. A wait that
        // goes on (a holder stuck on a slow disk) backs off further.
        std::this_thread::sleep_for(pause);
        auto cap = std::chrono::steady_clock::now() - start < std::chrono::seconds(1) ? std::chrono::milliseconds(2)
                                                                                      : std::chrono::milliseconds(20);
        pause = std::min(pause * 2, cap);
    }
    lock.fd_ = fd.release();
    return lock;
}

FileLock::FileLock(const std::string& path, Mode mode, std::chrono::milliseconds timeout) {
    *this = acquire(lockPathFor(path), mode, timeout, false);
    if (mode == Mode::Exclusive) fs::removeStaleTemporaries(path);
}

FileLock FileLock::forFolder(const std::string& folder, Mode mode, std::chrono::milliseconds timeout) {
    auto real = fs::resolve(folder);
    std::string base = fs::withSlash(real ? *real : folder);
    return acquire(base + ".folder.lock", mode, timeout, false);
}

FileLock FileLock::forGate(const std::string& path, Mode mode, std::chrono::milliseconds timeout) {
    return acquire(lockPathFor(path), mode, timeout, false);
}

FileLock FileLock::ownFile(const std::string& path, std::chrono::milliseconds timeout) {
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        const auto spent =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        const auto left = std::max(timeout - spent, std::chrono::milliseconds(0));
        FileLock lock = acquire(path, Mode::Exclusive, left, false);
        if (fs::stillNamed(lock.fd_, path)) return lock;
    }
}

FileLock FileLock::tryLock(const std::string& path, Mode mode) {
    FileLock lock = acquire(lockPathFor(path), mode, std::chrono::milliseconds(0), true);
    if (lock.held() && mode == Mode::Exclusive) fs::removeStaleTemporaries(path);
    return lock;
}

FileLock::FileLock(FileLock&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        unlock();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

FileLock::~FileLock() { unlock(); }

void FileLock::unlock() {
    if (fd_ >= 0) {
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
        fd_ = -1;
    }
}

}  // namespace fg
