// RequestReception against the local EDI server: the thirteen servlets, the
// request text the server receives, the answers it saves, the result codes
// of each failure, and the communication log.
#include "edi_transport/request_reception.h"

#include "archive/grenwald/archive.h"
#include "edi_test_support.h"
#include "edi_transport/index.h"
#include "edi_transport/base64_body.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/http/http_connection.h"
#include "platform/testing/run_program.h"
#include "platform/testing/shape.h"
#include "platform/testing/temp_home.h"
#include "platform/text.h"
#include "standins/edi_server/local_edi_server.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <random>
#include <thread>

#include <sys/stat.h>

namespace fg {
namespace {

using testing::ErrorLogGuard;
using testing::everything;
using testing::LocalEdiServer;
using testing::TempDir;
using testing::TempHome;

std::vector<std::string> split(const std::string& s, const std::string& by) {
    std::vector<std::string> out;
    std::size_t at = 0;
    for (std::size_t end; (end = s.find(by, at)) != std::string::npos; at = end + by.size()) out.push_back(s.substr(at, end - at));
    out.push_back(s.substr(at));
    return out;
}

// Letters that do not pack small, so the request text runs over many lines.
std::string randomLetters(std::size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::string s(n, 'a');
    for (char& c : s) c = static_cast<char>('A' + random() % 58);
    return s;
}

std::string randomBytes(std::size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(random());
    return s;
}

class RequestReceptionTest : public ::testing::Test {
protected:
    TempHome home;
    TempDir answers;
    TempDir record;
    TempDir save;
    ErrorLogGuard log;
    // The request document, and request.zip packed from it by the archive
    // service as the callers pack it.
    std::string requestXml;
    std::string request;
    std::string requestFile;

    void SetUp() override {
        std::string folder = home.folder("TempReqEDI");
        requestXml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Request><Body>" + randomLetters(7000, 1) +
                     "受領確認</Body></Request>";
        fs::writeFileAtomic(folder + "request.xml", requestXml);
        requestFile = folder + "request.zip";
        Archive archive;
        archive.setFile(requestFile);
        ASSERT_EQ(archive.compress(ZIP, {folder + "request.xml"}), 0);
        request = fs::readFile(requestFile);
        ASSERT_GT(request.size(), 1000u);
    }

    std::unique_ptr<RequestReception> reception() {
        auto r = std::make_unique<RequestReception>();
        r->setServerCode("S001");
        r->setInfoCode("0301");
        r->setCertificateKey("KEY-123");
        r->setAnswerFileName("");
        return r;
    }
    void canned(const std::string& relative, const std::string& bytes) {
        fs::makeFolders(fs::folderOf(answers / relative));
        fs::writeFileAtomic(answers / relative, bytes);
    }
    void fault(const std::string& servlet, const std::string& lines) {
        fs::writeFileAtomic(answers / (servlet + ".fault"), lines);
    }
    // The communication log's lines, fields split.
    std::vector<std::vector<std::string>> logLines() {
        std::string path = home / "log/communicationlog.csv";
        if (!fs::fileExists(path)) return {};
        std::string text = fs::readFile(path);
        std::vector<std::vector<std::string>> lines;
        auto all = split(text, "\r\n");
        EXPECT_EQ(all.back(), "") << "the log ends with CR LF";
        all.pop_back();
        for (const auto& line : all) lines.push_back(split(line, ","));
        return lines;
    }
    std::string lastResultField() {
        auto lines = logLines();
        return lines.empty() ? "(no line)" : lines.back()[2];
    }
};

TEST_F(RequestReceptionTest, EveryServletIsReachedAndLogged) {
    using Op = std::function<std::string(RequestReception&, const std::string&)>;
    std::string s = save.path();
    struct Case {
        const char* servlet;
        const char* kind;
        Op op;
    } cases[] = {
        {"GetAmount", "Receive", [&](RequestReception& r, const std::string& u) { return r.getAmount(u, requestFile, s); }},
        {"GetEdiData", "Receive", [&](RequestReception& r, const std::string& u) { return r.getEdiData(u, requestFile, s); }},
        {"GetMaker", "Receive", [&](RequestReception& r, const std::string& u) { return r.getMaker(u, requestFile, s); }},
        {"PutEdiData", "Send", [&](RequestReception& r, const std::string& u) { return r.putEdiData(u, requestFile); }},
        {"PutMaker", "Send", [&](RequestReception& r, const std::string& u) { return r.putMaker(u, requestFile); }},
        {"PutConfirm", "Send", [&](RequestReception& r, const std::string& u) { return r.putConfirm(u, requestFile); }},
        {"ReGetEdiData", "Receive", [&](RequestReception& r, const std::string& u) { return r.reGetEdiData(u, requestFile, s); }},
        {"GetFaxReminder", "Receive", [&](RequestReception& r, const std::string& u) { return r.getFaxReminder(u, requestFile, s); }},
        {"DelFaxReminder", "Send", [&](RequestReception& r, const std::string& u) { return r.delFaxReminder(u, requestFile); }},
        {"GetIndex", "Receive", [&](RequestReception& r, const std::string& u) { return r.getIndex(u, requestFile, s); }},
        {"GetWebEdiData", "Receive", [&](RequestReception& r, const std::string& u) { return r.getWebEdiData(u, requestFile, s); }},
        {"GetFaxMaker", "Receive", [&](RequestReception& r, const std::string& u) { return r.getFaxMaker(u, requestFile, s); }},
        {"GetSupplierCode", "Receive", [&](RequestReception& r, const std::string& u) { return r.getSupplierCode(u, requestFile, s); }},
    };
    LocalEdiServer server(answers.path(), record.path());
    auto r = reception();
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.servlet);
        ++n;
        // With nothing canned the server says "nothing to fetch" to a
        // fetch and "done" to a send, inside answer.tgz.
        std::string expected = std::string(c.kind) == "Send" ? "C0000" : "C0404";
        EXPECT_EQ(c.op(*r, server.methodRoot()), expected);
        EXPECT_EQ(r->DownloadFileName(), "answer.tgz");

