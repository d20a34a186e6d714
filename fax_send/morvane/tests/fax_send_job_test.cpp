// The send job in-process, over a scripted modem (its answers, the calls made
// and the waits taken) and over the simulated lines through the real control.
#include "fax_send/morvane/fax_send_job.h"

#include "fax_send/ostrand/ostrand.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "scripted_modem.h"
#include "send_test_support.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <set>

namespace fg {
namespace {

using testing::ManageRecord;
using testing::RecordingPump;
using testing::ScriptedModem;
using namespace std::chrono_literals;

class SendJob : public ::testing::Test {
protected:
    void SetUp() override {
        setClock(manual);
        testing::writeModems(home, {"1*ATZ*0*1*0*", "2*ATZ*0*1*0*", "5*ATZ*0*0*1*0312340000"});
        testing::setRetries(home, "3");
    }
    void TearDown() override { setClock(nullptr); }

    void install(const std::vector<ManageRecord>& records) {
        testing::writeStore(home, records);
        pages = testing::writePages(home, records);
    }
    bool run(const std::vector<std::string>& numbers) {
        FaxSendJob job(modem, pump);
        return job.run(numbers);
    }
    std::vector<std::string> files(const std::string& key) { return fs::list(home.folder(key)); }
    std::vector<std::string> bytesOf(const std::vector<std::string>& names) {
        std::vector<std::string> out;
        for (auto& n : names) out.push_back(pages.at(n));
        return out;
    }
    std::vector<ErrorLogEntry> entries(long number) {
        std::vector<ErrorLogEntry> out;
        for (auto& e : log.log->entries())
            if (e.number == number) out.push_back(e);
        return out;
    }

    testing::TempHome home;
    testing::ErrorLogGuard log;
    std::shared_ptr<ManualClock> manual = std::make_shared<ManualClock>();
    ScriptedModem modem;
    RecordingPump pump;
    std::map<std::string, std::string> pages;
};

TEST_F(SendJob, EachNumberIsSentOnAFreshLineRecordedAndItsWorkFilesCleared) {
    auto start = manual->now();
    install({{"A0001", "0311110001", {"A0001_1", "A0001_2"}}, {"A0002", "0311110002", {"A0002_1"}}});
    ASSERT_TRUE(run({"A0001", "A0002"}));

    EXPECT_EQ(modem.calls, (std::vector<std::string>{"open COM1", "send 0311110001 pages=2", "close", "open COM1",
                                                      "send 0311110002 pages=1", "close"}));
    ASSERT_EQ(modem.sentPages.size(), 2u);
    EXPECT_EQ(modem.sentPages[0], bytesOf({"A0001_1", "A0001_2"}));
    EXPECT_EQ(modem.sentPages[1], bytesOf({"A0002_1"}));
    EXPECT_EQ(fs::folderOf(modem.lastFile), home.folder("SendTemp"));

    auto records = testing::sendLog(home);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].number, "A0001");
    EXPECT_EQ(records[0].result, "OK");
    EXPECT_EQ(records[0].pageNum, "2");
    EXPECT_EQ(records[0].faxNum, "0311110001");
    EXPECT_EQ(records[0].images, (std::vector<std::string>{"A0001_1", "A0001_2"}));
    EXPECT_EQ(records[0].sendDate.size(), 14u);
    EXPECT_GE(records[0].sendDate, timeStamp14(start));
    EXPECT_EQ(records[1].pageNum, "1");
    EXPECT_TRUE(files("G3Image").empty());
    EXPECT_TRUE(files("SendTemp").empty());
    EXPECT_TRUE(files("G3ReImage").empty());
    EXPECT_TRUE(log.log->entries().empty());
}

