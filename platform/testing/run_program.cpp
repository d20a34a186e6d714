#include "platform/testing/run_program.h"

#include "platform/error.h"

#include <cerrno>
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
    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return result;
    if (::pipe2(err, O_CLOEXEC) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::vector<std::string> store(args);
    std::vector<char*> argv;
    for (auto& a : store) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    if (rc != 0) {
        ::close(out[0]);
        ::close(err[0]);
        return result;
    }
    auto deadline = std::chrono::steady_clock::now() + bound;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.output, &result.errors};
    int open = 2;
    char buf[4096];
    while (open > 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
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
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (auto& f : fds)
        if (f.fd >= 0) ::close(f.fd);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

int waitForEnd(Process& process, std::chrono::milliseconds bound) {
    // Each wait of the process lasts at least a second of real time, also
    // under a clock that stands still or runs fast.
    auto deadline = std::chrono::steady_clock::now() + bound;
    while (!process.waitFor(std::chrono::milliseconds(1000)))
        if (std::chrono::steady_clock::now() >= deadline) {
            process.terminate(std::chrono::milliseconds(0));
            break;
        }
    return process.exitCode().value_or(-1);
}

PipedProgram::PipedProgram(const std::string& program, const std::vector<std::string>& args) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0) throw Error(errnum::PathFileAccessError, "pipe2 failed");
    if (::pipe2(out, O_CLOEXEC) != 0) {
        ::close(in[0]);
        ::close(in[1]);
        throw Error(errnum::PathFileAccessError, "pipe2 failed");
    }
    input_ = in[1];
    output_ = out[0];
    SpawnOptions options;
    options.inputFd = in[0];
    options.outputFd = out[1];
    try {
        process_ = Process::start(program, args, options);
    } catch (...) {
        for (int fd : {in[0], in[1], out[0], out[1]}) ::close(fd);
        throw;
    }
    ::close(in[0]);
    ::close(out[1]);
}

PipedProgram::~PipedProgram() {
    closeInput();
    if (output_ >= 0) ::close(output_);
}

bool PipedProgram::write(const std::string& bytes) {
    std::size_t done = 0;
    while (input_ >= 0 && done < bytes.size()) {
        ssize_t n = ::write(input_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return done == bytes.size();
}

void PipedProgram::closeInput() {
    if (input_ >= 0) ::close(input_);
    input_ = -1;
}

bool PipedProgram::fill(std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{output_, POLLIN, 0};
        int ready = ::poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        char buf[4096];
        ssize_t n = ::read(output_, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        pending_.append(buf, static_cast<std::size_t>(n));
        return true;
    }
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

}  // namespace fg::testing
