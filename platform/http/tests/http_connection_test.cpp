// The HTTP layer against the local EDI server: what errorCode reports for
// each way an exchange can go, over plain HTTP and over TLS.
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/http/connection_settings.h"
#include "platform/http/http_connection.h"
#include "platform/testing/temp_home.h"
#include "standins/edi_server/local_edi_server.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace fg {
namespace {

using testing::ErrorLogGuard;
using testing::LocalEdiServer;
using testing::TempDir;
using testing::TempHome;

const std::string kBody = "begin-base64 644 request.zip\nQUJD\r\n====";

struct Result {
    bool sent;
    std::string code;
    std::string name;
    std::string answer;
};

Result exchange(const std::string& url, const std::string& body = kBody) {
    HttpConnection c;
    c.open(url);
    std::string answer;
    bool sent = c.send(body, answer);
    return {sent, c.errorCode(), c.downloadFileName(), answer};
}

void writeConnection(const TempHome& home, const std::string& inner) {
    home.write("connection.xml", "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<Connection>" + inner + "</Connection>");
}

class HttpConnectionTest : public ::testing::Test {
protected:
    TempHome home;
    TempDir answers;
    TempDir record;
    ErrorLogGuard log;

    void canned(const std::string& servlet, const std::string& name, const std::string& bytes) {
        fs::makeFolders(answers / servlet);
        fs::writeFileAtomic(answers / (servlet + "/" + name), bytes);
    }
    void fault(const std::string& servlet, const std::string& lines) {
        fs::writeFileAtomic(answers / (servlet + ".fault"), lines);
    }
};

TEST_F(HttpConnectionTest, PostsTheBodyAsItIsAndReturnsTheAnswerWithItsName) {
    canned("GetEdiData", "D0301.tgz", "payload bytes");
    LocalEdiServer server(answers.path(), record.path());
    // A body long enough that a client waiting for 100-continue would stall.
    std::string body = kBody + std::string(5000, 'A');
    Result r = exchange(server.methodRoot() + "servlets/GetEdiData", body);
    EXPECT_TRUE(r.sent);
    EXPECT_EQ(r.code, "T0000");
    EXPECT_EQ(r.name, "D0301.tgz");
    EXPECT_EQ(r.answer, "begin-base64 644 D0301.tgz\ncGF5bG9hZCBieXRlcw==\r\n====");
    EXPECT_EQ(fs::readFile(record / "0001-GetEdiData.body"), body);
    EXPECT_TRUE(log.log->entries().empty());
}

TEST_F(HttpConnectionTest, EachFailureOfTheServerHasItsCode) {
    struct Case {
        const char* fault;
        const char* code;
        bool logged;
    } cases[] = {
        {"status 500", "T1005", true},
        {"status 403", "T1005", true},
        {"close", "12152", true},
        {"truncate", "12152", true},
        {"banner SSH-2.0-OpenSSH_9.2p1", "12152", true},  // a peer of another protocol
        {"banner 220 mail.example ESMTP", "12152", true},
        {"code C0404", "C0404", false},
        {"code T2003", "T2003", false},
        {"code OK", "12152", true},
    };
    LocalEdiServer server(answers.path());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        log.log->clear();
        fault("PutConfirm", c.fault);
        Result r = exchange(server.methodRoot() + "servlets/PutConfirm");
        EXPECT_FALSE(r.sent);
        EXPECT_EQ(r.code, c.code);
        ASSERT_EQ(log.log->entries().size(), c.logged ? 1u : 0u);
        if (c.logged) {
            EXPECT_EQ(log.log->entries()[0].source, "HttpConnection");
        }
    }
    // A peer that breaks the connection while a long request is still going
    // out: the same broken reply.
    fault("PutConfirm", "reset");
    log.log->clear();
    Result reset = exchange(server.methodRoot() + "servlets/PutConfirm", kBody + std::string(16 << 20, 'A'));
    EXPECT_EQ(reset.code, "12152");
    EXPECT_EQ(log.log->entries().size(), 1u);
    // A servlet the server does not have is a status failure too.
    EXPECT_EQ(exchange(server.methodRoot() + "servlets/NoSuchServlet").code, "T1005");
    // An answer without a name is still an answer; the caller judges the name.
    fault("PutConfirm", "noname");
    Result r = exchange(server.methodRoot() + "servlets/PutConfirm");
    EXPECT_EQ(r.code, "T0000");
    EXPECT_EQ(r.name, "");
}

TEST_F(HttpConnectionTest, UrlsThatCannotBeUsedReportZero) {
    for (const char* url : {"", "not a url", "ftp://127.0.0.1/servlets/GetEdiData", "file:///etc/passwd",
                            "http://[::1/servlets/GetEdiData"}) {
        SCOPED_TRACE(url);
        EXPECT_EQ(exchange(url).code, "0");
    }
}

TEST_F(HttpConnectionTest, AClosedPortIsRefused) {
    int port;
    {
        LocalEdiServer server(answers.path());
        port = server.port();
    }
    EXPECT_EQ(exchange("http://127.0.0.1:" + std::to_string(port) + "/edi/servlets/GetEdiData").code, "12029");
}

TEST_F(HttpConnectionTest, AHostThatDoesNotExistIsNotResolved) {
    // ".invalid" names no host anywhere; one short try of the resolver keeps
    // a machine without a name server from waiting long for its answer.
    ::setenv("RES_OPTIONS", "timeout:1 attempts:1", 1);
    Result r = exchange("http://no-such-host.invalid/edi/servlets/GetEdiData");
    ::unsetenv("RES_OPTIONS");
    EXPECT_EQ(r.code, "12007");
    EXPECT_FALSE(r.sent);
}