TEST_F(SendJob, AFailingLineIsTriedAgainAndALaterReSendRecordsOK) {
    install({{"A0001", "0311110001", {"A0001_1", "A0001_2"}}});
    modem.results = {12, 12, 12};
    modem.hangup = 0x52;
    EXPECT_TRUE(run({"A0001"}));  // the job went through its list

    // Three tries, a line opened again only before a try that follows.
    EXPECT_EQ(modem.calls,
              (std::vector<std::string>{"open COM1", "send 0311110001 pages=2", "close", "open COM1",
                                        "send 0311110001 pages=2", "close", "open COM1", "send 0311110001 pages=2",
                                        "close", "close"}));
    EXPECT_EQ(pump.waits, (std::vector<std::chrono::milliseconds>{5000ms, 5000ms}));
    auto failures = entries(40007);
    ASSERT_EQ(failures.size(), 3u);
    for (int t = 1; t <= 3; ++t) {
        EXPECT_EQ(failures[t - 1].source, "FaxSend");
        EXPECT_EQ(failures[t - 1].description, "帳票管理番号：A0001　送信回数：" + std::to_string(t) +
                                                   "回目　　送信結果コード：12  ハングアップコード：82");
    }
    auto records = testing::sendLog(home);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].result, "NG");
    EXPECT_EQ(records[0].pageNum, "0");
    EXPECT_EQ(files("G3ReImage"), (std::vector<std::string>{"A0001_1.G3", "A0001_2.G3"}));
    EXPECT_TRUE(files("G3Image").empty());
    EXPECT_TRUE(files("SendTemp").empty());

    // The re-send restores the kept pages, sends them and clears them.
    manual->advance(60s);
    modem.calls.clear();
    modem.sentPages.clear();
    log.log->clear();
    ASSERT_TRUE(run({"A0001"}));
    ASSERT_EQ(modem.sentPages.size(), 1u);
    EXPECT_EQ(modem.sentPages[0], bytesOf({"A0001_1", "A0001_2"}));
    records = testing::sendLog(home);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].result, "OK");
    EXPECT_EQ(records[0].pageNum, "2");
    EXPECT_EQ(records[0].reSendDate, timeStamp14(manual->now()));
    EXPECT_TRUE(files("G3ReImage").empty());
    EXPECT_TRUE(files("G3Image").empty());
    EXPECT_TRUE(log.log->entries().empty());
}

TEST_F(SendJob, SendsThatCannotHappenEndAsNGWithTheirPagesKept) {
    struct Case {
        const char* name;
        std::string tries;
        std::int16_t startCode;
        std::size_t sends;
        long loggedNumber;  // besides 40007, 0 for none
    } cases[] = {
        {"no tries", "0", 0, 0, 0},
        {"send never starts", "2", OstrandResultCode::CreateFailed, 2, 0},
        {"try count not a number", "drei", 0, 0, 13},
    };
    for (auto& k : cases) {
        SCOPED_TRACE(k.name);
        fs::removeTree(home.folder("G3ReImage"));
        home.folder("G3ReImage");  // made again, empty
        fs::writeFileAtomic(home.folder("FaxSendLog") + "FaxSendLog.xml", testing::sjisDocument("<FaxSendLogs/>"));
        install({{"A0001", "0311110001", {"A0001_1"}}});
        testing::setRetries(home, k.tries);
        modem.startCode = k.startCode;
        modem.calls.clear();
        log.log->clear();

        EXPECT_TRUE(run({"A0001"}));
        std::size_t sends = 0;
        for (auto& c : modem.calls) sends += c.rfind("send", 0) == 0;
        EXPECT_EQ(sends, k.sends);
        EXPECT_EQ(entries(40007).size(), k.sends);
        if (k.sends) {
            EXPECT_NE(entries(40007)[0].description.find("送信結果コード：302"), std::string::npos);
        }
        if (k.loggedNumber) {
            EXPECT_EQ(entries(k.loggedNumber).size(), 1u);
        }
        auto records = testing::sendLog(home);
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].result, "NG");
        EXPECT_EQ(records[0].pageNum, "0");
        EXPECT_EQ(files("G3ReImage"), std::vector<std::string>{"A0001_1.G3"});
        EXPECT_TRUE(files("G3Image").empty());
        EXPECT_TRUE(files("SendTemp").empty());
    }
}

