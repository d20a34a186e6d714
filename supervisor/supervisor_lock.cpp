#include "supervisor/supervisor_lock.h"

#include "platform/error.h"
#include "platform/files.h"

#include <chrono>
#include <thread>

namespace fg {

std::string SupervisorLock::guardedPath() { return fs::programFolder() + "Tolvern"; }

FileLock SupervisorLock::acquire() {
    // A window that tests the lock holds it for an instant: try for a little
    // while (in real time, as every lock wait) rather than take that instant
    // for a second supervisor.
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    for (;;) {
        FileLock lock = FileLock::tryLock(guardedPath());
        if (lock.held() || std::chrono::steady_clock::now() >= until) return lock;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

bool SupervisorLock::supervisorRunning() {
    try {
        FileLock probe = FileLock::tryLock(guardedPath(), FileLock::Mode::Shared);
        return !probe.held();
    } catch (const Error&) {
        // No lock file can be made: no supervisor could have made one either.
        return false;
    }
}

}  // namespace fg
