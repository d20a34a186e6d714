// Runs the test helper program as a child process, through the process
// layer (no shell, nothing of ours inherited, always reaped).
#pragma once

#include "platform/process/process.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

namespace fg::testing {

struct Child {
    Process process;
    pid_t pid = -1;
    int out = -1;  // read end of the child's standard output, when captured

    // Starts the helper with `args`; `env` entries ("NAME=value") are added
    // to this process's environment.
    static Child start(const std::vector<std::string>& args, bool captureOutput = false,
                       const std::vector<std::string>& env = {}) {
        SpawnOptions options;
        options.environment = env;
        int fds[2] = {-1, -1};
        if (captureOutput) {
            if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
            options.outputFd = fds[1];
        }
        Child c;
        try {
            c.process = Process::start(PLATFORM_TEST_HELPER, args, options);
        } catch (...) {
            if (captureOutput) ::close(fds[0]), ::close(fds[1]);
            throw;
        }
        c.pid = c.process.pid();
        if (captureOutput) {
            ::close(fds[1]);
            c.out = fds[0];
        }
        return c;
    }

    // Reads one line of the child's output (blocking).
    std::string readLine() const {
        std::string line;
        char ch;
        while (::read(out, &ch, 1) == 1 && ch != '\n') line += ch;
        return line;
    }

    // Waits for the child; its exit code, or 128 + signal.
    int wait() {
        while (!process.waitFor(std::chrono::milliseconds(60000))) {
        }
        if (out >= 0) ::close(out), out = -1;
        return process.exitCode().value_or(-1);
    }

    void kill(int sig = SIGKILL) const { ::kill(pid, sig); }

    ~Child() {
        if (process.running()) {
            ::kill(pid, SIGKILL);
            wait();
        }
        if (out >= 0) ::close(out);
    }
    Child() = default;
    Child(Child&& o) noexcept : process(std::move(o.process)), pid(o.pid), out(o.out) { o.pid = -1, o.out = -1; }
    Child& operator=(Child&&) = delete;
};

}  // namespace fg::testing
