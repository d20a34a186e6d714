// Runs the local EDI server (edi_server.py in the program folder) as a child
// process for tests, benchmarks and end-to-end runs: started without a
// shell on a port the system chooses, stopped and reaped with the object.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace fg::testing {

class LocalEdiServer {
public:
    struct Options {
        std::string answers;   // folder of canned answers (required)
        std::string record;    // folder that keeps every request ("" for none)
        std::string tlsCert;   // server certificate and key: https when set
        std::string tlsKey;
        std::string clientCa;  // require a client certificate from this CA
        std::vector<std::string> environment;  // "NAME=value" added for the server
    };

    // Starts the server and waits until it listens. Raises std::runtime_error
    // when it cannot be started.
    explicit LocalEdiServer(Options options);
    // A plain HTTP server over `answers`, recording into `record` when given.
    explicit LocalEdiServer(const std::string& answers, const std::string& record = {});
    ~LocalEdiServer();
    LocalEdiServer(const LocalEdiServer&) = delete;
    LocalEdiServer& operator=(const LocalEdiServer&) = delete;

    int port() const { return port_; }
    // The method root of the server, for example "http://127.0.0.1:4711/edi/".
    std::string methodRoot(const std::string& host = "127.0.0.1") const;

    // Stops the server now (the destructor does it otherwise).
    void stop();

    // The server script: edi_server.py in the build's program folder.
    static std::string script();
    // Writes test certificates into `folder` (see edi_server.py --make-certs).
    static void makeCertificates(const std::string& folder);

private:
    Options options_;
    pid_t pid_ = -1;
    int port_ = 0;
};

}  // namespace fg::testing
