#include "platform/fax_engine/serial_line.h"

#include "platform/clock.h"
#include "platform/error_log.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace fg::fax {

namespace {

using Steady = std::chrono::steady_clock;

std::string failure(const std::string& what, int error) { return what + ": " + std::strerror(error); }

// A lock file whose writer may still be writing it is left alone this long.
constexpr auto kYoungLock = std::chrono::seconds(10);

speed_t speedConstant(long speed) {
    switch (speed) {
        case 1200: return B1200;
        case 2400: return B2400;
        case 4800: return B4800;
        case 9600: return B9600;
        case 19200: return B19200;
        case 38400: return B38400;
        case 57600: return B57600;
        case 115200: return B115200;
        case 230400: return B230400;
        default: return B0;
    }
}

// The process id a lock file names, or 0 when it names none.
long lockOwner(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return 0;
    char buf[32] = {};
    ssize_t n = ::read(fd, buf, sizeof buf - 1);
    ::close(fd);
    if (n <= 0) return 0;
    buf[n] = 0;
    char* end = nullptr;
    long pid = std::strtol(buf, &end, 10);
    while (end && (*end == ' ' || *end == '\n')) ++end;
    return end && *end == 0 && pid > 0 && pid <= INT_MAX ? pid : 0;
}

bool lockIsYoung(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    return std::time(nullptr) - st.st_mtime < kYoungLock.count();
}

// Takes the lock: Ok, Busy, or Failed with the reason.
SerialLine::Status takeLock(const std::string& lockFile, const std::string& folder, std::string& reason) {
    static std::atomic<unsigned> counter{0};
    const long self = static_cast<long>(::getpid());
    std::string temp = folder + "LTMP." + std::to_string(self) + "." + std::to_string(counter++);
    char content[16];
    std::snprintf(content, sizeof content, "%10ld\n", self);
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        reason = failure("lock file " + temp, errno);
        return SerialLine::Status::Failed;
    }
    bool written = ::write(fd, content, 11) == 11;
    int writeError = errno;
    if (::close(fd) != 0 && written) {
        written = false;
        writeError = errno;
    }
    if (!written) {
        reason = failure("lock file " + temp, writeError);
        ::unlink(temp.c_str());
        return SerialLine::Status::Failed;
    }
    SerialLine::Status status = SerialLine::Status::Busy;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (::link(temp.c_str(), lockFile.c_str()) == 0) {
            status = SerialLine::Status::Ok;
            break;
        }
        if (errno != EEXIST) {
            reason = failure("lock file " + lockFile, errno);
            status = SerialLine::Status::Failed;
            break;
        }
        long owner = lockOwner(lockFile);
        bool alive = owner > 0 && (::kill(static_cast<pid_t>(owner), 0) == 0 || errno == EPERM);
        if (alive || (owner == 0 && lockIsYoung(lockFile))) {
            reason = "locked by process " + std::to_string(owner) + " (" + lockFile + ")";
            break;
        }
        // The process that locked the device has ended: its lock is stale.
        if (::unlink(lockFile.c_str()) != 0 && errno != ENOENT) {
            reason = failure("stale lock file " + lockFile, errno);
            status = SerialLine::Status::Failed;
            break;
        }
        writeDebugLine("FaxEngine", "stale lock file removed: " + lockFile);
    }
    if (::unlink(temp.c_str()) != 0) writeDebugLine("FaxEngine", failure("lock file " + temp, errno));
    return status;
}

void releaseLock(const std::string& lockFile) noexcept {
    if (lockFile.empty()) return;
    // Only a lock that is still ours is removed.
    if (lockOwner(lockFile) != static_cast<long>(::getpid())) return;
    if (::unlink(lockFile.c_str()) != 0) writeDebugLine("FaxEngine", failure("lock file " + lockFile, errno));
}

int pollMillis(Steady::time_point deadline) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Steady::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 1000));
}

// Sets or clears flags of one field of the line's settings.
bool changeFlags(int fd, const std::string& device, tcflag_t termios::*field, tcflag_t flags, bool on,
                 std::string& reason) {
    termios t{};
    if (::tcgetattr(fd, &t) != 0) {
        reason = failure(device + ": line settings", errno);
        return false;
    }
    if (on) t.*field |= flags;
    else t.*field &= ~flags;
    if (::tcsetattr(fd, TCSANOW, &t) != 0) {
        reason = failure(device + ": line settings", errno);
        return false;
    }
    return true;
}

}  // namespace

std::string SerialLine::lockFileFor(const std::string& device, const std::string& lockFolder) {
    std::string name = device;
    if (name.rfind("/dev/", 0) == 0) name = name.substr(5);
    else if (auto slash = name.rfind('/'); slash != std::string::npos) name = name.substr(slash + 1);
    std::replace(name.begin(), name.end(), '/', '_');
    return lockFolder + "LCK.." + name;
}