        char stem[64];
        std::snprintf(stem, sizeof stem, "%04d-%s", n, c.servlet);
        EXPECT_EQ(fs::readFile(record / (std::string(stem) + ".zip")), request) << "the body decodes to request.zip";
        EXPECT_EQ(fs::readFile(record / (std::string(stem) + ".body")), edi::encodeBase64File(request));

        auto lines = logLines();
        ASSERT_EQ(lines.size(), static_cast<std::size_t>(n));
        const auto& f = lines.back();
        ASSERT_EQ(f.size(), 8u);
        EXPECT_TRUE(testing::fitsShape(f[0], "####/##/##")) << f[0];
        EXPECT_TRUE(testing::fitsShape(f[1], "##:##:##")) << f[1];
        EXPECT_EQ(f[2], expected);
        EXPECT_EQ(f[3], "S001");
        EXPECT_EQ(f[4], c.kind);
        EXPECT_EQ(f[5], "0301");
        EXPECT_EQ(f[6], "KEY-123");
        EXPECT_EQ(f[7], server.methodRoot() + "servlets/" + c.servlet);
    }
    // What the server took apart is the very archive the caller packed.
    testing::ProgramRun unpacked = testing::runProgram({"unzip", "-p", record / "0001-GetAmount.zip", "request.xml"});
    EXPECT_EQ(unpacked.exitCode, 0) << unpacked.errors;
    EXPECT_EQ(unpacked.output, requestXml);
    auto served = split(fs::readFile(record / "requests.log"), "\n");
    EXPECT_EQ(served[0], "0001 GetAmount /edi/servlets/GetAmount " + std::to_string(edi::encodeBase64File(request).size()) + " decoded");
    EXPECT_TRUE(everything(save.path()).empty());
}

TEST_F(RequestReceptionTest, ADataArchiveIsSavedByteForByte) {
    std::string data = randomBytes(300000, 2);
    canned("GetEdiData/D20240105120000.tgz", data);
    LocalEdiServer server(answers.path());
    auto r = reception();
    EXPECT_EQ(r->getEdiData(server.methodRoot(), requestFile, save.path()), "T0000");
    EXPECT_EQ(r->DownloadFileName(), "D20240105120000.tgz");
    EXPECT_EQ(fs::readFile(save / "D20240105120000.tgz"), data);
    EXPECT_EQ(r->Base64Text().rfind("begin-base64 644 D20240105120000.tgz\n", 0), 0u);
    EXPECT_EQ(lastResultField(), "T0000");
    EXPECT_TRUE(log.log->entries().empty());
    // A name that only looks like an answer archive in other letters is data.
    canned("GetIndex/ANSWER.TGZ", "plain");
    EXPECT_EQ(r->getIndex(server.methodRoot(), requestFile, save.path()), "T0000");
    EXPECT_EQ(fs::readFile(save / "ANSWER.TGZ"), "plain");
}

