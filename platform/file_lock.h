// Cross-process locks for the files and folders that several processes change.
//
// The lock is taken on a lock file beside the target (".<name>.lock", name in
// lower case so that every spelling of the target shares one lock), never on
// the target itself: an atomic save renames a new file over the target, which
// would otherwise leave the lock on a file nobody reads any more.
// Locks are flock(2) locks on their own open file: they also exclude other
// threads of the same process, and they vanish when their holder dies.
// Whoever takes a file's exclusive lock also clears the temporary files that
// writers killed in the middle of a save of that file left behind.
#pragma once

#include <chrono>
#include <string>

namespace fg {

class FileLock {
public:
    enum class Mode { Shared, Exclusive };

    // Locks the file `path` (which need not exist; its folder must). Waits up
    // to `timeout` of the system's time (less when a WaitDeadline of the
    // thread ends sooner, but a second at least), then raises fg::Error 70.
    explicit FileLock(const std::string& path, Mode mode = Mode::Exclusive,
                      std::chrono::milliseconds timeout = std::chrono::milliseconds(120000));
    // Locks a whole folder (the lock file lies inside it).
    static FileLock forFolder(const std::string& folder, Mode mode = Mode::Exclusive,
                              std::chrono::milliseconds timeout = std::chrono::milliseconds(120000));
    // Locks as the constructor does a lock that guards no file of that name
    // (a gate that orders its holders): no temporaries are cleared, so that
    // taking it costs the same however many files its folder holds.
    static FileLock forGate(const std::string& path, Mode mode = Mode::Exclusive,
                            std::chrono::milliseconds timeout = std::chrono::milliseconds(120000));
    // Locks the file `path` itself (made when missing), exclusively, waiting
    // up to `timeout` as the constructor does: the lock of a hold whose
    // holder removes the file before it lets go. A file so removed while
    // this waited is no longer the one of that name: the one there now is
    // locked instead, within the same bound.
    static FileLock ownFile(const std::string& path, std::chrono::milliseconds timeout);
    // Tries once; an unheld lock (held() false) when another holder has it.
    static FileLock tryLock(const std::string& path, Mode mode = Mode::Exclusive);

    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock();

    [[nodiscard]] bool held() const { return fd_ >= 0; }
    void unlock();

    // The lock file that guards `path`.
    static std::string lockPathFor(const std::string& path);

private:
    FileLock() = default;
    static FileLock acquire(const std::string& lockPath, Mode mode, std::chrono::milliseconds timeout, bool once);
    int fd_ = -1;
};

}  // namespace fg
