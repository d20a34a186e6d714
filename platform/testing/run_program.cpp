#include "platform/testing/run_program.h"

#include "platform/error.h"
#include "platform/owned.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>
#include <utility>

extern char** environ;

namespace fg::testing {

ProgramRun runProgram(const std::vector<std::string>& args, std::chrono::milliseconds bound) {
    ProgramRun result;
    if (args.empty()) return result;
    std::vector<std::string> store(args);
    std::vector<char*> argv;
    for (auto& a : store) argv.push_back(a.data());
    argv.push_back(nullptr);
    // Read ends [0] and write ends [1] of the pipes for standard output and error.
    Descriptor out[2], err[2];
    for (Descriptor* pipe : {out, err}) {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) return result;
        pipe[0].reset(ends[0]);
        pipe[1].reset(ends[1]);
    }
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) return result;
    pid_t pid = -1;
    int rc = posix_spawn_file_actions_adddup2(&actions, out[1].get(), 1);
    if (rc == 0) rc = posix_spawn_file_actions_adddup2(&actions, err[1].get(), 2);
    if (rc == 0) rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    out[1].reset();
    err[1].reset();
    if (rc != 0) return result;
    auto deadline = std::chrono::steady_clock::now() + bound;
    Descriptor* reading[2] = {&out[0], &err[0]};
    pollfd fds[2] = {{out[0].get(), POLLIN, 0}, {err[0].get(), POLLIN, 0}};
    std::string* sinks[2] = {&result.output, &result.errors};
    int open = 2;
    char buf[4096];
    while (open > 0) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            ::kill(pid, SIGKILL);
            break;
        }
        int ready = ::poll(fds, 2, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR) break;
        for (int i = 0; i < 2 && ready > 0; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                sinks[i]->append(buf, static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                reading[i]->reset();
                fds[i].fd = -1;
                --open;
            }
        }
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

namespace {

// Appends what `fd` has to read, waiting up to the deadline of real time;
// false at its end or the deadline.
bool readMore(int fd, std::chrono::steady_clock::time_point deadline, std::string& into) {
    for (;;) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd, POLLIN, 0};
        int ready = ::poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        char buf[4096];
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        into.append(buf, static_cast<std::size_t>(n));
        return true;
    }
}

}  // namespace

Process startTellingLine(const std::string& program, const std::vector<std::string>& args, SpawnOptions options,
                         std::string& line, std::chrono::milliseconds bound) {
    line.clear();
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) throw Error(errnum::PathFileAccessError, "pipe2 failed");
    Descriptor reading(ends[0]), writing(ends[1]);
    options.childFd = writing.get();
    Process process = Process::start(program, args, options);
    writing.reset();  // the program's end alone: its end of output is seen
    std::string got;
    auto deadline = std::chrono::steady_clock::now() + bound;
    while (got.find('\n') == std::string::npos)
        if (!readMore(reading.get(), deadline, got)) return process;
    line = got.substr(0, got.find('\n'));
    return process;
}

bool processExists(pid_t pid) { return pid > 0 && (::kill(pid, 0) == 0 || errno != ESRCH); }

int waitForEnd(Process& process, std::chrono::milliseconds bound) {
    // Each wait of the process lasts at least a second of real time, also
    // under a clock that stands still or runs fast.
    auto deadline = std::chrono::steady_clock::now() + bound;
    while (!process.waitFor(std::chrono::milliseconds(1000)))
        if (std::chrono::steady_clock::now() >= deadline) {
            (void)process.terminate(std::chrono::milliseconds(0));
            break;
        }
    return process.exitCode().value_or(-1);
}

PipedProgram::PipedProgram(const std::string& program, const std::vector<std::string>& args) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0) throw Error(errnum::PathFileAccessError, "pipe2 failed");
    Descriptor programIn(in[0]);
    input_.reset(in[1]);
    if (::pipe2(out, O_CLOEXEC) != 0) throw Error(errnum::PathFileAccessError, "pipe2 failed");
    output_.reset(out[0]);
    Descriptor programOut(out[1]);
    SpawnOptions options;
    options.inputFd = programIn.get();
    options.outputFd = programOut.get();
    process_ = Process::start(program, args, options);
}

PipedProgram::~PipedProgram() = default;

bool PipedProgram::write(const std::string& bytes) {
    std::size_t done = 0;
    while (input_ && done < bytes.size()) {
        ssize_t n = ::write(input_.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return done == bytes.size();
}

void PipedProgram::closeInput() { input_.reset(); }

bool PipedProgram::fill(std::chrono::steady_clock::time_point deadline) {
    return readMore(output_.get(), deadline, pending_);
}

std::optional<std::string> PipedProgram::readLine(std::chrono::milliseconds bound) {
    auto deadline = std::chrono::steady_clock::now() + bound;
    for (;;) {
        if (std::size_t nl = pending_.find('\n'); nl != std::string::npos) {
            std::string line = pending_.substr(0, nl);
            pending_.erase(0, nl + 1);
            return line;
        }
        if (!fill(deadline)) return std::nullopt;
    }
}

std::string PipedProgram::readAll(std::chrono::milliseconds bound) {
    auto deadline = std::chrono::steady_clock::now() + bound;
    while (fill(deadline)) {
    }
    return std::exchange(pending_, {});
}

bool eventually(const std::function<bool()>& done, std::chrono::milliseconds bound) {
    auto until = std::chrono::steady_clock::now() + bound;
    for (;;) {
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

std::vector<HomeProcess> processesOfHome(const std::string& home) {
    std::vector<HomeProcess> out;
    const std::string needle = "FAXGATE_HOME=" + home;
    DIR* d = ::opendir("/proc");
    if (!d) return out;
    auto read = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        try {
            return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        } catch (const std::ios_base::failure&) {
            return std::string();  // a process that ended as it was read (ESRCH)
        }
    };
    while (dirent* e = ::readdir(d)) {
        pid_t pid = std::atoi(e->d_name);
        if (pid <= 0 || pid == ::getpid()) continue;
        const std::string proc = "/proc/" + std::string(e->d_name);
        std::string env = read(proc + "/environ");
        bool ours = false;
        for (std::size_t at = 0; !ours && (at = env.find(needle, at)) != std::string::npos;) {
            std::size_t end = at + needle.size();
            ours = (at == 0 || env[at - 1] == '\0') && (end == env.size() || env[end] == '\0');
            at = end;
        }
        if (!ours) continue;
        std::string name = read(proc + "/comm");
        while (!name.empty() && name.back() == '\n') name.pop_back();
        out.push_back({pid, name});
    }
    ::closedir(d);
    return out;
}

ProgramRun runPython(const std::string& script, const std::vector<std::string>& args) {
    std::vector<std::string> all{"/usr/bin/python3", "-c", script};
    all.insert(all.end(), args.begin(), args.end());
    return runProgram(all);
}

}  // namespace fg::testing
