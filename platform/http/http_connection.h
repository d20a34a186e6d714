// One HTTP(S) exchange with a servlet of the EDI server, over libcurl.
//
// A new object serves one exchange, called in the order open, send,
// errorCode, downloadFileName.
//
// The HTTP binding of an exchange (the local EDI server of standins/edi_server
// speaks the same):
// - Request: POST to the servlet URL, "Content-Type: text/plain;
//   charset=us-ascii", the request text as the body, byte for byte.
// - Answer: status 200 with the answer text as the body, and the name of the
//   answer file in "Content-Disposition: attachment; filename="NAME"".
// - A result code of the server that comes without an answer file travels in
//   the header "X-EDI-Result-Code" ("C" or "T" and four digits, for example
//   C0404); errorCode then reports that code, and the body means nothing.
// - Redirects are not followed; only http and https URLs are used. Time-outs
//   and the TLS files come from connection.xml (connection_settings.h); peers
//   are always verified. Time-outs are waits of the system's time
//   (FAXGATE_TIME_SCALE shortens them).
//
// errorCode reports one of:
//   "T0000"  the exchange succeeded (status 2xx, no server code);
//   a server code from X-EDI-Result-Code;
//   "T1005"  a status other than 2xx;
//   "T2003"  the certificate does not name the host;
//   a decimal number:
//     0      malformed URL or a protocol other than http/https (judged
//            before anything is sent),
//     12007  host name not resolved,
//     12029  connection refused or unreachable,
//     12002  time-out,
//     12152  empty, broken or invalid reply, a reply that is no HTTP, or the
//            connection broken by the peer while the request went out,
//     12037  certificate expired or not yet valid,
//     12045  certificate not trusted,
//     19000  connection.xml cannot be used,
//     20000 + libcurl's code for any other failure (20035: TLS handshake failed).
// Every failure is also written to the error log (source "HttpConnection")
// with the transport's own words, so the operator learns more than the code.
#pragma once

#include <memory>
#include <string>

namespace fg {

class HttpConnection {
public:
    static constexpr long kBadUrl = 0;
    static constexpr long kTimeout = 12002;
    static constexpr long kNameNotResolved = 12007;
    static constexpr long kCannotConnect = 12029;
    static constexpr long kCertificateDateInvalid = 12037;
    static constexpr long kCertificateNameInvalid = 12038;  // logged only; reported as "T2003"
    static constexpr long kInvalidCa = 12045;
    static constexpr long kInvalidServerResponse = 12152;
    static constexpr long kConfigurationError = 19000;
    static constexpr long kTransportBase = 20000;

    static constexpr const char* kSuccess = "T0000";
    static constexpr const char* kStatusNotSuccess = "T1005";
    static constexpr const char* kHostNameMismatch = "T2003";
    static constexpr const char* kResultHeader = "X-EDI-Result-Code";

    HttpConnection();
    virtual ~HttpConnection();
    HttpConnection(const HttpConnection&) = delete;
    HttpConnection& operator=(const HttpConnection&) = delete;

    // Takes the URL of the exchange; nothing is sent yet.
    virtual void open(const std::string& url);
    // Posts `body` and leaves the answer text in `answer` ("" after a
    // failure). True when the exchange succeeded; errorCode tells the rest.
    virtual bool send(const std::string& body, std::string& answer);
    virtual std::string errorCode() const;
    // The answer file name the server gave ("" when it gave none).
    virtual std::string downloadFileName() const;

    // The HTTP status of the last answer (0 when none came).
    long httpStatus() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace fg