TEST_F(SendJob, AJobThatMustStopRecordsEveryUnsentNumberAndKeepsItsPages) {
    struct Case {
        const char* name;
        std::vector<std::string> modems;
        std::vector<ManageRecord> records;
        std::vector<std::string> list;
        long cause;
        std::vector<std::string> sentOK;
    } cases[] = {
        {"no send line", {"5*ATZ*0*0*1*", "6*ATZ*0*0*0*"},
         {{"A0001", "0311110001", {"A0001_1"}}, {"A0002", "0311110002", {"A0002_1", "A0002_2"}}},
         {"A0001", "A0002"}, 40006, {}},
        {"number not on record", {"1*ATZ*0*1*0*"},
         {{"A0001", "0311110001", {"A0001_1"}}, {"A0003", "0311110003", {"A0003_1"}}},
         {"A0001", "A0002", "A0003"}, 40015, {"A0001"}},
        {"malformed modem line", {"x*ATZ*0*1*0*"}, {{"A0001", "0311110001", {"A0001_1"}}}, {"A0001"}, 13, {}},
    };
    for (auto& k : cases) {
        SCOPED_TRACE(k.name);
        for (const char* key : {"G3Image", "G3ReImage", "SendTemp"}) {
            fs::removeTree(home.folder(key));
            home.folder(key);
        }
        fs::writeFileAtomic(home.folder("FaxSendLog") + "FaxSendLog.xml", testing::sjisDocument("<FaxSendLogs/>"));
        testing::writeModems(home, k.modems);
        install(k.records);
        log.log->clear();

        EXPECT_FALSE(run(k.list));
        EXPECT_TRUE(log.log->has(k.cause));
        std::set<std::string> sent(k.sentOK.begin(), k.sentOK.end());
        for (auto& r : testing::sendLog(home)) {
            EXPECT_EQ(r.result, sent.count(r.number) ? "OK" : "NG") << r.number;
            EXPECT_EQ(r.pageNum, sent.count(r.number) ? r.pageNum : "0") << r.number;
        }
        // Every number on record is in the send history, once.
        std::size_t onRecord = 0;
        for (auto& n : k.list)
            for (auto& r : k.records) onRecord += r.number == n;
        EXPECT_EQ(testing::sendLog(home).size(), onRecord);
        // Unsent numbers: logged one by one, pages kept for the re-send.
        for (auto& r : k.records) {
            if (sent.count(r.number)) continue;
            bool logged = false;
            for (auto& e : log.log->entries())
                logged |= e.description.find(r.number) != std::string::npos && e.source == "FaxSend";
            EXPECT_TRUE(logged) << r.number;
            for (auto& p : r.pages) {
                ASSERT_TRUE(fs::fileExists(home.folder("G3ReImage") + p + ".G3")) << p;
                EXPECT_EQ(fs::readFile(home.folder("G3ReImage") + p + ".G3"), pages.at(p));
            }
        }
        EXPECT_TRUE(files("G3Image").empty());
        EXPECT_TRUE(files("SendTemp").empty());
    }
}

TEST_F(SendJob, ASendThatNeverEndsIsHungUpAfterTheBoundAndCountsAsAFailedTry) {
    install({{"A0001", "0311110001", {"A0001_1", "A0001_2"}}});
    testing::setRetries(home, "2");
    home.write("waits.xml", "<?xml version=\"1.0\"?><Waits><SendPage>60000</SendPage></Waits>");
    modem.pollsPerSend = 1 << 30;  // the line never reports an end
    auto start = manual->elapsed();
    ASSERT_TRUE(run({"A0001"}));

    // Each try: three pages' worth of the bound (two pages and the call).
    EXPECT_GE(manual->elapsed() - start, 2 * 180000ms + FaxSendJob::kTryWait);
    EXPECT_LT(manual->elapsed() - start, 2 * 181000ms + FaxSendJob::kTryWait);
    EXPECT_EQ(modem.calls, (std::vector<std::string>{"open COM1", "send 0311110001 pages=2", "close", "close",
                                                      "open COM1", "send 0311110001 pages=2", "close", "close",
                                                      "close"}));
    auto failures = entries(FaxSendJob::kSendFailed);
    ASSERT_EQ(failures.size(), 4u);
    EXPECT_EQ(failures[0].description, "帳票管理番号：A0001　送信が 180 秒を過ぎても終わりません。回線を切ります。");
    EXPECT_NE(failures[1].description.find("送信回数：1回目　　送信結果コード：304"), std::string::npos)
        << failures[1].description;
    EXPECT_NE(failures[3].description.find("送信回数：2回目"), std::string::npos);
    auto records = testing::sendLog(home);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].result, "NG");
    EXPECT_EQ(files("G3ReImage"), (std::vector<std::string>{"A0001_1.G3", "A0001_2.G3"}));
    EXPECT_TRUE(files("SendTemp").empty());
}