TEST_F(RequestReceptionTest, AnAnswerArchiveGivesItsCodeAndLeavesNothingBehind) {
    std::vector<std::string> tempBefore = everything(home / "temp");
    struct Case {
        const char* member;
        const char* content;
        const char* code;
    } cases[] = {
        {"answer.xml", "<Answer><ErrCode>C1234</ErrCode></Answer>", "C1234"},
        {"answer.xml", "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><Answer><ErrCode>C0000</ErrCode></Answer>", "C0000"},
        {"answer.xml", "<Answer><Code>C0000</Code></Answer>", "T1007"},
        {"answer.xml", "<Answer><ErrCode></ErrCode></Answer>", "T1007"},
        {"answer.xml", "not xml at all", "T1007"},
        // Without its answer document the answer is an unexpected failure.
        {"other.xml", "<Answer><ErrCode>C0000</ErrCode></Answer>", "T9999"},
        {"", "not an archive", "T9999"},
    };
    LocalEdiServer server(answers.path());
    auto r = reception();
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.member) + " " + c.content);
        fs::removeTree(answers / "PutConfirm");
        canned(*c.member ? std::string("PutConfirm/answer.tgz/") + c.member : "PutConfirm/answer.tgz", c.content);
        EXPECT_EQ(r->putConfirm(server.methodRoot(), requestFile), c.code);
        EXPECT_EQ(lastResultField(), c.code);
        EXPECT_EQ(everything(home / "temp"), tempBefore);
        EXPECT_TRUE(everything(save.path()).empty());
    }
}

TEST_F(RequestReceptionTest, EachTransportFailureHasItsCodeAndLogField) {
    struct Case {
        const char* fault;
        const char* code;
        const char* field;
    } cases[] = {
        {"status 500", "T1005", "T1005"},
        {"close", "T1002", "T1002(12152)"},
        {"truncate", "T1002", "T1002(12152)"},
        {"code C0404", "C0404", "C0404"},
        {"code T2003", "T2003", "T2003"},
    };
    LocalEdiServer server(answers.path());
    std::vector<std::string> tempBefore = everything(home / "temp");
    auto r = reception();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        fault("GetEdiData", c.fault);
        EXPECT_EQ(r->getEdiData(server.methodRoot(), requestFile, save.path()), c.code);
        EXPECT_EQ(lastResultField(), c.field);
        EXPECT_TRUE(everything(save.path()).empty());
        EXPECT_EQ(everything(home / "temp"), tempBefore);
    }

    // An answer that does not decode is refused without a log line, but
    // not without a trace.
    std::size_t linesBefore = logLines().size();
    log.log->clear();
    fault("GetEdiData", "broken");
    EXPECT_EQ(r->getEdiData(server.methodRoot(), requestFile, save.path()), "T1004");
    EXPECT_EQ(logLines().size(), linesBefore);
    EXPECT_TRUE(everything(save.path()).empty());
    ASSERT_EQ(log.log->entries().size(), 1u);
    EXPECT_EQ(log.log->entries()[0].source, "RequestReception");
}

TEST_F(RequestReceptionTest, AnAnswerPastItsBoundIsRefusedAtOnceAndLeavesNothing) {
    // The server sends 2 MB of the answer and then stalls: only a refusal at
    // the bound, not at the end, ends this exchange with the bound's error.
    home.write("connection.xml", "<Connection><Timeout>60000</Timeout><MaxAnswerBytes>1000000</MaxAnswerBytes></Connection>");
    fault("GetEdiData", "generate 3000000\nstall");
    LocalEdiServer server(answers.path());
    std::vector<std::string> tempBefore = everything(home / "temp");
    auto r = reception();
    EXPECT_EQ(r->getEdiData(server.methodRoot(), requestFile, save.path()), "T9999");
    EXPECT_EQ(lastResultField(), "T9999(20063)");
    ASSERT_EQ(log.log->entries().size(), 1u);
    EXPECT_EQ(log.log->entries()[0].number, HttpConnection::kAnswerTooLarge);
    for (std::string named : {"MaxAnswerBytes", "1000000", "servlets/GetEdiData"})
        EXPECT_NE(log.log->entries()[0].description.find(named), std::string::npos) << named;
    EXPECT_TRUE(everything(save.path()).empty());
    EXPECT_EQ(everything(home / "temp"), tempBefore);

    // Within the bound the same answer is stored to the byte.
    fault("GetEdiData", "generate 700000");
    EXPECT_EQ(r->getEdiData(server.methodRoot(), requestFile, save.path()), "T0000");
    std::string stored = fs::readFile(save / "generated.dat");
    ASSERT_EQ(stored.size(), 700000u);
    for (std::size_t i = 0; i < stored.size(); ++i)
        ASSERT_EQ(static_cast<unsigned char>(stored[i]), i % 251) << i;
}

