#include "platform/http/http_connection.h"

#include "platform/clock.h"
#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/http/connection_settings.h"
#include "platform/owned.h"
#include "platform/text.h"
#include "platform/wait_deadline.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <mutex>

namespace fg {

namespace {

// X509 verification results that libcurl hands back after a refused peer.
constexpr long kX509CertNotYetValid = 9;
constexpr long kX509CertHasExpired = 10;
constexpr long kX509HostnameMismatch = 62;
// libcurl checks the host name itself, after the chain has verified, and
// records a failure of that check as "unspecified".
constexpr long kX509Unspecified = 1;

void initialiseCurl() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Headers {
    std::string resultCode;
    std::string disposition;
    bool hasResultCode = false;
};

size_t collectHeader(char* data, size_t size, size_t count, void* user) {
    auto* headers = static_cast<Headers*>(user);
    std::string_view line(data, size * count);
    // Each status line opens a new answer (after a 100 Continue, say); only
    // the last answer's headers count.
    if (line.starts_with("HTTP/")) {
        *headers = Headers{};
        return size * count;
    }
    auto colon = line.find(':');
    if (colon == std::string_view::npos) return size * count;
    std::string name = text::toLowerAscii(text::trimBlanks(line.substr(0, colon)));
    std::string value = text::trimBlanks(line.substr(colon + 1));
    if (name == "x-edi-result-code") {
        headers->resultCode = value;
        headers->hasResultCode = true;
    } else if (name == "content-disposition") {
        headers->disposition = value;
    }
    return size * count;
}

// The filename parameter of a Content-Disposition value, quoted or not.
std::string dispositionFileName(const std::string& value) {
    std::string lower = text::toLowerAscii(value);
    std::size_t at = 0;
    while ((at = lower.find("filename", at)) != std::string::npos) {
        std::size_t p = at + 8;
        bool boundary = at == 0 || lower[at - 1] == ';' || lower[at - 1] == ' ' || lower[at - 1] == '\t';
        while (p < value.size() && (value[p] == ' ' || value[p] == '\t')) ++p;
        if (!boundary || p >= value.size() || value[p] != '=') {
            at = p;
            continue;
        }
        ++p;
        while (p < value.size() && (value[p] == ' ' || value[p] == '\t')) ++p;
        std::string name;
        if (p < value.size() && value[p] == '"') {
            for (++p; p < value.size() && value[p] != '"'; ++p) {
                if (value[p] == '\\' && p + 1 < value.size()) ++p;
                name += value[p];
            }
        } else {
            std::size_t end = value.find(';', p);
            name = text::trimBlanks(value.substr(p, end == std::string::npos ? std::string::npos : end - p));
        }
        return name;
    }
    return {};
}

bool wellFormedResultCode(const std::string& code) {
    if (code.size() != 5 || (code[0] != 'C' && code[0] != 'T')) return false;
    return std::all_of(code.begin() + 1, code.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Whether libcurl takes the URL and its scheme is http or https.
bool usableUrl(const std::string& url) {
    Owned<CURLU*, curl_url_cleanup> parsed(curl_url());
    Owned<char*, curl_free> scheme;
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK ||
        curl_url_get(parsed.get(), CURLUPART_SCHEME, scheme.out(), 0) != CURLUE_OK || !scheme)
        return false;
    std::string name = text::toLowerAscii(scheme.get());
    return name == "http" || name == "https";
}

// Shortened to what is left of the caller's deadline, if it has one.
long realMilliseconds(std::chrono::milliseconds systemTime) {
    auto real = std::chrono::duration_cast<std::chrono::milliseconds>(WaitDeadline::cap(clock().realDuration(systemTime)));
    return std::max<long>(1, static_cast<long>(real.count()));
}

// The answer body on its way to the receiver, counted against the bound.
struct Reception {
    CURL* handle;
    const Headers& headers;
    HttpConnection::Receiver& receiver;
    std::uint64_t bound;
    std::uint64_t received = 0;
    bool started = false;
    bool meaningful = false;
    bool tooLarge = false;
    bool refused = false;
    std::exception_ptr raised;
};

size_t receiveBody(char* data, size_t size, size_t count, void* user) {
    auto* r = static_cast<Reception*>(user);
    const size_t n = size * count;
    r->received += n;
    // The rest is not read: an answer past the bound could be of any size.
    if (r->received > r->bound) {
        r->tooLarge = true;
        return CURL_WRITEFUNC_ERROR;
    }
    try {
        if (!r->started) {
            // The headers are all in once the body begins.
            r->started = true;
            long status = 0;
            curl_easy_getinfo(r->handle, CURLINFO_RESPONSE_CODE, &status);
            r->meaningful = status >= 200 && status <= 299 &&
                            (!r->headers.hasResultCode || r->headers.resultCode == HttpConnection::kSuccess);
            if (r->meaningful) r->receiver.begin(dispositionFileName(r->headers.disposition));
        }
        if (r->meaningful && !r->receiver.take(std::string_view(data, n))) {
            r->refused = true;
            return CURL_WRITEFUNC_ERROR;
        }
    } catch (...) {
        // Nothing may be thrown through libcurl; it goes on once the exchange has ended.
        r->raised = std::current_exception();
        return CURL_WRITEFUNC_ERROR;
    }
    return n;
}

using EasyHandle = Owned<CURL*, curl_easy_cleanup>;
using HeaderList = Owned<curl_slist*, curl_slist_free_all>;

// False when there is no memory for the line; the list stays as it was.
bool appendHeader(HeaderList& list, const char* line) {
    curl_slist* head = curl_slist_append(list.get(), line);
    if (!head) return false;
    static_cast<void>(list.release());  // the same list, or a new one when it was empty
    list.reset(head);
    return true;
}

}  // namespace

struct HttpConnection::Impl {
    std::string url;
    std::string code = std::to_string(kTransportBase + CURLE_FAILED_INIT);
    std::string fileName;
    long status = 0;