TEST_F(SendJob, PagesThatCannotBeKeptStayInTheImageFolder) {
    install({{"A0001", "0311110001", {"A0001_1", "A0001_2"}}});
    (void)fs::removeFile(home.folder("G3Image") + "A0001_2.G3");
    EXPECT_FALSE(run({"A0001"}));
    EXPECT_TRUE(log.log->has(40015));
    EXPECT_TRUE(log.log->has(40005));
    // The page still there stays: the copy of its partner failed.
    EXPECT_EQ(files("G3Image"), std::vector<std::string>{"A0001_1.G3"});
    EXPECT_TRUE(files("SendTemp").empty());
    ASSERT_EQ(testing::sendLog(home).size(), 1u);
    EXPECT_EQ(testing::sendLog(home)[0].result, "NG");
}

TEST_F(SendJob, BusyLinesAreWaitedForInPassesOverTheRecordsPresent) {
    install({{"A0001", "0311110001", {"A0001_1"}}});
    testing::writeModems(home, {"5*ATZ*0*0*1*", "2*ATZ*0*1*0*", "3*ATZ*0*1*0*"});
    int opens = 0;
    modem.openResult = [&](std::int32_t port) -> std::int16_t { return ++opens >= 5 && port == 3 ? 0 : 2; };
    ASSERT_TRUE(run({"A0001"}));
    EXPECT_EQ(modem.calls[0], "open COM2 failed");
    EXPECT_EQ(modem.calls[1], "open COM3 failed");
    EXPECT_EQ(modem.calls[4], "open COM2 failed");
    EXPECT_EQ(modem.calls[5], "open COM3");
    EXPECT_EQ(pump.waits, (std::vector<std::chrono::milliseconds>{10000ms, 10000ms}));
    EXPECT_EQ(testing::sendLog(home).at(0).result, "OK");

    // Only the first 20 records are lines: a send line behind them is none.
    std::vector<std::string> lines;
    for (int p = 1; p <= 20; ++p) lines.push_back(std::to_string(p) + "*ATZ*0*0*0*");
    lines.push_back("21*ATZ*0*1*0*");
    testing::writeModems(home, lines);
    install({{"A0002", "0311110002", {"A0002_1"}}});
    EXPECT_FALSE(run({"A0002"}));
    EXPECT_TRUE(log.log->has(40006));
}

TEST_F(SendJob, LinesThatAreGoneRatherThanTakenAreLoggedOnceAndTriedOn) {
    install({{"A0001", "0311110001", {"A0001_1"}}});
    testing::writeModems(home, {"2*ATZ*0*1*0*", "3*ATZ*0*1*0*"});
    int opens = 0;
    modem.openResult = [&](std::int32_t port) -> std::int16_t { return ++opens >= 7 ? 0 : port == 2 ? 17 : 1; };
    ASSERT_TRUE(run({"A0001"}));
    EXPECT_EQ(pump.waits.size(), 3u);
    const auto entries = log.log->entries();
    ASSERT_EQ(std::count_if(entries.begin(), entries.end(), [](const auto& e) { return e.number == 40006; }), 1);
    EXPECT_NE(std::find_if(entries.begin(), entries.end(), [](const auto& e) { return e.number == 40006; })
                  ->description.find("(COM2: 17, COM3: 1)"),
              std::string::npos);
    EXPECT_EQ(testing::sendLog(home).at(0).result, "OK");
}

