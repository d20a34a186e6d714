#include "platform/process/process.h"

#include "platform/clock.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/owned.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace fg {

namespace {

using std::chrono::nanoseconds;
using Steady = std::chrono::steady_clock;

int openPidfd(pid_t pid) {
#ifdef SYS_pidfd_open
    long fd = ::syscall(SYS_pidfd_open, pid, 0);
    if (fd >= 0) {
        ::fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
        return static_cast<int>(fd);
    }
#endif
    (void)pid;
    return -1;
}

struct Argv {
    std::vector<std::string> store;
    std::vector<char*> ptrs;
    char** data() { return ptrs.data(); }
};

Argv makeArgv(const std::string& program, const std::vector<std::string>& args) {
    Argv a;
    a.store.reserve(args.size() + 1);
    a.store.push_back(program);
    a.store.insert(a.store.end(), args.begin(), args.end());
    for (auto& s : a.store) a.ptrs.push_back(s.data());
    a.ptrs.push_back(nullptr);
    return a;
}

Argv makeEnv(const SpawnOptions& options, bool withChildFd) {
    Argv e;
    std::vector<std::string> extra = options.environment;
    if (withChildFd) extra.push_back("FAXGATE_CHILD_FD=3");
    auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
    for (char** p = environ; p && *p; ++p) {
        std::string entry(*p);
        std::string name = nameOf(entry);
        bool replaced = std::any_of(extra.begin(), extra.end(), [&](const std::string& x) { return nameOf(x) == name; });
        if (!replaced) e.store.push_back(std::move(entry));
    }
    for (auto& x : extra) e.store.push_back(x);
    for (auto& s : e.store) e.ptrs.push_back(s.data());
    e.ptrs.push_back(nullptr);
    return e;
}

// The checks a start makes before it forks, so that the caller learns which
// of its inputs was wrong.
void checkStart(const std::string& program, const SpawnOptions& options) {
    struct stat st {};
    if (program.empty() || ::stat(program.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        throw Error(errnum::FileNotFound, "プログラムが見つかりません: " + program, "Process");
    if (::access(program.c_str(), X_OK) != 0)
        throw Error(errnum::PermissionDenied, "プログラムを実行できません: " + program, "Process");
    if (!options.workingFolder.empty()) {
        if (::stat(options.workingFolder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            throw Error(errnum::PathNotFound, "作業フォルダが見つかりません: " + options.workingFolder, "Process");
    }
}

Error startError(int err, const std::string& program) {
    long number = err == ENOENT ? errnum::FileNotFound
                  : err == EACCES || err == EPERM ? errnum::PermissionDenied
                                                 : errnum::PathFileAccessError;
    return Error(number, "プログラムを起動できません: " + program + ": " + std::strerror(err), "Process");
}

int decodeStatus(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

// Waits for a descriptor to become readable, up to a real-time deadline.
bool pollReadable(int fd, Steady::time_point deadline) {
    for (;;) {
        auto left = deadline - Steady::now();
        if (left < Steady::duration::zero()) left = Steady::duration::zero();
        nanoseconds ns = std::chrono::duration_cast<nanoseconds>(left);
        timespec ts{static_cast<time_t>(ns.count() / 1000000000), static_cast<long>(ns.count() % 1000000000)};
        pollfd p{fd, POLLIN, 0};
        int rc = ::ppoll(&p, 1, &ts, nullptr);
        if (rc > 0) return true;
        if (rc == 0) return false;
        if (errno != EINTR) return false;
    }
}

// Moves a descriptor of the caller's to a number of 10 or more, so that the
// child's own descriptors 0 to 3 can be set up without closing it.
int highDescriptor(int fd) {
    int high = ::fcntl(fd, F_DUPFD_CLOEXEC, 10);
    ::close(fd);
    return high;
}

// The start of a child that is to end with its parent: the parent-death
// signal can only be asked for by the child itself, between fork and exec,
// where posix_spawn offers no step. Only async-signal-safe calls run in the
// child; a failure before the exec comes back through a pipe.
pid_t forkChild(const std::string& program, Argv& argv, Argv& envp, const SpawnOptions& options) {
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) throw startError(errno, program);
    report[0] = highDescriptor(report[0]);
    report[1] = highDescriptor(report[1]);
    if (report[0] < 0 || report[1] < 0) {
        int err = errno;
        if (report[0] >= 0) ::close(report[0]);
        if (report[1] >= 0) ::close(report[1]);
        throw startError(err, program);
    }
    const pid_t parent = ::getpid();
    const char* folder = options.workingFolder.empty() ? nullptr : options.workingFolder.c_str();
    const char* outputFile = options.outputFile.empty() ? nullptr : options.outputFile.c_str();
    sigset_t none;
    sigemptyset(&none);

    pid_t pid = ::fork();
    if (pid < 0) {
        int err = errno;
        ::close(report[0]);
        ::close(report[1]);
        throw startError(err, program);
    }
    if (pid == 0) {
        auto fail = [&](int err) {
            ssize_t ignored = ::write(report[1], &err, sizeof err);
            (void)ignored;
            ::_exit(127);
        };
        if (options.ownProcessGroup && ::setpgid(0, 0) != 0) fail(errno);
        if (options.endWithParent) {
            if (::prctl(PR_SET_PDEATHSIG, SIGTERM) != 0) fail(errno);
            // The parent may have ended before the request took hold.
            if (::getppid() != parent) ::_exit(128 + SIGTERM);
        }
        int lowest = 3;
        if (options.outputFd >= 0 && options.outputFd != 1 && ::dup2(options.outputFd, 1) < 0) fail(errno);
        if (options.childFd >= 0) {
            if (options.childFd == 3) {
                if (::fcntl(3, F_SETFD, 0) != 0) fail(errno);
            } else if (::dup2(options.childFd, 3) < 0) {
                fail(errno);
            }
            lowest = 4;
        }
        if (outputFile) {
            int fd = ::open(outputFile, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            if (fd < 0 || ::dup2(fd, 1) < 0 || ::dup2(1, 2) < 0) fail(errno);
            ::close(fd);
        }
#ifdef SYS_close_range
        // Nothing of ours leaks into the program (the report pipe closes at exec).
        ::syscall(SYS_close_range, static_cast<unsigned>(lowest), ~0u, 4u /* CLOSE_RANGE_CLOEXEC */);
#endif
        if (folder && ::chdir(folder) != 0) fail(errno);
        for (int s = 1; s < NSIG; ++s)
            if (s != SIGKILL && s != SIGSTOP) ::signal(s, SIG_DFL);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::execve(argv.data()[0], argv.data(), envp.data());
        fail(errno);
    }
    ::close(report[1]);
    int err = 0;
    ssize_t n;
    while ((n = ::read(report[0], &err, sizeof err)) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    if (n == static_cast<ssize_t>(sizeof err)) {
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        throw startError(err, program);
    }
    return pid;
}

nanoseconds realBoundWithFloor(std::chrono::milliseconds bound, nanoseconds floor) {
    return std::max(clock().realDuration(bound), std::min<nanoseconds>(bound, floor));
}

}  // namespace

nanoseconds realBound(std::chrono::milliseconds bound) { return realBoundWithFloor(bound, std::chrono::seconds(15)); }

nanoseconds realStartBound(std::chrono::milliseconds bound) {
    return realBoundWithFloor(bound, std::chrono::seconds(60));
}

Process Process::start(const std::string& program, const std::vector<std::string>& args, const SpawnOptions& options) {
    checkStart(program, options);
    Argv argv = makeArgv(program, args);
    Argv envp = makeEnv(options, options.childFd >= 0);
    if (options.endWithParent) {
        Process p;
        p.pid_ = forkChild(program, argv, envp, options);
        p.pidfd_ = openPidfd(p.pid_);
        return p;
    }

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    if (posix_spawn_file_actions_init(&actions) != 0) throw startError(ENOMEM, program);
    if (posix_spawnattr_init(&attr) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        throw startError(ENOMEM, program);
    }
    struct Cleanup {
        posix_spawn_file_actions_t* a;
        posix_spawnattr_t* b;
        ~Cleanup() {
            posix_spawn_file_actions_destroy(a);
            posix_spawnattr_destroy(b);
        }
    } cleanup{&actions, &attr};

    int rc = 0;
    int lowest = 3;
    int spare = -1;
    struct SpareClose {
        int& fd;
        ~SpareClose() {
            if (fd >= 0) ::close(fd);
        }
    } spareClose{spare};
    // Standard input and output first: a descriptor numbered 3 is copied
    // before the child object's socket takes that number.
    if (options.inputFd >= 0 && options.inputFd != 0) rc = posix_spawn_file_actions_adddup2(&actions, options.inputFd, 0);
    if (rc == 0 && options.outputFd >= 0 && options.outputFd != 1)
        rc = posix_spawn_file_actions_adddup2(&actions, options.outputFd, 1);
    if (rc == 0 && options.childFd >= 0) {
        int from = options.childFd;
        if (from == 3) {
            // dup2 onto itself would leave close-on-exec set: go through a spare number.
            spare = ::fcntl(from, F_DUPFD_CLOEXEC, 10);
            if (spare < 0) throw startError(errno, program);
            from = spare;
        }
        rc = posix_spawn_file_actions_adddup2(&actions, from, 3);
        lowest = 4;
    }
    // Nothing of ours leaks into the child: above all no lock descriptor,
    // which would keep a lock alive after its holder has gone.
    if (rc == 0) rc = posix_spawn_file_actions_addclosefrom_np(&actions, lowest);
    if (rc == 0 && !options.outputFile.empty()) {
        rc = posix_spawn_file_actions_addopen(&actions, 1, options.outputFile.c_str(),
                                              O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (rc == 0) rc = posix_spawn_file_actions_adddup2(&actions, 1, 2);
    }
    if (rc == 0 && !options.workingFolder.empty())
        rc = posix_spawn_file_actions_addchdir_np(&actions, options.workingFolder.c_str());
    // The child starts with the default signal mask and dispositions, whatever
    // the caller blocks for its own event pump.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (options.newSession) flags |= POSIX_SPAWN_SETSID;
    if (options.ownProcessGroup) flags |= POSIX_SPAWN_SETPGROUP;
    if (rc == 0 && options.ownProcessGroup) rc = posix_spawnattr_setpgroup(&attr, 0);
    if (rc == 0) rc = posix_spawnattr_setsigmask(&attr, &none);
    if (rc == 0) rc = posix_spawnattr_setsigdefault(&attr, &all);
    if (rc == 0) rc = posix_spawnattr_setflags(&attr, flags);
    if (rc != 0) throw startError(rc, program);

    pid_t pid = -1;
    rc = posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), envp.data());
    if (rc != 0) throw startError(rc, program);
    Process p;
    p.pid_ = pid;
    p.pidfd_ = openPidfd(pid);
    return p;
}

pid_t Process::startDetached(const std::string& program, const std::vector<std::string>& args,
                             const SpawnOptions& options) {
    checkStart(program, options);
    Argv argv = makeArgv(program, args);
    Argv envp = makeEnv(options, false);
    const char* folder = options.workingFolder.empty() ? nullptr : options.workingFolder.c_str();

    // The grandchild reports a failed exec through this pipe; a successful
    // exec closes it (close-on-exec) and the parent reads nothing.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) throw startError(errno, program);
    int ids[2];
    if (::pipe2(ids, O_CLOEXEC) != 0) {
        ::close(report[0]);
        ::close(report[1]);
        throw startError(errno, program);
    }
    sigset_t none;
    sigemptyset(&none);

    pid_t middle = ::fork();
    if (middle < 0) {
        int err = errno;
        for (int fd : {report[0], report[1], ids[0], ids[1]}) ::close(fd);
        throw startError(err, program);
    }
    if (middle == 0) {
        // Only async-signal-safe calls between fork and exec.
        if (options.newSession) ::setsid();
        pid_t grandchild = ::fork();
        if (grandchild != 0) {
            ssize_t ignored = ::write(ids[1], &grandchild, sizeof grandchild);
            (void)ignored;
            ::_exit(grandchild < 0 ? 1 : 0);
        }
        for (int s = 1; s < NSIG; ++s) ::signal(s, SIG_DFL);
#ifdef SYS_close_range
        // Nothing of ours leaks into the program (the report pipe closes at exec).
        ::syscall(SYS_close_range, 3u, ~0u, 4u /* CLOSE_RANGE_CLOEXEC */);
#endif
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        int err = 0;
        if (folder && ::chdir(folder) != 0) err = errno;
        if (err == 0) {
            ::execve(argv.data()[0], argv.data(), envp.data());
            err = errno;
        }
        ssize_t ignored = ::write(report[1], &err, sizeof err);
        (void)ignored;
        ::_exit(127);
    }
    ::close(report[1]);
    ::close(ids[1]);
    int status = 0;
    while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    pid_t grandchild = -1;
    ssize_t got = ::read(ids[0], &grandchild, sizeof grandchild);
    ::close(ids[0]);
    int err = 0;
    ssize_t n;
    while ((n = ::read(report[0], &err, sizeof err)) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    if (got != static_cast<ssize_t>(sizeof grandchild) || grandchild <= 0) throw startError(EAGAIN, program);
    if (n == static_cast<ssize_t>(sizeof err)) throw startError(err, program);
    return grandchild;
}

Process::Process(Process&& other) noexcept
    : pid_(other.pid_), pidfd_(other.pidfd_), exitCode_(other.exitCode_) {
    other.pid_ = -1;
    other.pidfd_ = -1;
    other.exitCode_.reset();
}

Process& Process::operator=(Process&& other) noexcept {
    if (this != &other) {
        if (pid_ > 0 && !exitCode_) (void)terminate();
        closeDescriptor();
        pid_ = other.pid_;
        pidfd_ = other.pidfd_;
        exitCode_ = other.exitCode_;
        other.pid_ = -1;
        other.pidfd_ = -1;
        other.exitCode_.reset();
    }
    return *this;
}

Process::~Process() {
    if (pid_ > 0 && !exitCode_) (void)terminate();
    closeDescriptor();
}

void Process::closeDescriptor() {
    if (pidfd_ >= 0) ::close(pidfd_);
    pidfd_ = -1;
}

void Process::reapIfEnded(bool block) {
    if (pid_ <= 0 || exitCode_) return;
    int status = 0;
    pid_t r;
    while ((r = ::waitpid(pid_, &status, block ? 0 : WNOHANG)) < 0 && errno == EINTR) {
    }
    if (r == pid_) {
        exitCode_ = decodeStatus(status);
        closeDescriptor();
    } else if (r < 0 && errno == ECHILD) {
        // Reaped elsewhere (or never ours): it has ended all the same.
        exitCode_ = -1;
        closeDescriptor();
    }
}

bool Process::running() {
    if (pid_ <= 0) return false;
    reapIfEnded(false);
    return !exitCode_;
}

bool Process::waitFor(Ms bound) {
    if (pid_ <= 0) return true;
    reapIfEnded(false);
    if (exitCode_) return true;
    auto deadline = Steady::now() + std::chrono::duration_cast<Steady::duration>(realBound(bound));
    if (pidfd_ >= 0) {
        if (pollReadable(pidfd_, deadline)) reapIfEnded(false);
        return exitCode_.has_value();
    }
    // Without a process descriptor: look now and then, without spinning.
    while (!exitCode_ && Steady::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        reapIfEnded(false);
    }
    return exitCode_.has_value();
}

bool Process::terminate(Ms grace) {
    if (!running()) return true;
    ::kill(pid_, SIGTERM);
    if (waitFor(grace)) return true;
    ::kill(pid_, SIGKILL);
    // A killed process ends; the wait only takes as long as the kernel needs.
    reapIfEnded(true);
    return false;
}

void Process::kill() {
    if (!running()) return;
    ::kill(pid_, SIGKILL);
    reapIfEnded(true);
}

void Process::detach() {
    closeDescriptor();
    pid_ = -1;
    exitCode_.reset();
}

ProcessId currentProcessId() { return ::getpid(); }

void replaceProcess(const std::string& program, const std::vector<std::string>& args) {
    checkStart(program, {});
    Argv argv = makeArgv(program, args);
    ::execv(argv.data()[0], argv.data());
    throw startError(errno, program);
}

bool processExists(pid_t pid) { return pid > 0 && !fs::writerEnded(pid); }

std::string processMark(pid_t pid) {
    if (pid <= 0) return {};
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    if (!in || !std::getline(in, stat)) return {};
    // The program's name may hold blanks and parentheses: the fields are
    // counted from after its last ")". The start time is field 22.
    std::size_t at = stat.rfind(')');
    if (at == std::string::npos) return {};
    std::istringstream fields(stat.substr(at + 1));
    std::string field;
    for (int n = 3; n <= 22 && fields >> field; ++n) {
        // A zombie has ended: only its parent has not reaped it (or, its
        // parent dead too, a first process that reaps nothing).
        if (n == 3 && (field == "Z" || field == "X")) return {};
        if (n == 22) return std::to_string(pid) + ":" + field;
    }
    return {};
}

bool processMarkLive(const std::string& mark) {
    pid_t pid = 0;
    std::from_chars(mark.data(), mark.data() + mark.size(), pid);
    return pid > 0 && processMark(pid) == mark;
}

bool endLeftoverProcess(pid_t pid, const std::string& program, std::chrono::milliseconds grace) {
    if (pid <= 0) return false;
    // The descriptor holds on to that very process: a process id that comes
    // round again to another program while we look is not touched.
    Descriptor pidfd(openPidfd(pid));
    if (!pidfd) return false;
    const int fd = pidfd.get();
    struct stat running {}, wanted {};
    if (::stat(("/proc/" + std::to_string(pid) + "/exe").c_str(), &running) != 0 ||
        ::stat(program.c_str(), &wanted) != 0 || running.st_dev != wanted.st_dev || running.st_ino != wanted.st_ino)
        return false;
    auto signal = [&](int signo) {
#ifdef SYS_pidfd_send_signal
        return ::syscall(SYS_pidfd_send_signal, fd, signo, nullptr, 0) == 0;
#else
        return ::kill(pid, signo) == 0;
#endif
    };
    if (!signal(SIGTERM)) return false;
    auto deadline = Steady::now() + std::chrono::duration_cast<Steady::duration>(realBound(grace));
    if (pollReadable(fd, deadline)) return true;
    signal(SIGKILL);
    return pollReadable(fd, Steady::now() + std::chrono::seconds(10));
}

std::string runningProgramFolder() {
    char buf[4096];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "./";
    return fs::folderOf(std::string(buf, static_cast<std::size_t>(n)));
}

std::optional<std::string> findOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string dir = dirs.substr(start, end - start);
        start = end + 1;
        if (dir.empty()) continue;
        std::string candidate = fs::join(dir, name);
        struct stat st {};
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return std::nullopt;
}

std::optional<std::string> findProgram(const std::string& name) {
    for (const std::string& folder : {runningProgramFolder(), fs::programFolder()}) {
        if (auto path = fs::resolve(fs::join(folder, name))) {
            struct stat st {};
            if (::stat(path->c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path->c_str(), X_OK) == 0)
                return path;
        }
    }
    return std::nullopt;
}

}  // namespace fg
