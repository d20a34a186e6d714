#include "platform/name_hold.h"

#include "platform/clock.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/owned.h"
#include "platform/wait_deadline.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

namespace fg {

namespace {

constexpr std::chrono::milliseconds kMomentAfterDeadline{1000};

bool plainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string("/\0", 2)) == std::string::npos;
}

}  // namespace

std::string NameHold::pathFor(const std::string& folder, const std::string& name) {
    return folder + "." + name + ".hold";
}

NameHold::NameHold(const std::string& folder, const std::string& name, std::chrono::milliseconds bound) {
    if (!plainName(name))
        throw Error(errnum::InvalidProcedureCall, "保持する名前が不正です: \"" + name + "\"", "NameHold");
    path_ = pathFor(folder, name);
    // The holder works in the system's time; the wait for it runs in real
    // time, as every wait on another process does.
    const auto start = std::chrono::steady_clock::now();
    const std::chrono::nanoseconds real = clock().realDuration(bound);
    const std::chrono::nanoseconds limit =
        std::max(WaitDeadline::cap(real), std::chrono::nanoseconds(std::min(bound, kMomentAfterDeadline)));
    std::chrono::milliseconds pause(1);
    for (;;) {
        Descriptor fd(::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
        if (!fd)
            throw Error(errnum::PermissionDenied, "保持ファイルを作れません: " + path_ + ": " + std::strerror(errno),
                        "NameHold");
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) {
            if (fs::stillNamed(fd.get(), path_)) {
                fd_ = fd.release();
                return;
            }
            continue;  // its holder removed it meanwhile: the name is free
        }
        if (errno != EWOULDBLOCK && errno != EINTR)
            throw Error(errnum::PermissionDenied, "保持できません: " + path_ + ": " + std::strerror(errno), "NameHold");
        if (std::chrono::steady_clock::now() - start >= limit)
            throw Error(errnum::PermissionDenied, "保持の待ちが時間切れになりました: " + path_, "NameHold");
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(20));
    }
}

NameHold::~NameHold() {
    // Removed while held: a waiter that opened it takes the lock of a file
    // no longer named, sees so, and makes a new one.
    (void)::unlink(path_.c_str());
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
}

}  // namespace fg