TEST_F(RequestReceptionTest, UnreachableServersAndTimeOut) {
    int port;
    {
        LocalEdiServer gone(answers.path());
        port = gone.port();
    }
    auto r = reception();
    EXPECT_EQ(r->getEdiData("http://127.0.0.1:" + std::to_string(port) + "/edi/", requestFile, save.path()), "T1003");
    EXPECT_EQ(lastResultField(), "T1003(12029)");
    ::setenv("RES_OPTIONS", "timeout:1 attempts:1", 1);
    EXPECT_EQ(r->getEdiData("http://no-such-host.invalid/edi/", requestFile, save.path()), "T1002");
    ::unsetenv("RES_OPTIONS");
    EXPECT_EQ(lastResultField(), "T1002(12007)");

    home.write("connection.xml", "<Connection><Timeout>2000</Timeout></Connection>");
    setClock(std::make_shared<ScaledClock>(0.05));
    fault("GetEdiData", "delay 60000");
    LocalEdiServer::Options o;
    o.answers = answers.path();
    o.environment = {"FAXGATE_TIME_SCALE=0.05"};
    LocalEdiServer slow(o);
    std::string code = r->getEdiData(slow.methodRoot(), requestFile, save.path());
    setClock(nullptr);
    EXPECT_EQ(code, "T1009");
    EXPECT_EQ(lastResultField(), "T1009(12002)");
}

TEST_F(RequestReceptionTest, AnswerFileNamesMustBeBare) {
    LocalEdiServer server(answers.path());
    canned("GetEdiData/data.xml", "<data/>");
    auto r = reception();
    std::string inner = save / "inner/";
    fs::makeFolders(inner);
    for (const char* name : {"../escaped.xml", "sub/escaped.xml", "..", ".", "a\\escaped.xml", "/tmp/escaped.xml"}) {
        SCOPED_TRACE(name);
        log.log->clear();
        fault("GetEdiData", std::string("name ") + name);
        EXPECT_EQ(r->getEdiData(server.methodRoot(), requestFile, inner), "T1006");
        EXPECT_EQ(r->DownloadFileName(), name);
        EXPECT_EQ(lastResultField(), "T1006");
        EXPECT_TRUE(everything(inner).empty());
        EXPECT_EQ(everything(save.path()), std::vector<std::string>{"inner"});
        EXPECT_FALSE(log.log->entries().empty());
    }
    // No name at all is no name to save under either.
    fault("GetEdiData", "noname");
    EXPECT_EQ(r->getEdiData(server.methodRoot(), requestFile, inner), "T1006");
}

