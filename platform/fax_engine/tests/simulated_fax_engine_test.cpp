#include "platform/fax_engine/simulated_fax_engine.h"

#include "platform/clock.h"
#include "platform/fax_engine/fax_engine_loader.h"
#include "platform/fax_engine/g3_codec.h"
#include "platform/files.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_home.h"
#include "platform/text.h"
#include "platform/xml.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

namespace fg::fax {
namespace {

using std::chrono::milliseconds;

// Time stands still unless a wait moves it, so every timing is exact.
struct ManualTime {
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    ManualTime() { setClock(clock); }
    ~ManualTime() { setClock(nullptr); }
};

std::string pageData(int n) {
    BilevelImage page(1728, 20 + n);
    for (int x = 0; x < 10 * n; ++x) page.setBlack(x, 3);
    return encodeG3(page);
}

class SimulatedLines : public ::testing::Test {
protected:
    void SetUp() override {
        outgoing = home.folder("SendTemp");
        for (int n = 1; n <= 3; ++n) fs::writeFileAtomic(outgoing + "20260101120000_p" + std::to_string(n) + ".G3", pageData(n));
    }
    std::string line(int port) const { return home / ("FaxLines/COM" + std::to_string(port) + "/"); }
    void setLine(int port, const std::string& body) const {
        fs::writeFileAtomic(line(port) + "line.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?><FaxLine>" + body + "</FaxLine>");
    }
    std::string base() const { return text::toCp932(outgoing + "20260101120000.G3"); }
    std::int32_t open(int port) {
        std::int32_t handle = 0;
        EXPECT_EQ(engine.PortOpen(&handle, static_cast<std::int16_t>(port), "ATZ"), EngineCode::Ok);
        return handle;
    }
    xml::Document record(int port, int call) const {
        xml::Document doc;
        char name[16];
        std::snprintf(name, sizeof name, "%06d", call);
        EXPECT_TRUE(doc.load(line(port) + "outbox/" + name + "/fax.xml"));
        return doc;
    }
    static std::string value(const xml::Document& doc, const std::string& name) {
        return doc.selectSingleNode("/Fax/" + name).text();
    }

