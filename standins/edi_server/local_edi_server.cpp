#include "standins/edi_server/local_edi_server.h"

#include "platform/error.h"
#include "platform/testing/run_program.h"

#include <chrono>
#include <cstdlib>
#include <stdexcept>

namespace fg::testing {

namespace {

// How long the server may take to come up, or the certificates to be made,
// in real time: a bound for a broken installation, not for a slow machine.
constexpr std::chrono::seconds kStartBound(30);
constexpr std::chrono::seconds kCertificateBound(120);

std::vector<std::string> scriptArguments(const std::vector<std::string>& args) {
    std::vector<std::string> all{LocalEdiServer::script()};
    all.insert(all.end(), args.begin(), args.end());
    return all;
}

std::runtime_error cannotStart(const Error& e) {
    return std::runtime_error("cannot start the local EDI server: " + e.description());
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
    Process maker;
    try {
        maker = Process::start(interpreter(), scriptArguments({"--make-certs", folder}));
    } catch (const Error& e) {
        throw cannotStart(e);
    }
    // In real time: the certificates take what openssl takes, whatever the
    // system's clock scale. One still running at the bound is killed.
    const int code = waitForEnd(maker, kCertificateBound);
    if (code != 0)
        throw std::runtime_error("edi_server.py --make-certs failed or did not finish for " + folder +
                                 " with exit code " + std::to_string(code));
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

    SpawnOptions spawn;
    spawn.environment = options_.environment;
    // The first line is "PORT <n>"; none means the server failed to start.
    std::string line;
    try {
        process_ = startTellingLine(interpreter(), scriptArguments(args), spawn, line, kStartBound);
    } catch (const Error& e) {
        throw cannotStart(e);
    }
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
    (void)process_.terminate();
    process_ = Process();
}

std::string LocalEdiServer::methodRoot(const std::string& host) const {
    std::string scheme = options_.tlsCert.empty() ? "http" : "https";
    return scheme + "://" + host + ":" + std::to_string(port_) + "/edi/";
}

}  // namespace fg::testing
