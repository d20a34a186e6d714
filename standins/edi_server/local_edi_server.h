// The local EDI server for tests, benchmarks, end-to-end runs and the demo.
//
// edi_server.py (installed in the program folder) serves the thirteen
// servlets ("<root>servlets/GetEdiData" and the others) on 127.0.0.1, over
// http, or https with --tls-cert/--tls-key. It speaks the HTTP binding of
// platform/http/http_connection.h. In short:
//
//   Canned answers, one folder per servlet inside the answers folder, read
//   again on every request (so a test or a demo may change them between
//   exchanges):
//     <answers>/<Servlet>/NAME          served as the data file NAME;
//     <answers>/<Servlet>/NAME.tgz/     a folder served as a tar/gzip archive
//                                       of its files (answer.tgz/answer.xml,
//                                       or a data archive with index.csv);
//     <answers>/<Servlet>/1/, 2/, ...   numbered steps: the k-th request of
//                                       the servlet gets the one entry of
//                                       step k, later ones the default;
//     <answers>/<Servlet>/code-NNNN/1/, 2/, ...
//                                       steps of one information code: the
//                                       k-th request naming code NNNN gets
//                                       step k;
//     <answers>/GetFaxReminder/kept/NAME
//                                       reminder entries kept until a
//                                       DelFaxReminder names them: a
//                                       reminder fetch gets all still kept,
//                                       in an archive of a new name;
//     (nothing canned)                  answer.tgz with /Answer/ErrCode
//                                       "C0404" for fetches, "C0000" for sends.
//     Hidden files (".name") are never answers.
//   Failures: while <answers>/<Servlet>.fault exists its lines apply:
//     "status N", "delay MS" (times FAXGATE_TIME_SCALE), "broken",
//     "truncate", "close", "reset" (before the body is read), "banner TEXT"
//     (no HTTP at all), "code CNNNN", "noname", "name NAME", "generate N"
//     (the data file generated.dat of N bytes, byte i being i mod 251, made
//     as it goes out: answers of any size), "stall" (with generate: half the
//     answer, then nothing until the client hangs up).
//   Recording (--record DIR): request n is kept as DIR/NNNN-<Servlet>.body
//   and, when it decodes, DIR/NNNN-<Servlet>.zip (the request archive);
//   DIR/requests.log gets "NNNN <Servlet> <path> <bytes> decoded|undecodable".
//
// Command line (stable; new options are only ever added):
//   python3 edi_server.py --answers DIR [--record DIR] [--port N] [--port-fd N]
//           [--tls-cert PEM --tls-key PEM [--client-ca PEM]]
//   python3 edi_server.py --make-certs DIR
// It prints "PORT <n>" once it listens (on descriptor N with --port-fd N)
// and runs until SIGTERM. --port 0 (the default) lets the system choose the
// port. The script's own docstring has the details.
//
// LocalEdiServer starts it as a child process through platform/process: no
// shell, a port the system chooses, terminated and reaped with the object.
// Its method root is methodRoot(), e.g. "http://127.0.0.1:4711/edi/", which
// end-to-end runs write into SetUpInformation.xml as EDIMethodRoot.
#pragma once

#include "platform/process/process.h"
#include "platform/testing/temp_home.h"

#include <string>
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

    // The server script: edi_server.py in the build's program folder, or the
    // file FAXGATE_EDI_SERVER names.
    static std::string script();
    // The interpreter that runs it (the system's python3).
    static std::string interpreter();
    // Writes test certificates into `folder` (see edi_server.py --make-certs).
    static void makeCertificates(const std::string& folder);
    // One folder of those certificates for the whole test program: made at
    // the first call, removed when the program ends.
    static const TempDir& testCertificates();
    // A server over `answers` that speaks https with the test certificate
    // `name` ("server", "selfsigned", "expired", "wronghost").
    static Options overTls(const std::string& answers, const std::string& name);

private:
    Options options_;
    Process process_;
    int port_ = 0;
};

}  // namespace fg::testing