    testing::TempHome home;
    testing::ErrorLogGuard log;
    ManualTime time;
    std::string outgoing;
    SimulatedFaxEngine engine;
};

TEST_F(SimulatedLines, AThreePageSendLandsInTheOutboxInPageOrder) {
    setLine(1, "<ConnectTime>5000</ConnectTime><PageTime>10000</PageTime><RemoteID>0311112222</RemoteID>");
    std::int32_t h = open(1);
    engine.SetLocalID(h, "1234");
    engine.SetResolution(h, 0);
    auto start = time.clock->elapsed();
    // The page names are matched without regard to case.
    ASSERT_EQ(engine.SendFax(h, "03-1111-2222", text::toCp932(outgoing + "20260101120000.g3").c_str(), 3), EngineCode::Ok);
    EXPECT_EQ(time.clock->elapsed() - start, milliseconds(5000 + 3 * 10000));

    for (int n = 1; n <= 3; ++n)
        EXPECT_EQ(fs::readFile(line(1) + "outbox/000001/p" + std::to_string(n) + ".G3"), pageData(n)) << n;
    EXPECT_FALSE(fs::fileExists(line(1) + "outbox/000001/p4.G3"));
    xml::Document fax = record(1, 1);
    EXPECT_EQ(value(fax, "PhoneNumber"), "03-1111-2222");
    EXPECT_EQ(value(fax, "LocalID"), "1234");
    EXPECT_EQ(value(fax, "Resolution"), "0");
    EXPECT_EQ(value(fax, "PagesSent"), "3");
    EXPECT_EQ(value(fax, "Status"), "sent");
    EXPECT_EQ(value(fax, "HangupCode"), "0");

    std::int16_t sent = 0;
    engine.GetNumOfPagesSent(h, &sent);
    EXPECT_EQ(sent, 3);
    const char* remote = nullptr;
    ASSERT_EQ(engine.GetRemoteID(h, &remote), EngineCode::Ok);
    EXPECT_STREQ(remote, "0311112222");

    // The next call gets the next folder.
    ASSERT_EQ(engine.SendFax(h, "0399998888", base().c_str(), 1), EngineCode::Ok);
    EXPECT_EQ(value(record(1, 2), "PhoneNumber"), "0399998888");
}

TEST_F(SimulatedLines, APortIsOpenInOneProgramAtATime) {
    std::int32_t h = open(2);
    SimulatedFaxEngine other;
    std::int32_t h2 = 0;
    EXPECT_EQ(other.PortOpen(&h2, 2, "ATZ"), EngineCode::PortBusy);
    EXPECT_EQ(other.PortOpen(&h2, 3, "ATZ"), EngineCode::Ok);

    // Another process is refused too.
    Process child = Process::start(PORT_OPENER, {"2"});
    EXPECT_EQ(testing::waitForEnd(child), EngineCode::PortBusy);

    EXPECT_EQ(engine.PortClose(h), EngineCode::Ok);
    EXPECT_EQ(other.PortOpen(&h2, 2, "ATZ"), EngineCode::Ok);
    EXPECT_EQ(engine.PortClose(h), EngineCode::BadHandle);

    std::int32_t none = 0;
    EXPECT_EQ(engine.PortOpen(&none, 9, "ATZ"), EngineCode::NoSuchPort);
    EXPECT_EQ(engine.PortOpen(&none, 0, "ATZ"), EngineCode::NoSuchPort);
    EXPECT_EQ(engine.SendFax(12345, "0311112222", base().c_str(), 3), EngineCode::BadHandle);
}

TEST_F(SimulatedLines, InjectedFailuresGiveTheirResultAndHangupCode) {
    struct Case {
        const char* line;
        std::int16_t result;
        std::int32_t hangup;
        int pagesLanded;
    } cases[] = {
        {"<Failure>busy</Failure>", EngineCode::LineBusy, HangupCode::PhaseAError, 0},
        {"<Failure>noanswer</Failure>", EngineCode::NoAnswer, HangupCode::NoAnswer, 0},
        {"<Failure>drop</Failure>", EngineCode::LineDropped, HangupCode::NoResponseToDcs, 0},
        {"<Failure>drop</Failure><DropAfterPage>1</DropAfterPage>", EngineCode::LineDropped,
         HangupCode::NoResponseToMps, 1},
        {"<Failure>DROP</Failure><DropAfterPage>3</DropAfterPage>", EngineCode::LineDropped,
         HangupCode::NoResponseToEop, 3},
        {"", EngineCode::Ok, HangupCode::Normal, 3},
    };
    std::int32_t h = open(1);
    int call = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        setLine(1, c.line);
        EXPECT_EQ(engine.SendFax(h, "0311112222", base().c_str(), 3), c.result);
        std::int32_t hangup = -1;
        engine.GetHangupCode(h, &hangup);
        EXPECT_EQ(hangup, c.hangup);
        std::int16_t sent = -1;
        engine.GetNumOfPagesSent(h, &sent);
        EXPECT_EQ(sent, c.pagesLanded);
        xml::Document fax = record(1, ++call);
        EXPECT_EQ(value(fax, "Result"), std::to_string(c.result));
        EXPECT_EQ(value(fax, "HangupCode"), std::to_string(c.hangup));
        char name[16];
        std::snprintf(name, sizeof name, "%06d", call);
        EXPECT_EQ(fs::list(line(1) + "outbox/" + name, "p*.g3").size(), static_cast<std::size_t>(c.pagesLanded));
    }

