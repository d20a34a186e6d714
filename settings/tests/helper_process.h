// Runs the settings test helper as a child process, without a shell.
#pragma once

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace fg::testing {

class HelperProcess {
public:
    explicit HelperProcess(const std::vector<std::string>& args) {
        std::vector<std::string> all{SETTINGS_TEST_HELPER};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        int rc = posix_spawn(&pid_, all[0].c_str(), nullptr, nullptr, argv.data(), environ);
        if (rc != 0) throw std::runtime_error("posix_spawn failed: " + std::to_string(rc));
    }
    HelperProcess(HelperProcess&& o) noexcept : pid_(o.pid_) { o.pid_ = -1; }
    HelperProcess(const HelperProcess&) = delete;
    HelperProcess& operator=(const HelperProcess&) = delete;
    ~HelperProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            wait();
        }
    }

    // The exit code, or 128 + the signal that ended it.
    int wait() {
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

private:
    pid_t pid_ = -1;
};

}  // namespace fg::testing
