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
// - Redirects are not followed; only http and https URLs are used. Time-outs,
//   the bound of an answer and the TLS files come from connection.xml
//   (connection_settings.h); peers are always verified. Time-outs are waits
//   of the system's time (FAXGATE_TIME_SCALE shortens them).
// - The answer text is handed on as it comes, never held whole here; one
//   longer than MaxAnswerBytes is refused as soon as it passes the bound.
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
//     20023  the receiver refused the answer (not logged: the receiver says why),
//     20063  the answer text is longer than MaxAnswerBytes,
//     20000 + libcurl's code for any other failure (20035: TLS handshake failed).
// Every other failure is also written to the error log (source "HttpConnection")
// with the transport's own words, so the operator learns more than the code.
#pragma once

#include <memory>
#include <string>
#include <string_view>

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
    static constexpr long kAnswerRefused = kTransportBase + 23;   // libcurl's write error
    static constexpr long kAnswerTooLarge = kTransportBase + 63;  // libcurl's file size exceeded

    static constexpr const char* kSuccess = "T0000";
    static constexpr const char* kStatusNotSuccess = "T1005";
    static constexpr const char* kHostNameMismatch = "T2003";
    static constexpr const char* kResultHeader = "X-EDI-Result-Code";

    HttpConnection();
    virtual ~HttpConnection();
    HttpConnection(const HttpConnection&) = delete;
    HttpConnection& operator=(const HttpConnection&) = delete;

    // Takes the answer text piece by piece as it comes.
    class Receiver {
    public:
        virtual ~Receiver() = default;
        // Before the first piece, with the answer file name the server gave
        // ("" when it gave none).
        virtual void begin(const std::string& fileName) = 0;
        // False refuses the rest: the exchange ends at once with 20023.
        [[nodiscard]] virtual bool take(std::string_view piece) = 0;
    };

    // Takes the URL of the exchange; nothing is sent yet.
    virtual void open(const std::string& url);
    // Posts `body` and hands the answer text to `receiver` as it comes (only
    // that of a 2xx answer without a server code: any other body means
    // nothing). True when the exchange succeeded; errorCode tells the rest.
    // What the receiver raises ends the exchange and reaches the caller.
    [[nodiscard]] virtual bool send(const std::string& body, Receiver& receiver);
    // The same with the whole answer text left in `answer` ("" after a
    // failure), for answers known to be small.
    [[nodiscard]] bool send(const std::string& body, std::string& answer);
    virtual std::string errorCode() const;
    // The answer file name the server gave ("" when it gave none, or after a
    // failure other than a refusal of the receiver).
    virtual std::string downloadFileName() const;

    // The HTTP status of the last answer (0 when none came).
    long httpStatus() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace fg