TEST_F(RequestReceptionTest, ASendOperationsDataAnswerIsNotLeftInTheCurrentFolder) {
    canned("PutEdiData/receipt.xml", "<receipt/>");
    LocalEdiServer server(answers.path());
    TempDir cwd;
    char previous[4096];
    ASSERT_NE(::getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(::chdir(cwd.path().c_str()), 0);
    std::vector<std::string> tempBefore = everything(home / "temp");
    auto r = reception();
    std::string code = r->putEdiData(server.methodRoot(), requestFile);
    std::string code2 = r->getIndex(server.methodRoot(), requestFile, "");
    ASSERT_EQ(::chdir(previous), 0);
    EXPECT_EQ(code, "T0000");
    EXPECT_EQ(code2, "C0404");
    EXPECT_TRUE(everything(cwd.path()).empty());
    EXPECT_EQ(everything(home / "temp"), tempBefore);
}

TEST_F(RequestReceptionTest, RequestAndLogFileFailures) {
    LocalEdiServer server(answers.path());
    canned("GetEdiData/data.xml", "<data/>");
    auto r = reception();
    EXPECT_EQ(r->getEdiData(server.methodRoot(), home / "temp/TempReqEDI/missing.zip", save.path()), "T9999");
    EXPECT_EQ(lastResultField(), "T9999");
    fs::writeFileAtomic(home / "temp/TempReqEDI/empty.zip", "");
    EXPECT_EQ(r->putConfirm(server.methodRoot(), home / "temp/TempReqEDI/empty.zip"), "T9999");
    EXPECT_EQ(lastResultField(), "T9999");
    EXPECT_FALSE(log.log->entries().empty());

    // Without its log folder the exchange still stores the answer.
    fs::removeTree(home / "log");
    log.log->clear();
    EXPECT_EQ(r->getEdiData(server.methodRoot(), requestFile, save.path()), "T1008");
    EXPECT_EQ(fs::readFile(save / "data.xml"), "<data/>");
    EXPECT_FALSE(log.log->entries().empty());
}

TEST_F(RequestReceptionTest, TheLogIsCodePage932AndTakesWholeLinesFromManyWriters) {
    LocalEdiServer server(answers.path());
    auto r = reception();
    r->setServerCode("東京工場");
    r->setCertificateKey("鍵");
    EXPECT_EQ(r->putConfirm(server.methodRoot(), requestFile), "C0000");
    std::string raw = fs::readFile(home / "log/communicationlog.csv");
    EXPECT_NE(raw.find(text::toCp932(",C0000,東京工場,Send,0301,鍵,")), std::string::npos);

    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t)
        writers.emplace_back([&] {
            auto w = reception();
            for (int i = 0; i < 5; ++i) EXPECT_EQ(w->putConfirm(server.methodRoot(), requestFile), "C0000");
        });
    for (auto& w : writers) w.join();
    auto lines = logLines();
    ASSERT_EQ(lines.size(), 21u);
    for (const auto& f : lines) EXPECT_EQ(f.size(), 8u);
}

TEST_F(RequestReceptionTest, TheLogThatHoldsTheKeyIsReadableByItsOwnerAlone) {
    LocalEdiServer server(answers.path());
    const std::string path = home / "log/communicationlog.csv";
    struct stat st {};
    for (const char* log : {"new", "one others could read, narrowed at its next line"}) {
        EXPECT_EQ(reception()->putConfirm(server.methodRoot(), requestFile), "C0000");
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u) << log;
        ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    }
    EXPECT_EQ(logLines().size(), 2u);
}

// A client whose answers the test writes.
struct ScriptedClient {
    std::string code, name, answer;
    std::vector<std::string> urls;
};

class FakeConnection : public HttpConnection {
public:
    explicit FakeConnection(ScriptedClient& s) : s_(s) {}
    void open(const std::string& url) override { s_.urls.push_back(url); }
    bool send(const std::string&, Receiver& receiver) override {
        if (s_.code != "T0000") return false;
        receiver.begin(s_.name);
        return receiver.take(s_.answer);
    }
    std::string errorCode() const override { return s_.code; }
    std::string downloadFileName() const override { return s_.name; }

private:
    ScriptedClient& s_;
};