TEST_F(HttpConnectionTest, ASlowServerTimesOutInTheSystemsTime) {
    // Two seconds of the system's time for the whole exchange, scaled to a
    // tenth of a second; the server's minute is scaled to three seconds.
    writeConnection(home, "<Timeout>2000</Timeout>");
    setClock(std::make_shared<ScaledClock>(0.05));
    fault("GetEdiData", "delay 60000");
    LocalEdiServer::Options o;
    o.answers = answers.path();
    o.environment = {"FAXGATE_TIME_SCALE=0.05"};
    LocalEdiServer server(o);
    auto started = std::chrono::steady_clock::now();
    Result r = exchange(server.methodRoot() + "servlets/GetEdiData");
    auto took = std::chrono::steady_clock::now() - started;
    setClock(nullptr);
    EXPECT_EQ(r.code, "12002");
    EXPECT_LT(took, std::chrono::seconds(2));
}

TEST_F(HttpConnectionTest, ABrokenConnectionFileFailsTheExchangeAndSaysWhy) {
    struct Case {
        const char* file;
        const char* says;
    } cases[] = {
        {"<Connection><Timeout>soon</Timeout></Connection>", "Timeout"},
        {"<Connection><Timeout>", "connection.xml"},
        {"<Connection><ConnectTimeout>-5</ConnectTimeout></Connection>", "ConnectTimeout"},
        {"<Connection><MaxAnswerBytes>2GB</MaxAnswerBytes></Connection>", "MaxAnswerBytes"},
        {"<Connection><CAFile>certs/missing.pem</CAFile></Connection>", "missing.pem"},
        {"<Settings/>", "Connection"},
    };
    LocalEdiServer server(answers.path());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        log.log->clear();
        home.write("connection.xml", c.file);
        EXPECT_EQ(exchange(server.methodRoot() + "servlets/GetEdiData").code, "19000");
        ASSERT_EQ(log.log->entries().size(), 1u);
        EXPECT_NE(log.log->entries()[0].description.find(c.says), std::string::npos)
            << log.log->entries()[0].description;
    }
}

TEST(ConnectionSettingsTest, DefaultsWithoutAFileAndPathsBelowTheProgramFolder) {
    TempHome home;
    (void)fs::removeFile(home / "connection.xml");
    ConnectionSettings defaults = ConnectionSettings::load();
    EXPECT_EQ(defaults.connectTimeout, std::chrono::milliseconds(30000));
    EXPECT_EQ(defaults.timeout, std::chrono::milliseconds(300000));
    EXPECT_EQ(defaults.caFile, "");
    EXPECT_EQ(defaults.maxAnswerBytes, 2147483648u);

    home.write("certs/CA.pem", "x");
    writeConnection(home, "<ConnectTimeout> 1500 </ConnectTimeout><CAFile>certs/ca.pem</CAFile><ClientKey>" +
                              home.path() + "certs/CA.pem</ClientKey>");
    ConnectionSettings s = ConnectionSettings::load();
    EXPECT_EQ(s.connectTimeout, std::chrono::milliseconds(1500));
    EXPECT_EQ(s.caFile, home.path() + "certs/CA.pem");
    EXPECT_EQ(s.clientKey, home.path() + "certs/CA.pem");
}

// TLS: one set of certificates for the whole test program.
class HttpsTest : public HttpConnectionTest {
protected:
    const TempDir& certs = LocalEdiServer::testCertificates();

    LocalEdiServer::Options tls(const std::string& name) { return LocalEdiServer::overTls(answers.path(), name); }
    void trustTestCa(const std::string& more = "") {
        writeConnection(home, "<CAFile>" + certs / "ca.pem" + "</CAFile>" + more);
    }
};

TEST_F(HttpsTest, CertificatesAreVerifiedAndEachFaultHasItsCode) {
    canned("GetEdiData", "D0301.tgz", "x");
    struct Case {
        const char* certificate;
        bool trusted;
        const char* host;
        const char* code;
    } cases[] = {
        {"server", true, "127.0.0.1", "T0000"},
        {"server", true, "localhost", "T0000"},
        {"server", false, "127.0.0.1", "12045"},
        {"selfsigned", true, "127.0.0.1", "12045"},
        {"expired", true, "127.0.0.1", "12037"},
        {"wronghost", true, "127.0.0.1", "T2003"},
        {"wronghost", true, "localhost", "T2003"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.certificate) + " " + c.host + (c.trusted ? " trusted" : ""));
        if (c.trusted) {
            trustTestCa();
        } else {
            (void)fs::removeFile(home / "connection.xml");
        }
        LocalEdiServer server(tls(c.certificate));
        Result r = exchange(server.methodRoot(c.host) + "servlets/GetEdiData");
        EXPECT_EQ(r.code, c.code);
        EXPECT_EQ(r.sent, std::string(c.code) == "T0000");
    }
}

TEST_F(HttpsTest, AClientCertificateFromConnectionXmlIsPresented) {
    canned("PutConfirm", "answer.txt", "ok");
    LocalEdiServer::Options o = tls("server");
    o.clientCa = certs / "ca.pem";
    LocalEdiServer server(o);
    trustTestCa();
    // Without one the peer drops the connection, at the request or at the
    // answer as timing has it; the number is always the same.
    for (int i = 0; i < 20; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(exchange(server.methodRoot() + "servlets/PutConfirm", kBody + std::string(i * 4000, 'A')).code,
                  "12152");
    }
    trustTestCa("<ClientCertificate>" + certs / "client.pem" + "</ClientCertificate><ClientKey>" +
                certs / "client.key" + "</ClientKey>");
    EXPECT_EQ(exchange(server.methodRoot() + "servlets/PutConfirm").code, "T0000");
}

}  // namespace
}  // namespace fg