    // A counted failure goes away after its count.
    setLine(1, "<Failure times=\"2\">busy</Failure>");
    EXPECT_EQ(engine.SendFax(h, "0311112222", base().c_str(), 1), EngineCode::LineBusy);
    EXPECT_EQ(engine.SendFax(h, "0311112222", base().c_str(), 1), EngineCode::LineBusy);
    EXPECT_EQ(engine.SendFax(h, "0311112222", base().c_str(), 1), EngineCode::Ok);
    EXPECT_EQ(fs::readFile(line(1) + "line.xml").find("Failure"), std::string::npos);
}

TEST_F(SimulatedLines, APageThatCannotBeSentCostsNoCall) {
    std::int32_t h = open(1);
    fs::writeFileAtomic(outgoing + "broken_p1.G3", std::string(300, '\xFF'));
    // A page file cut short in a line: the rest of the page is missing.
    BilevelImage rules(kFaxWidth, 40);
    for (int y = 0; y < 40; y += 2)
        for (int x = 0; x < kFaxWidth; x += 3) rules.setBlack(x, y);
    const std::string whole = encodeG3(rules);
    fs::writeFileAtomic(outgoing + "cut_p1.G3", whole.substr(0, whole.size() / 2 + 3));
    struct Case {
        const char* what;
        const char* phone;
        std::string file;
        std::int16_t pages;
        std::int16_t result;
    } cases[] = {
        {"missing fourth page", "0311112222", base(), 4, EngineCode::FileNotFound},
        {"not a G3 page", "0311112222", text::toCp932(outgoing + "broken.G3"), 1, EngineCode::BadImage},
        {"a page cut short", "0311112222", text::toCp932(outgoing + "cut.G3"), 1, EngineCode::BadImage},
        {"no pages", "0311112222", base(), 0, EngineCode::BadArgument},
        {"no number", " ", base(), 1, EngineCode::BadArgument},
        {"nothing to dial", "(--) ", base(), 1, EngineCode::BadArgument},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(engine.SendFax(h, c.phone, c.file.c_str(), c.pages), c.result);
    }
    EXPECT_TRUE(fs::list(line(1) + "outbox", "*", fs::ListKind::Folders).empty());

    // A line file a person broke: the call is refused and the reason logged.
    fs::writeFileAtomic(line(1) + "line.xml", "<FaxLine><PageTime>soon</PageTime></FaxLine>");
    EXPECT_EQ(engine.SendFax(h, "0311112222", base().c_str(), 1), EngineCode::LineSettings);
    ASSERT_FALSE(log.log->entries().empty());
    EXPECT_EQ(log.log->entries().back().source, "FaxLines");
}

TEST_F(SimulatedLines, ClosingThePortEndsARunningCall) {
    setClock(std::make_shared<ScaledClock>(0.0001));
    setLine(1, "<PageTime>3600000</PageTime>");
    std::int32_t h = open(1);
    std::int16_t result = -1;
    std::thread worker([&] { result = engine.SendFax(h, "0311112222", base().c_str(), 3); });
    // Let the call reach its first page, then hang up.
    EXPECT_TRUE(testing::eventually([&] { return fs::fileExists(line(1) + "outbox/000001/fax.xml"); }));
    std::int32_t again = 0;
    std::int16_t busy = engine.SendFax(h, "0311112222", base().c_str(), 1);
    EXPECT_EQ(busy, EngineCode::PortBusy);
    EXPECT_EQ(engine.PortClose(h), EngineCode::Ok);
    worker.join();
    EXPECT_EQ(result, EngineCode::Aborted);
    EXPECT_EQ(value(record(1, 1), "Status"), "aborted");
    // Once the call has ended the line is free again.
    EXPECT_EQ(engine.PortOpen(&again, 1, "ATZ"), EngineCode::Ok);
}

TEST_F(SimulatedLines, AnIncomingCallIsAnsweredIntoPageFiles) {
    setLine(5, "<RingTimeout>30000</RingTimeout><PageTime>2000</PageTime>");
    std::int32_t h = open(5);
    std::int16_t status = -1;
    auto before = time.clock->elapsed();
    EXPECT_EQ(engine.WaitForRing(h, &status), EngineCode::NoCall);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(time.clock->elapsed() - before, milliseconds(30000));
    std::int16_t pages = -1;
    std::string received = home.folder("G3Image") + "in.G3";
    EXPECT_EQ(engine.ReceiveFax(h, received.c_str(), &pages), EngineCode::NoCall);

    // A caller puts its pages in place with one rename.
    std::string staging = line(5) + "inbox/.call";
    fs::makeFolders(staging);
    for (int n : {1, 2, 10}) fs::writeFileAtomic(staging + "/p" + std::to_string(n) + ".G3", pageData(n));
    fs::writeFileAtomic(staging + "/call.xml", "<Call><RemoteID>0455556666</RemoteID></Call>");
    ASSERT_EQ(std::rename(staging.c_str(), (line(5) + "inbox/call1").c_str()), 0);

    EXPECT_EQ(engine.WaitForRing(h, &status), EngineCode::Ok);
    EXPECT_EQ(status, 1);
    ASSERT_EQ(engine.ReceiveFax(h, received.c_str(), &pages), EngineCode::Ok);
    EXPECT_EQ(pages, 3);
    // Pages keep their order by number, not by name.
    EXPECT_EQ(fs::readFile(home.folder("G3Image") + "in_p3.G3"), pageData(10));
    EXPECT_EQ(fs::readFile(home.folder("G3Image") + "in_p1.G3"), pageData(1));
    EXPECT_FALSE(fs::folderExists(line(5) + "inbox/call1"));
    const char* remote = nullptr;
    engine.GetRemoteID(h, &remote);
    EXPECT_STREQ(remote, "0455556666");

    // A call that breaks off stays for the next answer: nothing is lost.
    fs::makeFolders(line(5) + "inbox/call2");
    fs::writeFileAtomic(line(5) + "inbox/call2/p1.G3", pageData(1));
    fs::writeFileAtomic(line(5) + "inbox/call2/p2.G3", pageData(2));
    setLine(5, "<Failure times=\"1\">drop</Failure><DropAfterPage>1</DropAfterPage>");
    EXPECT_EQ(engine.ReceiveFax(h, received.c_str(), &pages), EngineCode::LineDropped);
    EXPECT_EQ(pages, 1);
    std::int32_t hangup = 0;
    engine.GetHangupCode(h, &hangup);
    EXPECT_EQ(hangup, HangupCode::ExpectedPageMissing);
    EXPECT_TRUE(fs::folderExists(line(5) + "inbox/call2"));
    EXPECT_EQ(engine.ReceiveFax(h, received.c_str(), &pages), EngineCode::Ok);
    EXPECT_EQ(pages, 2);
}

TEST_F(SimulatedLines, TraceLinesGoWhereTheTraceOptionSays) {
    engine.SetTraceOption(1);
    engine.SetTraceFileName("c:\\SendTrace.txt");
    std::int32_t h = open(1);
    engine.SendFax(h, "0311112222", base().c_str(), 1);
    std::string trace = fs::readFile(home.folder("log") + "SendTrace.txt");
    EXPECT_NE(trace.find("COM1 open"), std::string::npos);
    EXPECT_NE(trace.find("send to 0311112222"), std::string::npos);
    EXPECT_FALSE(fs::fileExists(home / "c:\\SendTrace.txt"));
}

TEST(FaxEngineLoader, TheEnvironmentChoosesTheEngineAndALoadCanFail) {
    testing::TempHome home;
    long error = -1;
    ::setenv(FaxEngineLoader::kEnvironment, "none", 1);
    EXPECT_EQ(FaxEngineLoader::load("Skelmar.dll", error), nullptr);
    EXPECT_EQ(error, FaxEngineLoader::kModuleNotFound);
    ::setenv(FaxEngineLoader::kEnvironment, "simulated", 1);
    auto engine = FaxEngineLoader::load("Skelmar.dll", error);
    EXPECT_NE(dynamic_cast<SimulatedFaxEngine*>(engine.get()), nullptr);
    EXPECT_EQ(error, 0);
    ::unsetenv(FaxEngineLoader::kEnvironment);
    EXPECT_NE(FaxEngineLoader::load("Skelmar.dll", error), nullptr);

    FaxEngineLoader::setFactory([](const std::string&, long&) { return std::shared_ptr<FaxEngine>(); });
    EXPECT_EQ(FaxEngineLoader::load("Skelmar.dll", error), nullptr);
    EXPECT_EQ(error, FaxEngineLoader::kModuleNotFound);
    FaxEngineLoader::setFactory(nullptr);
}

}  // namespace
}  // namespace fg::fax
