#include "standins/edi_server/local_edi_server.h"

#include "platform/error.h"
#include "platform/owned.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <stdexcept>

namespace fg::testing {

namespace {

using Steady = std::chrono::steady_clock;

// How long the server may take to come up, or the certificates to be made,
// in real time: a bound for a broken installation, not for a slow machine.
constexpr std::chrono::seconds kStartBound(30);
constexpr std::chrono::seconds kCertificateBound(120);

int millisecondsLeft(Steady::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Steady::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Waits for the process to end, in real time (the certificates take what
// openssl takes, whatever the system's clock scale).
bool waitForEnd(Process& process, std::chrono::seconds bound) {
    auto deadline = Steady::now() + bound;
    while (process.running()) {
        int left = millisecondsLeft(deadline);
        if (left == 0) return false;
        if (process.descriptor() >= 0) {
            pollfd p{process.descriptor(), POLLIN, 0};
            if (::poll(&p, 1, left) < 0 && errno != EINTR) return false;
        } else {
            process.waitFor(std::chrono::milliseconds(std::min(left, 100)));
        }
    }
    return true;
}

Process startScript(const std::vector<std::string>& args, const SpawnOptions& options) {
    std::vector<std::string> all{LocalEdiServer::script()};
    all.insert(all.end(), args.begin(), args.end());
    try {
        return Process::start(LocalEdiServer::interpreter(), all, options);
    } catch (const Error& e) {
        throw std::runtime_error("cannot start the local EDI server: " + e.description());
    }
}

}  // namespace

std::string LocalEdiServer::script() {
    if (const char* over = std::getenv("FAXGATE_EDI_SERVER")) return over;
#ifdef FAXGATE_PROGRAM_DIR
    return std::string(FAXGATE_PROGRAM_DIR) + "/edi_server.py";
#else
    return runningProgramFolder() + "edi_server.py";
#endif
}

std::string LocalEdiServer::interpreter() {
#ifdef FAXGATE_PYTHON3
    return FAXGATE_PYTHON3;
#else
    return "/usr/bin/python3";
#endif
}

void LocalEdiServer::makeCertificates(const std::string& folder) {
    Process maker = startScript({"--make-certs", folder}, {});
    if (!waitForEnd(maker, kCertificateBound)) {
        maker.terminate();
        throw std::runtime_error("edi_server.py --make-certs did not finish for " + folder);
    }
    if (maker.exitCode() != 0)
        throw std::runtime_error("edi_server.py --make-certs failed for " + folder + " with exit code " +
                                 std::to_string(maker.exitCode().value_or(-1)));
}

const TempDir& LocalEdiServer::testCertificates() {
    static TempDir folder;
    static const bool made = (makeCertificates(folder.path()), true);
    static_cast<void>(made);
    return folder;
}

LocalEdiServer::Options LocalEdiServer::overTls(const std::string& answers, const std::string& name) {
    Options o;
    o.answers = answers;
    o.tlsCert = testCertificates() / (name + ".pem");
    o.tlsKey = testCertificates() / (name + ".key");
    return o;
}

LocalEdiServer::LocalEdiServer(Options options) : options_(std::move(options)) {
    // The server reports its port on descriptor 3, a pipe of our own, so its
    // standard output stays the caller's.
    std::vector<std::string> args{"--answers", options_.answers, "--port-fd", "3"};
    if (!options_.record.empty()) args.insert(args.end(), {"--record", options_.record});
    if (!options_.tlsCert.empty()) args.insert(args.end(), {"--tls-cert", options_.tlsCert, "--tls-key", options_.tlsKey});
    if (!options_.clientCa.empty()) args.insert(args.end(), {"--client-ca", options_.clientCa});

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    Descriptor portIn(fds[0]), portOut(fds[1]);
    SpawnOptions spawn;
    spawn.environment = options_.environment;
    spawn.childFd = portOut.get();
    process_ = startScript(args, spawn);
    portOut.reset();

    // The first line is "PORT <n>"; an end of file first means the server
    // failed to start.
    std::string line;
    auto deadline = Steady::now() + kStartBound;
    while (line.find('\n') == std::string::npos) {
        int left = millisecondsLeft(deadline);
        if (left == 0) break;
        pollfd p{portIn.get(), POLLIN, 0};
        int n = ::poll(&p, 1, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        char buf[64];
        ssize_t got = ::read(portIn.get(), buf, sizeof buf);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        line.append(buf, static_cast<size_t>(got));
    }
    portIn.reset();
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
    if (!process_.valid()) return;
    process_.terminate();
    process_ = Process();
}

std::string LocalEdiServer::methodRoot(const std::string& host) const {
    std::string scheme = options_.tlsCert.empty() ? "http" : "https";
    return scheme + "://" + host + ":" + std::to_string(port_) + "/edi/";
}

}  // namespace fg::testing