TEST_F(RequestReceptionTest, ClientCodesAreMappedAsTheLogShowsThem) {
    ScriptedClient script;
    RequestReception::setConnectionFactory([&] { return std::make_unique<FakeConnection>(script); });
    struct Case {
        const char* client;
        const char* code;
        const char* field;  // nullptr: no log line
    } cases[] = {
        {"0", "T1001", "T1001(0)"},          {"12002", "T1009", "T1009(12002)"},
        {"12007", "T1002", "T1002(12007)"},  {"12029", "T1003", "T1003(12029)"},
        {"12037", "T2002", "T2002(12037)"},  {"12045", "T2001", "T2001(12045)"},
        {"12152", "T1002", "T1002(12152)"},  {"20035", "T9999", "T9999(20035)"},
        {"T2003", "T2003", "T2003"},         {"T1005", "T1005", "T1005"},
        {"C0404", "C0404", "C0404"},         {"", "T1008", nullptr},
        {"abc", "T1008", nullptr},
    };
    auto r = reception();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.client);
        script.code = c.client;
        script.name = "named.xml";
        std::size_t before = logLines().size();
        EXPECT_EQ(r->getEdiData("http://edi.example/root", requestFile, save.path()), c.code);
        EXPECT_EQ(r->DownloadFileName(), "named.xml");
        if (c.field) {
            EXPECT_EQ(lastResultField(), c.field);
        } else {
            EXPECT_EQ(logLines().size(), before);
        }
    }
    // The servlet path is appended as it stands.
    EXPECT_EQ(script.urls.back(), "http://edi.example/rootservlets/GetEdiData");
    script.code = "T0000";
    for (const char* ending : {"====", "====\n", "====\r\n"}) {
        script.answer = std::string("begin-base64 644 named.xml\nQUJD\r\n") + ending;
        EXPECT_EQ(r->getEdiData("http://edi.example/", requestFile, save.path()), "T0000");
        EXPECT_EQ(fs::readFile(save / "named.xml"), "ABC");
    }
    RequestReception::setConnectionFactory(nullptr);
}

TEST_F(RequestReceptionTest, AFetchedArchiveIsIndexedAndStepsAnswerInTurn) {
    // Step 1 serves an EDI data archive packed from a folder, step 2 says
    // there is nothing more, and after the steps the servlet's default holds.
    canned("GetEdiData/1/D0301.tgz/index.csv", text::toCp932("C01,S01,R1,0,B1,20240131,顧客,仕入先,0301,R1.xml\r\n"));
    canned("GetEdiData/1/D0301.tgz/R1.xml", "<DORE/>");
    canned("GetEdiData/2/answer.tgz/answer.xml", "<Answer><ErrCode>C0403</ErrCode></Answer>");
    LocalEdiServer server(answers.path());
    auto r = reception();
    ASSERT_EQ(r->getEdiData(server.methodRoot(), requestFile, save.path()), "T0000");
    ASSERT_EQ(r->DownloadFileName(), "D0301.tgz");
    Index index;
    ASSERT_TRUE(index.loadIndex({save / r->DownloadFileName()}, "0301", {"KEY-123"}));
    EXPECT_EQ(index.getList("Supplier-code", false), std::vector<std::string>{"S01"});
    auto rows = index.getSearchedListXArray("Supplier-code", "S01");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][7], "仕入先");
    EXPECT_EQ(rows[0][9], "R1.xml");

    EXPECT_EQ(r->getEdiData(server.methodRoot(), requestFile, save.path()), "C0403");
    EXPECT_EQ(r->getEdiData(server.methodRoot(), requestFile, save.path()), "C0404");
    EXPECT_EQ(everything(save.path()), std::vector<std::string>{"D0301.tgz"});
}

TEST(LocalEdiServerTest, AServerThatDoesNotComeUpIsReportedAtOnce) {
    TempDir scripts;
    fs::writeFileAtomic(scripts / "gone.py", "import sys\nsys.exit(3)\n");
    ::setenv("FAXGATE_EDI_SERVER", (scripts / "gone.py").c_str(), 1);
    TempDir answers;
    auto started = std::chrono::steady_clock::now();
    EXPECT_THROW(LocalEdiServer server(answers.path()), std::runtime_error);
    ::unsetenv("FAXGATE_EDI_SERVER");
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
}

// https, with the test certificates of the program.
class RequestReceptionTlsTest : public RequestReceptionTest {};

TEST_F(RequestReceptionTlsTest, CertificateFaultsGiveTheirCodes) {
    home.write("connection.xml", "<Connection><CAFile>" + LocalEdiServer::testCertificates() / "ca.pem" +
                                     "</CAFile></Connection>");
    struct Case {
        const char* certificate;
        const char* code;
        const char* field;
    } cases[] = {
        {"server", "C0000", "C0000"},
        {"selfsigned", "T2001", "T2001(12045)"},
        {"expired", "T2002", "T2002(12037)"},
        {"wronghost", "T2003", "T2003"},
    };
    auto r = reception();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.certificate);
        LocalEdiServer server(LocalEdiServer::overTls(answers.path(), c.certificate));
        EXPECT_EQ(r->putConfirm(server.methodRoot(), requestFile), c.code);
        EXPECT_EQ(lastResultField(), c.field);
    }
}

}  // namespace
}  // namespace fg