    void fail(long number, const std::string& reported, const std::string& description) {
        code = reported;
        ErrorLogWriter().writeError("HttpConnection", number, description + " [" + url + "]");
    }
    void fail(long number, const std::string& description) { fail(number, std::to_string(number), description); }
};

HttpConnection::HttpConnection() : impl_(std::make_unique<Impl>()) { initialiseCurl(); }
HttpConnection::~HttpConnection() = default;

void HttpConnection::open(const std::string& url) { impl_->url = url; }

bool HttpConnection::send(const std::string& body, std::string& answer) {
    class Collect : public Receiver {
    public:
        explicit Collect(std::string& text) : text_(text) {}
        void begin(const std::string&) override {}
        bool take(std::string_view piece) override {
            text_.append(piece);
            return true;
        }

    private:
        std::string& text_;
    } collect(answer);
    answer.clear();
    if (send(body, collect)) return true;
    answer.clear();
    return false;
}

bool HttpConnection::send(const std::string& body, Receiver& receiver) {
    Impl& s = *impl_;
    s.fileName.clear();
    s.status = 0;

    ConnectionSettings settings;
    try {
        settings = ConnectionSettings::load();
    } catch (const Error& e) {
        s.fail(kConfigurationError, e.description());
        return false;
    }

    // The URL is judged before anything goes out, so that a failure of the
    // exchange can be told from a URL that cannot be used.
    if (!usableUrl(s.url)) {
        s.fail(kBadUrl, "the URL cannot be used (http or https only): " + s.url);
        return false;
    }

    EasyHandle easy(curl_easy_init());
    if (!easy) {
        s.fail(kTransportBase + CURLE_FAILED_INIT, "libcurl could not start an exchange");
        return false;
    }
    CURL* h = easy.get();
    char message[CURL_ERROR_SIZE] = {0};
    Headers headers;
    // A server that does not answer 100-continue would otherwise stall every
    // larger request for a second.
    HeaderList requestHeaders;
    if (!appendHeader(requestHeaders, "Content-Type: text/plain; charset=us-ascii") ||
        !appendHeader(requestHeaders, "Expect:")) {
        s.fail(kTransportBase + CURLE_OUT_OF_MEMORY, "out of memory");
        return false;
    }

    CURLcode rc = CURLE_OK;
    auto set = [&](CURLoption option, auto value) {
        if (rc == CURLE_OK) rc = curl_easy_setopt(h, option, value);
    };
    set(CURLOPT_ERRORBUFFER, message);
    set(CURLOPT_NOSIGNAL, 1L);
    set(CURLOPT_URL, s.url.c_str());
    set(CURLOPT_PROTOCOLS_STR, "http,https");
    set(CURLOPT_FOLLOWLOCATION, 0L);
    set(CURLOPT_POST, 1L);
    set(CURLOPT_POSTFIELDS, body.data());
    set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    set(CURLOPT_HTTPHEADER, requestHeaders.get());
    set(CURLOPT_USERAGENT, "faxgate");
    Reception reception{h, headers, receiver, settings.maxAnswerBytes};
    set(CURLOPT_WRITEFUNCTION, receiveBody);
    set(CURLOPT_WRITEDATA, &reception);
    set(CURLOPT_HEADERFUNCTION, collectHeader);
    set(CURLOPT_HEADERDATA, &headers);
    set(CURLOPT_CONNECTTIMEOUT_MS, realMilliseconds(settings.connectTimeout));
    set(CURLOPT_TIMEOUT_MS, realMilliseconds(settings.timeout));
    set(CURLOPT_SSL_VERIFYPEER, 1L);
    set(CURLOPT_SSL_VERIFYHOST, 2L);
    if (!settings.caFile.empty()) set(CURLOPT_CAINFO, settings.caFile.c_str());
    if (!settings.clientCertificate.empty()) set(CURLOPT_SSLCERT, settings.clientCertificate.c_str());
    if (!settings.clientKey.empty()) set(CURLOPT_SSLKEY, settings.clientKey.c_str());
    if (rc != CURLE_OK) {
        s.fail(kTransportBase + rc, std::string("libcurl refused an option: ") + curl_easy_strerror(rc));
        return false;
    }

    rc = curl_easy_perform(h);
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &s.status);
    std::string detail = message[0] ? std::string(message) : std::string(curl_easy_strerror(rc));
    if (reception.raised) std::rethrow_exception(reception.raised);
    if (reception.tooLarge) {
        s.fail(kAnswerTooLarge, "answer refused: longer than MaxAnswerBytes of connection.xml (" +
                                    std::to_string(settings.maxAnswerBytes) + " bytes)");
        return false;
    }
    if (reception.refused) {
        s.fileName = dispositionFileName(headers.disposition);
        s.code = std::to_string(kAnswerRefused);
        return false;
    }