SerialLine::Opened SerialLine::open(const std::string& device, long speed, const std::string& lockFolder) {
    Opened result;
    speed_t baud = speedConstant(speed);
    if (baud == B0) {
        result.reason = "unsupported line speed " + std::to_string(speed);
        return result;
    }
    // The lock is named after the device itself, whatever link names it.
    char real[PATH_MAX];
    if (!::realpath(device.c_str(), real)) {
        result.status = errno == ENOENT || errno == ENOTDIR ? Status::NoDevice : Status::Failed;
        result.reason = failure(device, errno);
        return result;
    }
    std::unique_ptr<SerialLine> line(new SerialLine);
    line->device_ = device;
    std::string lockFile = lockFileFor(real, lockFolder);
    result.status = takeLock(lockFile, lockFolder, result.reason);
    if (result.status != Status::Ok) return result;
    line->lockFile_ = lockFile;

    line->wake_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (line->wake_ < 0) {
        result.status = Status::Failed;
        result.reason = failure(device + ": eventfd", errno);
        return result;
    }
    line->fd_ = ::open(real, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (line->fd_ < 0) {
        result.status = errno == ENOENT ? Status::NoDevice : errno == EBUSY ? Status::Busy : Status::Failed;
        result.reason = failure(device, errno);
        return result;  // the line's destructor removes the lock
    }
    termios t {};
    if (::tcgetattr(line->fd_, &t) != 0) {
        result.status = Status::Failed;
        result.reason = failure(device + " is not a serial device", errno);
        return result;
    }
    ::cfmakeraw(&t);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | PARENB);
    t.c_cflag |= CS8 | CREAD | CLOCAL | HUPCL | CRTSCTS;
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    // The modem's XON and XOFF, whatever the device had before.
    t.c_cc[VSTART] = 0x11;
    t.c_cc[VSTOP] = 0x13;
    // With VMIN 0 a read of an empty line would answer 0, which must mean
    // the line has gone; with 1 it answers EAGAIN.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    if (::cfsetispeed(&t, baud) != 0 || ::cfsetospeed(&t, baud) != 0 || ::tcsetattr(line->fd_, TCSANOW, &t) != 0) {
        result.status = Status::Failed;
        result.reason = failure(device + ": line settings", errno);
        return result;
    }
    if (::tcflush(line->fd_, TCIOFLUSH) != 0) writeDebugLine("FaxEngine", failure(device + ": flush", errno));
    result.status = Status::Ok;
    result.line = std::move(line);
    return result;
}

SerialLine::~SerialLine() {
    if (fd_ >= 0 && ::close(fd_) != 0) writeDebugLine("FaxEngine", failure(device_ + ": close", errno));
    if (wake_ >= 0) ::close(wake_);
    releaseLock(lockFile_);
}

SerialLine::Io SerialLine::write(std::string_view& bytes, Deadline deadline) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return Io::Lost;
        // The modem holds the data back (CTS low, or its buffer is full).
        if (Steady::now() >= deadline) return Io::TimedOut;
        pollfd p[2] = {{fd_, POLLOUT, 0}, {wake_, POLLIN, 0}};
        int ready = ::poll(p, 2, std::max(1, pollMillis(deadline)));
        if (ready < 0 && errno != EINTR) return Io::Lost;
        if (ready > 0 && (p[0].revents & (POLLERR | POLLNVAL))) return Io::Lost;
        if (ready > 0 && p[1].revents) return Io::TimedOut;
    }
    return Io::Ok;
}

SerialLine::Io SerialLine::read(std::string& into, Deadline deadline) {
    char buf[4096];
    for (;;) {
        ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n > 0) {
            into.append(buf, static_cast<std::size_t>(n));
            return Io::Ok;
        }
        if (n == 0) return Io::Lost;  // the other end of the line has gone
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return Io::Lost;
        int wait = pollMillis(deadline);
        if (wait <= 0) return Io::TimedOut;
        pollfd p[2] = {{fd_, POLLIN, 0}, {wake_, POLLIN, 0}};
        int ready = ::poll(p, 2, wait);
        if (ready < 0 && errno != EINTR) return Io::Lost;
        if (ready > 0 && !(p[0].revents & POLLIN) && (p[0].revents & (POLLERR | POLLHUP | POLLNVAL))) return Io::Lost;
        if (ready > 0 && !(p[0].revents & POLLIN) && p[1].revents) return Io::TimedOut;
    }
}

bool SerialLine::pulseDtr(std::string& reason) {
    int dtr = TIOCM_DTR;
    if (::ioctl(fd_, TIOCMBIC, &dtr) != 0) {
        reason = failure(device_ + ": drop DTR", errno);
        return false;
    }
    clock().sleepFor(std::chrono::milliseconds(500));
    if (::ioctl(fd_, TIOCMBIS, &dtr) != 0) {
        reason = failure(device_ + ": raise DTR", errno);
        return false;
    }
    return true;
}

void SerialLine::interrupt() noexcept {
    // The count is never read back: every later wait ends at once too.
    std::uint64_t one = 1;
    if (::write(wake_, &one, sizeof one) != static_cast<ssize_t>(sizeof one))
        writeDebugLine("FaxEngine", failure(device_ + ": interrupt", errno));
}

bool SerialLine::setFlow(Flow flow, std::string& reason) {
    // The line's own XON/XOFF (IXON) is left to obeyXoff.
    return changeFlags(fd_, device_, &termios::c_cflag, CRTSCTS, flow == Flow::RtsCts, reason);
}

bool SerialLine::obeyXoff(bool on, std::string& reason) {
    return changeFlags(fd_, device_, &termios::c_iflag, IXON, on, reason);
}

void SerialLine::discardInput() {
    if (::tcflush(fd_, TCIFLUSH) != 0) writeDebugLine("FaxEngine", failure(device_ + ": flush", errno));
}

void SerialLine::discardOutput() {
    if (::tcflush(fd_, TCOFLUSH) != 0) writeDebugLine("FaxEngine", failure(device_ + ": flush", errno));
}

}  // namespace fg::fax
