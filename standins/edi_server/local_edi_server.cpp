#include "standins/edi_server/local_edi_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <stdexcept>

extern char** environ;

namespace fg::testing {

namespace {

std::string python() {
#ifdef FAXGATE_PYTHON3
    return FAXGATE_PYTHON3;
#else
    return "python3";
#endif
}

int reap(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

// Starts python3 with the arguments; its standard output goes to `outFd`
// when that is not -1.
pid_t spawn(std::vector<std::string> args, const std::vector<std::string>& extraEnv, int outFd) {
    args.insert(args.begin(), python());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envStore(extraEnv);
    std::vector<char*> envp;
    for (char** e = environ; *e; ++e) envp.push_back(*e);
    for (auto& e : envStore) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (outFd >= 0) posix_spawn_file_actions_adddup2(&actions, outFd, 1);
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " + python() + ": " + std::to_string(rc));
    return pid;
}

}  // namespace

std::string LocalEdiServer::script() {
#ifdef FAXGATE_PROGRAM_DIR
    std::string dir = FAXGATE_PROGRAM_DIR;
#else
    std::string dir = ".";
#endif
    if (const char* over = std::getenv("FAXGATE_EDI_SERVER")) return over;
    return dir + "/edi_server.py";
}

void LocalEdiServer::makeCertificates(const std::string& folder) {
    pid_t pid = spawn({script(), "--make-certs", folder}, {}, -1);
    int status = reap(pid);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("edi_server.py --make-certs failed for " + folder);
}

LocalEdiServer::LocalEdiServer(Options options) : options_(std::move(options)) {
    std::vector<std::string> args{script(), "--answers", options_.answers};
    if (!options_.record.empty()) args.insert(args.end(), {"--record", options_.record});
    if (!options_.tlsCert.empty()) args.insert(args.end(), {"--tls-cert", options_.tlsCert, "--tls-key", options_.tlsKey});
    if (!options_.clientCa.empty()) args.insert(args.end(), {"--client-ca", options_.clientCa});

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    try {
        pid_ = spawn(args, options_.environment, fds[1]);
    } catch (...) {
        ::close(fds[0]);
        ::close(fds[1]);
        throw;
    }
    ::close(fds[1]);

    // The first line is "PORT <n>". A server that does not come up within
    // the bound is a broken installation, not a slow one.
    std::string line;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (line.find('\n') == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{fds[0], POLLIN, 0};
        int n = ::poll(&p, 1, static_cast<int>(left.count()));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        char buf[64];
        ssize_t got = ::read(fds[0], buf, sizeof buf);
        if (got <= 0) break;
        line.append(buf, static_cast<size_t>(got));
    }
    ::close(fds[0]);
    if (line.rfind("PORT ", 0) == 0) port_ = std::atoi(line.c_str() + 5);
    if (port_ <= 0) {
        stop();
        throw std::runtime_error("the local EDI server did not start: " + line);
    }
}

namespace {
LocalEdiServer::Options plainOptions(const std::string& answers, const std::string& record) {
    LocalEdiServer::Options o;
    o.answers = answers;
    o.record = record;
    return o;
}
}  // namespace

LocalEdiServer::LocalEdiServer(const std::string& answers, const std::string& record)
    : LocalEdiServer(plainOptions(answers, record)) {}

LocalEdiServer::~LocalEdiServer() { stop(); }

void LocalEdiServer::stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    reap(pid_);
    pid_ = -1;
}

std::string LocalEdiServer::methodRoot(const std::string& host) const {
    std::string scheme = options_.tlsCert.empty() ? "http" : "https";
    return scheme + "://" + host + ":" + std::to_string(port_) + "/edi/";
}

}  // namespace fg::testing