TEST_F(SendJob, WorkFilesAreDeletedWithoutRegardToCaseAndOnlyInsideTheirFolders) {
    std::string temp = home.folder("SendTemp"), g3 = home.folder("G3Image");
    fs::writeFileAtomic(temp + "b_p1.G3", "1");
    fs::writeFileAtomic(temp + "B_P2.g3", "2");
    fs::writeFileAtomic(temp + "b.G3", "base has no file; this one is not touched");
    EXPECT_TRUE(FaxSendJob::delG3DummyFile({"b", "b_p1", "b_p2"}));
    EXPECT_EQ(fs::list(temp), std::vector<std::string>{"b.G3"});
    EXPECT_TRUE(log.log->entries().empty());

    fs::writeFileAtomic(temp + "c_p2.G3", "2");
    EXPECT_FALSE(FaxSendJob::delG3DummyFile({"c", "c_p1", "c_p2"}));
    EXPECT_TRUE(fs::fileExists(temp + "c_p2.G3"));  // the later files stay
    EXPECT_FALSE(FaxSendJob::delG3DummyFile({"", "../SendTemp/b"}));
    EXPECT_TRUE(fs::fileExists(temp + "b.G3"));
    EXPECT_EQ(log.log->entries().size(), 2u);

    install({{"A0001", "0311110001", {"A0001_1", "A0001_2", "A0001_3"}}});
    (void)fs::removeFile(g3 + "A0001_2.G3");
    log.log->clear();
    EXPECT_FALSE(FaxSendJob::delG3FromManageNo("A0001"));
    EXPECT_EQ(files("G3Image"), std::vector<std::string>{"A0001_3.G3"});
    ASSERT_EQ(entries(40016).size(), 1u);
    EXPECT_EQ(entries(40016)[0].source, "FaxSend");

    log.log->clear();
    EXPECT_TRUE(FaxSendJob::delG3FromManageNo("A0009"));  // not on record: nothing to delete
    EXPECT_TRUE(log.log->has(40008));
    EXPECT_EQ(files("G3Image"), std::vector<std::string>{"A0001_3.G3"});
}

// The real control over the simulated lines of the demo home.
TEST(SendJobOnSimulatedLines, ABusyFirstCallIsRetriedAndThePagesArriveWhole) {
    testing::TempHome home;
    testing::ErrorLogGuard log;
    setClock(std::make_shared<ScaledClock>(0.001));
    testing::writeModems(home, {"1*ATZ*0*1*0*"});
    testing::setRetries(home, "2");
    testing::setLine(home, 1, "<ConnectTime>3000</ConnectTime><Failure times=\"1\">busy</Failure>");
    std::vector<ManageRecord> records{{"A0001", "0311110001", {"A0001_1", "A0001_2"}}};
    testing::writeStore(home, records);
    auto pages = testing::writePages(home, records);

    struct SleepPump : JobPump {
        void wait(std::chrono::milliseconds d) override { clock().sleepFor(d); }
    } pump;
    auto modem = makeOstrandSendModem();
    EXPECT_TRUE(FaxSendJob(*modem, pump).run({"A0001"}));
    setClock(nullptr);

    auto faxes = testing::outbox(home, 1);
    ASSERT_EQ(faxes.size(), 2u);
    EXPECT_EQ(faxes[0].status, "busy");
    EXPECT_EQ(faxes[1].status, "sent");
    EXPECT_EQ(faxes[1].phone, "0311110001");
    EXPECT_EQ(faxes[1].pages, (std::vector<std::string>{pages["A0001_1"], pages["A0001_2"]}));
    ASSERT_EQ(log.log->entries().size(), 1u);
    EXPECT_EQ(log.log->entries()[0].description,
              "帳票管理番号：A0001　送信回数：1回目　　送信結果コード：10  ハングアップコード：16");
    EXPECT_EQ(testing::sendLog(home).at(0).result, "OK");
    EXPECT_TRUE(fs::list(home.folder("SendTemp")).empty());
    EXPECT_TRUE(fs::list(home.folder("G3Image")).empty());
    // Every call carries the settings the server gives its control.
    xml::Document call;
    ASSERT_TRUE(call.load(home.path() + "FaxLines/COM1/outbox/000002/fax.xml"));
    const std::pair<const char*, const char*> settings[] = {
        {"LocalID", "1234"}, {"Resolution", "0"}, {"LineType", "0"}, {"ModemClass", "2"}, {"BitRate", "5"},
        {"FaxInfo", "1"}};
    for (auto& [name, value] : settings) EXPECT_EQ(call.selectSingleNode(std::string("/Fax/") + name).text(), value) << name;
    // The control traces beside the error logs.
    EXPECT_TRUE(fs::fileExists(home.folder("log") + "SendTrace.txt"));
}

}  // namespace
}  // namespace fg