    switch (rc) {
    case CURLE_OK:
        break;
    case CURLE_URL_MALFORMAT:
        s.fail(kBadUrl, detail);
        return false;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        s.fail(kNameNotResolved, detail);
        return false;
    case CURLE_COULDNT_CONNECT:
        s.fail(kCannotConnect, detail);
        return false;
    case CURLE_OPERATION_TIMEDOUT:
        s.fail(kTimeout, detail);
        return false;
    // The URL was good: a protocol the client does not take is what came
    // back (a peer of another protocol: "SSH-2.0-..."). A connection broken
    // while the request went out is as much a broken reply as one broken
    // while the answer came in; which of the two a peer that drops the
    // connection (one demanding a client certificate, say) causes is a
    // matter of timing, and it must not change the number.
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_GOT_NOTHING:
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_PARTIAL_FILE:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_BAD_CONTENT_ENCODING:
        s.fail(kInvalidServerResponse, detail);
        return false;
    case CURLE_PEER_FAILED_VERIFICATION: {
        long verify = 0;
        curl_easy_getinfo(h, CURLINFO_SSL_VERIFYRESULT, &verify);
        if (verify == kX509CertNotYetValid || verify == kX509CertHasExpired)
            s.fail(kCertificateDateInvalid, detail);
        else if (verify == 0 || verify == kX509Unspecified || verify == kX509HostnameMismatch)
            s.fail(kCertificateNameInvalid, kHostNameMismatch, detail);
        else
            s.fail(kInvalidCa, detail);
        return false;
    }
    default:
        s.fail(kTransportBase + rc, detail);
        return false;
    }

    if (s.status < 200 || s.status > 299) {
        s.fail(s.status, kStatusNotSuccess, "HTTP status " + std::to_string(s.status));
        return false;
    }
    s.fileName = dispositionFileName(headers.disposition);
    if (headers.hasResultCode && headers.resultCode != kSuccess) {
        if (!wellFormedResultCode(headers.resultCode)) {
            s.fail(kInvalidServerResponse, std::string("invalid ") + kResultHeader + ": " + headers.resultCode);
            return false;
        }
        // A server code is the server's verdict, not a transport failure: no log entry.
        s.code = headers.resultCode;
        return false;
    }
    s.code = kSuccess;
    return true;
}

std::string HttpConnection::errorCode() const { return impl_->code; }
std::string HttpConnection::downloadFileName() const { return impl_->fileName; }
long HttpConnection::httpStatus() const { return impl_->status; }

}  // namespace fg
