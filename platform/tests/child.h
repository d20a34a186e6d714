// Runs the test helper program as a child process, without a shell.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace fg::testing {

struct Child {
    pid_t pid = -1;
    int out = -1;  // read end of the child's standard output, when captured

    // Starts the helper with `args`; `env` entries ("NAME=value") are added
    // to this process's environment.
    static Child start(const std::vector<std::string>& args, bool captureOutput = false,
                       const std::vector<std::string>& env = {}) {
        std::vector<std::string> all{PLATFORM_TEST_HELPER};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<std::string> envStore(env);
        std::vector<char*> envp;
        for (char** e = environ; *e; ++e) envp.push_back(*e);
        for (auto& e : envStore) envp.push_back(e.data());
        envp.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        int fds[2] = {-1, -1};
        if (captureOutput) {
            if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
            posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        }
        Child c;
        int rc = posix_spawn(&c.pid, all[0].c_str(), &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (captureOutput) {
            ::close(fds[1]);
            c.out = fds[0];
        }
        if (rc != 0) throw std::runtime_error("posix_spawn failed: " + std::to_string(rc));
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
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        pid = -1;
        if (out >= 0) ::close(out), out = -1;
        if (WIFEXITED(status)) return WEXITSTATUS(status);
        return 128 + WTERMSIG(status);
    }

    void kill(int sig = SIGKILL) const { ::kill(pid, sig); }

    ~Child() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            wait();
        }
    }
    Child() = default;
    Child(Child&& o) noexcept : pid(o.pid), out(o.out) { o.pid = -1, o.out = -1; }
    Child& operator=(Child&&) = delete;
};

}  // namespace fg::testing
