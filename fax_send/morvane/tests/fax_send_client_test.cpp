// FaxSend end to end: clients in this process, each server a morvane process
// of its own, sending over the simulated lines of a temporary installation.
#include "fax_send/morvane/fax_send.h"
#include "fax_send/morvane/errors.h"

#include "platform/clock.h"
#include "platform/error_log.h"
#include "platform/files.h"
#include "platform/process/child_object.h"
#include "platform/process/run_marker.h"
#include "platform/testing/run_program.h"
#include "platform/testing/small_file_system.h"
#include "platform/testing/whole_home.h"
#include "platform/text.h"
#include "send_test_support.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <set>

namespace fg {
namespace {

using testing::ManageRecord;
using namespace std::chrono_literals;

// Waits of the servers and of this process run at a hundredth of their length.
constexpr double kScale = 0.01;
// Bounds in the system's time: two real minutes, for a loaded machine; the
// waits end as soon as what they wait for comes.
constexpr auto kBound = std::chrono::milliseconds(12000000);

class FaxSendClient : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("FAXGATE_TIME_SCALE", "0.01", 1);
        setClock(std::make_shared<ScaledClock>(kScale));
        // Programs find each other in the program folder: the server beside
        // the installation, as on a server.
        std::filesystem::create_symlink(testing::programDir() + "morvane", home.path() + "morvane");
        testing::setRetries(home, "2");
    }
    void TearDown() override {
        // No server of this test outlives it (and holds ctest's output).
        testing::killWholeHome(home.path());
        setClock(nullptr);
        ::unsetenv("FAXGATE_TIME_SCALE");
    }

    std::map<std::string, std::string> install(const std::vector<ManageRecord>& records) {
        testing::writeStore(home, records);
        return testing::writePages(home, records);
    }
    std::vector<std::string> files(const std::string& key) { return fs::list(home.folder(key)); }
    std::vector<std::string> markerFiles() { return fs::list(home.path(), "@*.XML"); }
    // The server processes' error log.
    std::vector<std::string> errorLogLines(const std::string& logFolder = "") {
        std::string path = (logFolder.empty() ? home.folder("log") : logFolder) + "ErrorLog.txt";
        std::vector<std::string> lines;
        if (!fs::fileExists(path)) return lines;
        std::string all = fs::readFile(path), line;
        for (char c : all) {
            if (c == '\n') {
                lines.push_back(line);
                line.clear();
            } else {
                line += c;
            }
        }
        return lines;
    }
    // Pumps until the condition holds (looked at between short waits).
    bool pumpUntil(const std::function<bool()>& done) {
        auto until = clock().elapsed() + kBound;
        while (!done()) {
            if (clock().elapsed() > until) return false;
            (void)pump.waitFor(std::chrono::milliseconds(1000));
        }
        return true;
    }

    testing::TempHome home;
    testing::ErrorLogGuard log;
    EventPump pump;
};

TEST_F(FaxSendClient, TwoNumbersAreFaxedRecordedAndCleanedUpAndTheServerEnds) {
    auto pages = install({{"A0001", "0311110001", {"A0001_1", "A0001_2"}}, {"A0002", "0311110002", {"A0002_1"}}});
    auto send = std::make_unique<FaxSend>(pump);
    pid_t server = send->serverPid();
    ASSERT_GT(server, 0);
    ASSERT_EQ(markerFiles().size(), 1u);

    int events = 0;
    Variant status;
    std::size_t markersInHandler = 0;
    send->setEventSendFaxEnd([&] {
        ++events;
        status = send->blnEndStatus();
        markersInHandler = markerFiles().size();
        send->release();
    });
    EXPECT_TRUE(send->blnEndStatus().isEmpty());
    ASSERT_TRUE(send->sendFAX({"A0001", "A0002"}));
    ASSERT_TRUE(FaxSend::waitForEnds(pump, {send.get()}, FaxSend::WaitFor::All, kBound));

    EXPECT_EQ(events, 1);
    EXPECT_EQ(status.toText(), "True");
    EXPECT_EQ(markersInHandler, 1u);
    EXPECT_FALSE(testing::processExists(server));
    EXPECT_TRUE(markerFiles().empty());

    std::map<std::string, std::vector<std::string>> byPhone;
    for (auto& fax : testing::allOutboxes(home)) {
        EXPECT_EQ(fax.status, "sent");
        byPhone[fax.phone] = fax.pages;
    }
    ASSERT_EQ(byPhone.size(), 2u);
    EXPECT_EQ(byPhone["0311110001"], (std::vector<std::string>{pages["A0001_1"], pages["A0001_2"]}));
    EXPECT_EQ(byPhone["0311110002"], (std::vector<std::string>{pages["A0002_1"]}));

    auto records = testing::sendLog(home);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].number, "A0001");
    EXPECT_EQ(records[0].result, "OK");
    EXPECT_EQ(records[0].pageNum, "2");
    EXPECT_EQ(records[1].number, "A0002");
    EXPECT_EQ(records[1].result, "OK");
    EXPECT_EQ(records[1].pageNum, "1");
    EXPECT_TRUE(files("G3Image").empty());
    EXPECT_TRUE(files("SendTemp").empty());
    EXPECT_TRUE(errorLogLines().empty());
}

TEST_F(FaxSendClient, AFailingLineLeavesNGAndKeptPagesAndALaterReSendRecordsOK) {
    auto pages = install({{"A0001", "0311110001", {"A0001_1", "A0001_2"}}});
    testing::writeModems(home, {"1*ATZ*0*1*0*", "5*ATZ*0*0*1*"});
    testing::setLine(home, 1, "<ConnectTime>3000</ConnectTime><Failure>drop</Failure><DropAfterPage>1</DropAfterPage>");
    {
        FaxSend send(pump);
        ASSERT_TRUE(send.sendFAX({"A0001"}));
        ASSERT_TRUE(FaxSend::waitForEnds(pump, {&send}, FaxSend::WaitFor::All, kBound));
        EXPECT_EQ(send.blnEndStatus().toText(), "True");  // the list was gone through
    }
    auto lines = errorLogLines();
    ASSERT_EQ(lines.size(), 2u);
    for (int t = 1; t <= 2; ++t) {
        EXPECT_NE(lines[t - 1].find("\tFaxSend\t40007\t帳票管理番号：A0001　送信回数：" + std::to_string(t) +
                                    "回目　　送信結果コード：12  ハングアップコード：82"),
                  std::string::npos)
            << lines[t - 1];
    }
    auto records = testing::sendLog(home);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].result, "NG");
    EXPECT_EQ(records[0].pageNum, "0");
    EXPECT_EQ(files("G3ReImage"), (std::vector<std::string>{"A0001_1.G3", "A0001_2.G3"}));
    EXPECT_TRUE(files("G3Image").empty());

    // The line mended, the document is sent again from its kept pages.
    testing::setLine(home, 1, "<ConnectTime>3000</ConnectTime>");
    {
        FaxSend send(pump);
        ASSERT_TRUE(send.sendFAX({"A0001"}));
        ASSERT_TRUE(FaxSend::waitForEnds(pump, {&send}, FaxSend::WaitFor::All, kBound));
    }
    records = testing::sendLog(home);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].result, "OK");
    EXPECT_EQ(records[0].pageNum, "2");
    EXPECT_EQ(records[0].reSendDate.size(), 14u);
    auto faxes = testing::outbox(home, 1);
    ASSERT_EQ(faxes.size(), 3u);
    EXPECT_EQ(faxes[2].status, "sent");
    EXPECT_EQ(faxes[2].pages, (std::vector<std::string>{pages["A0001_1"], pages["A0001_2"]}));
    EXPECT_TRUE(files("G3ReImage").empty());
    EXPECT_TRUE(files("G3Image").empty());
    EXPECT_TRUE(files("SendTemp").empty());
}

TEST_F(FaxSendClient, TwentyServersOverFourLinesLoseNothingAndMixNoPages) {
    constexpr int kClients = 20;
    std::vector<ManageRecord> records;
    for (int i = 1; i <= kClients; ++i) {
        char number[32], phone[32];
        std::snprintf(number, sizeof number, "2024010509300000%02d", i);
        std::snprintf(phone, sizeof phone, "03222200%02d", i);
        std::vector<std::string> names{std::string(number) + "_1"};
        if (i % 3 == 0) names.push_back(std::string(number) + "_2");
        records.push_back({number, phone, names});
    }
    auto pages = install(records);

    std::vector<std::unique_ptr<FaxSend>> clients;
    std::vector<FaxSend*> raw;
    int events = 0;
    for (int i = 0; i < kClients; ++i) {
        clients.push_back(std::make_unique<FaxSend>(pump));
        raw.push_back(clients.back().get());
    }
    for (int i = 0; i < kClients; ++i) {
        FaxSend* c = raw[i];
        // Released after the wait, not in the handler: each release waits
        // for its server's exit, and the servers whose events queue behind
        // twenty such waits would give up on their handling.
        c->setEventSendFaxEnd([&events, c] {
            ++events;
            EXPECT_EQ(c->blnEndStatus().toText(), "True");
        });
        ASSERT_TRUE(c->sendFAX({records[i].number}));
    }
    ASSERT_TRUE(FaxSend::waitForEnds(pump, raw, FaxSend::WaitFor::All, kBound));
    EXPECT_EQ(events, kClients);

    std::map<std::string, const ManageRecord*> byPhone;
    for (auto& r : records) byPhone[r.faxNumber] = &r;
    std::set<std::string> faxed;
    for (auto& fax : testing::allOutboxes(home, 4)) {
        ASSERT_EQ(fax.status, "sent");
        ASSERT_TRUE(byPhone.count(fax.phone)) << fax.phone;
        std::vector<std::string> expected;
        for (auto& p : byPhone[fax.phone]->pages) expected.push_back(pages[p]);
        EXPECT_EQ(fax.pages, expected) << fax.phone;
        EXPECT_TRUE(faxed.insert(fax.phone).second) << "sent twice: " << fax.phone;
    }
    EXPECT_EQ(faxed.size(), static_cast<std::size_t>(kClients));

    auto log = testing::sendLog(home);
    ASSERT_EQ(log.size(), static_cast<std::size_t>(kClients));
    std::set<std::string> recorded;
    for (auto& r : log) {
        EXPECT_EQ(r.result, "OK");
        recorded.insert(r.number);
    }
    EXPECT_EQ(recorded.size(), static_cast<std::size_t>(kClients));
    EXPECT_TRUE(files("G3Image").empty());
    EXPECT_TRUE(files("SendTemp").empty());
    clients.clear();
    EXPECT_TRUE(markerFiles().empty());
    auto errors = errorLogLines();
    EXPECT_TRUE(errors.empty()) << ::testing::PrintToString(errors);
}

TEST_F(FaxSendClient, AServerKilledMidSendHasItsNumbersSentByAnotherAndItsLeftoversRemoved) {
    // Killed while its client waits, or after its client let go of it; or
    // ended by SIGTERM, which hangs up and records the send under way; or
    // killed once the last page of the first fax has gone out, before the
    // line's word: that fax may have arrived, so it is not sent again. Or
    // stopped (SIGSTOP) in the middle of its call: hung, it answers no
    // probe, and its client kills it and takes its numbers over.
    struct Case {
        int signal;
        bool released;
        bool atEnd;
    } cases[] = {{SIGKILL, false, false}, {SIGKILL, true, false}, {SIGTERM, false, false}, {SIGKILL, false, true},
                 {SIGSTOP, false, false}, {SIGSTOP, true, false}};
    for (const auto& [signal, released, atEnd] : cases) {
        SCOPED_TRACE(std::string(released ? "released first" : "client waiting") + ", signal " + std::to_string(signal) +
                     (atEnd ? ", at the end of a fax" : ""));
        const bool term = signal == SIGTERM;
        testing::TempHome fresh;
        ::symlink((testing::programDir() + "morvane").c_str(), (fresh.path() + "morvane").c_str());
        testing::setRetries(fresh, "2");
        // Every server of the test is probed, busy or not; only the stopped
        // ones are found hung.
        fresh.write("waits.xml", "<?xml version=\"1.0\"?><Waits><SendServerAnswer>5000</SendServerAnswer></Waits>");
        testing::writeStore(fresh, {{"A0001", "0311110001", {"A0001_1"}}, {"A0002", "0311110002", {"A0002_1", "A0002_2"}}});
        auto pages = testing::writePages(fresh, {{"A0001", "0311110001", {"A0001_1"}},
                                                 {"A0002", "0311110002", {"A0002_1", "A0002_2"}}});
        testing::writeModems(fresh, {"1*ATZ*0*1*0*"});
        testing::setLine(fresh, 1, atEnd ? "<ConnectTime>0</ConnectTime><HoldEnd>hold</HoldEnd>" : "<ConnectTime>500000</ConnectTime>");
        if (atEnd) fs::writeFileAtomic(fresh.path() + "FaxLines/COM1/hold", "");
        auto folder = [&](const char* key) { return fs::list(fresh.folder(key)); };
        log.log->clear();
        pid_t server = -1;
        {
            auto send = std::make_unique<FaxSend>(pump);
            int events = 0;
            send->setEventSendFaxEnd([&] { ++events; });
            server = send->serverPid();
            ASSERT_TRUE(send->sendFAX({"A0001", "A0002"}));
            ASSERT_TRUE(pumpUntil([&] {
                auto calls = testing::outbox(fresh, 1);
                return !calls.empty() && calls.front().pages.size() == (atEnd ? 1u : 0u);
            }));
            ASSERT_FALSE(folder("SendTemp").empty());
            ASSERT_EQ(fs::list(fresh.path(), "@*.XML").size(), 1u);
            if (released) send.reset();
            testing::setLine(fresh, 1, "<ConnectTime>3000</ConnectTime>");
            ASSERT_EQ(::kill(server, signal), 0);
            if (!released) {
                // The client hears of it only when the new server has ended.
                ASSERT_TRUE(FaxSend::waitForEnds(pump, {send.get()}, FaxSend::WaitFor::All, kBound));
                EXPECT_EQ(events, 1);
                EXPECT_EQ(send->blnEndStatus().toText(), "True");
            } else {
                ASSERT_TRUE(pumpUntil([&] {
                    if (testing::sendLog(fresh).size() != 2 || !RunMarker::find(fresh.path()).empty()) return false;
                    // The marker's lock goes just after it.
                    for (const auto& e : std::filesystem::directory_iterator(fresh.path()))
                        if (e.path().filename().string().rfind(".@", 0) == 0) return false;
                    return true;
                }));
            }
        }
        // Neither number vanishes, none is sent twice: what was not recorded
        // goes out on a new server (after SIGTERM, the second alone).
        auto records = testing::sendLog(fresh);
        ASSERT_EQ(records.size(), 2u);
        EXPECT_EQ(records[0].number, "A0001");
        EXPECT_EQ(records[0].result, term || atEnd ? "NG" : "OK");
        EXPECT_EQ(records[1].result, "OK");
        EXPECT_EQ(records[1].pageNum, "2");
        auto faxes = testing::outbox(fresh, 1);
        ASSERT_FALSE(faxes.empty());
        EXPECT_EQ(faxes.back().pages, (std::vector<std::string>{pages["A0002_1"], pages["A0002_2"]}));
        EXPECT_EQ(folder("G3ReImage"), term || atEnd ? std::vector<std::string>{"A0001_1.G3"} : std::vector<std::string>{});
        // A fax that may have arrived goes out once, and the log says so.
        std::size_t callsOfFirst = 0;
        for (const auto& f : faxes) callsOfFirst += f.phone == "0311110001";
        EXPECT_EQ(callsOfFirst, term || atEnd ? 1u : 2u);
        int mayHaveArrived = 0;
        for (const auto& e : log.log->entries())
            mayHaveArrived += e.description.find("A0001") != std::string::npos &&
                              e.description.find("届いている可能性があります") != std::string::npos;
        EXPECT_EQ(mayHaveArrived, atEnd ? 1 : 0);
        EXPECT_TRUE(folder("G3Image").empty());
        // Nothing of the dead server is left: send copies, marker, its lock.
        EXPECT_TRUE(folder("SendTemp").empty());
        EXPECT_TRUE(RunMarker::find(fresh.path()).empty());
        for (const auto& e : std::filesystem::directory_iterator(fresh.path()))
            EXPECT_EQ(e.path().filename().string().find(".@"), std::string::npos) << e.path();
        testing::killWholeHome(fresh.path());
        // The log names the numbers the dead server held, and a hung one by
        // its process.
        int named = 0;
        for (const auto& e : log.log->entries())
            named += e.number == kChildGone && e.description.find("A0001,A0002") != std::string::npos &&
                     (signal != SIGSTOP || e.description.find("プロセス " + std::to_string(server) + " が") != std::string::npos);
        EXPECT_EQ(named, 1);
    }
}

TEST_F(FaxSendClient, AServerThatEndsBeforeItTakesAJobLeavesNoRunMarker) {
    install({{"A0001", "0311110001", {"A0001_1"}}});
    // Markers of others stay: a live one of this process, and a stale one
    // of some writer long gone (the shutdown reports it).
    RunMarker live = RunMarker::create(home.path());
    home.write("@20200101000000.XML", "<TELEPHONY/>");
    const std::vector<std::string> others{"@20200101000000.XML", live.name() + ".XML"};
    auto markerLocks = [&] {
        std::vector<std::string> locks;
        for (const auto& e : std::filesystem::directory_iterator(home.path()))
            if (e.path().filename().string().rfind(".@", 0) == 0) locks.push_back(e.path().filename().string());
        return locks;
    };
    const std::vector<std::string> liveLock{"." + text::toLowerAscii(live.name()) + ".xml.lock"};
    ASSERT_EQ(markerLocks(), liveLock);

    struct Case {
        const char* what;
        const char* dies;  // when the stand-in server dies; nullptr: the real one, killed
        bool sent;         // the list goes to a new server
    } cases[] = {
        {"killed before it is handed its list", nullptr, true},
        {"dies while it is handed its list", "sendFAX", false},
        {"dies before it has answered its creation", "start", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(home.path() + "morvane");
        std::filesystem::create_symlink(c.dies ? std::string(DYING_SERVER) : testing::programDir() + "morvane",
                                        home.path() + "morvane");
        if (c.dies) ::setenv("FAXGATE_TEST_DIE", c.dies, 1);
        pid_t server = -1;
        try {
            FaxSend send(pump);
            EXPECT_NE(std::string(c.dies ? c.dies : ""), "start") << "created";
            server = send.serverPid();
            ASSERT_GT(server, 0);
            ASSERT_EQ(markerFiles().size(), 3u);
            if (!c.dies) {
                ASSERT_EQ(::kill(server, SIGKILL), 0);
            }
            EXPECT_EQ(send.sendFAX({"A0001"}), c.sent);
            if (c.sent) {
                EXPECT_TRUE(FaxSend::waitForEnds(pump, {&send}, FaxSend::WaitFor::All, kBound));
                install({{"A0001", "0311110001", {"A0001_1"}}});  // its pages again, for the next case
            }
            EXPECT_FALSE(send.sending());
        } catch (const Error& e) {
            EXPECT_EQ(std::string(c.dies ? c.dies : ""), "start") << e.description();
            EXPECT_EQ(e.number(), kChildCannotCreate);
        }
        ::unsetenv("FAXGATE_TEST_DIE");
        if (server > 0) {
            EXPECT_FALSE(testing::processExists(server));
        }
        // The dead server's marker and its lock file are gone; the others stay.
        EXPECT_EQ(markerFiles(), others);
        EXPECT_EQ(markerLocks(), liveLock);
        EXPECT_TRUE(RunMarker::isLive(home.path(), live.name() + ".XML"));
        // Its document was never handed over: its pages wait in G3Image.
        EXPECT_EQ(files("G3Image"), std::vector<std::string>{"A0001_1.G3"});
    }
}

TEST_F(FaxSendClient, AReleaseDuringTheJobLetsTheServerFinishItAlone) {
    auto pages = install({{"A0001", "0311110001", {"A0001_1"}}});
    testing::writeModems(home, {"1*ATZ*0*1*0*"});
    testing::setLine(home, 1, "<ConnectTime>100000</ConnectTime>");
    auto send = std::make_unique<FaxSend>(pump);
    int events = 0;
    send->setEventSendFaxEnd([&] { ++events; });
    pid_t server = send->serverPid();
    ASSERT_TRUE(send->sendFAX({"A0001"}));
    ASSERT_TRUE(pumpUntil([&] { return !testing::outbox(home, 1).empty(); }));
    send.reset();  // the client lets go while the line is dialling
    EXPECT_EQ(testing::outbox(home, 1).at(0).status, "dialling");
    EXPECT_TRUE(testing::processExists(server));

    ASSERT_TRUE(pumpUntil([&] { return !testing::processExists(server); }));
    EXPECT_EQ(events, 0);
    EXPECT_EQ(testing::outbox(home, 1).at(0).status, "sent");
    ASSERT_EQ(testing::sendLog(home).size(), 1u);
    EXPECT_EQ(testing::sendLog(home)[0].result, "OK");
    EXPECT_TRUE(markerFiles().empty());
    EXPECT_TRUE(files("G3Image").empty());
}

TEST_F(FaxSendClient, ARecordThatAFullDiskRefusesIsTriedAgainAndNeverLost) {
    // The server's disk fills once the end of the first fax has gone out:
    // its record is tried again, and written by the job once there is room;
    // or, the server having given up, its number stays handed over, noted
    // as sent, and the take-over (the supervisor's round) records it. Either
    // way it goes out once and nothing of it is left behind. Full before the
    // end goes out, the note that it goes cannot be made: the call hangs up
    // before it, and the fax is recorded "NG" with its pages kept.
    struct Case {
        const char* name;
        bool beforeTheEnd;
        const char* roomAgainAfter;  // the server's log line
        bool byTakeOver;
    } cases[] = {{"room again while the server tries", false, "記録できません (1 回目)", false},
                 {"room again once the server gave up", false, "番号は引き継ぎに残し", true},
                 {"full before the end goes out", true, "記録できません (1 回目)", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testing::SmallFileSystem disk(32u << 20);
        if (!disk.mounted()) GTEST_SKIP() << "no small file system to fill: " << disk.why();
        // The lines and the error log are not on the server's disk.
        testing::TempDir outside;
        const char* tmp = std::getenv("FAXGATE_TEST_TMP");
        const std::string previousTmp = tmp ? tmp : "";
        ::setenv("FAXGATE_TEST_TMP", disk.path().c_str(), 1);
        auto fresh = std::make_unique<testing::TempHome>();
        if (previousTmp.empty()) ::unsetenv("FAXGATE_TEST_TMP");
        else ::setenv("FAXGATE_TEST_TMP", previousTmp.c_str(), 1);
        for (const char* name : {"log", "FaxLines"}) testing::SmallFileSystem::moveOut(fresh->path(), name, outside.path());
        const std::string logFolder = fresh->folder("log");
        ASSERT_EQ(::symlink((testing::programDir() + "morvane").c_str(), (fresh->path() + "morvane").c_str()), 0);
        testing::setRetries(*fresh, "2");
        const std::vector<ManageRecord> records = {{"A0001", "0311110001", {"A0001_1"}},
                                                   {"A0002", "0311110002", {"A0002_1"}}};
        testing::writeStore(*fresh, records);
        testing::writePages(*fresh, records);
        testing::writeModems(*fresh, {"1*ATZ*0*1*0*"});
        testing::setLine(*fresh, 1, c.beforeTheEnd ? "<ConnectTime>300000</ConnectTime>"
                                                   : "<ConnectTime>0</ConnectTime><HoldEnd>hold</HoldEnd>");
        if (!c.beforeTheEnd) fs::writeFileAtomic(fresh->path() + "FaxLines/COM1/hold", "");
        auto logHas = [&](const std::string& text) {
            for (const std::string& line : errorLogLines(logFolder))
                if (line.find(text) != std::string::npos) return true;
            return false;
        };
        {
            FaxSend send(pump);
            ASSERT_TRUE(send.sendFAX({"A0001", "A0002"}));
            // The end of the first fax has gone out and the line holds its
            // word; or the first call is still dialling.
            ASSERT_TRUE(pumpUntil([&] {
                auto calls = testing::outbox(*fresh, 1);
                return !calls.empty() && calls.front().pages.size() == (c.beforeTheEnd ? 0u : 1u);
            }));
            disk.fill();
            if (!c.beforeTheEnd) (void)fs::removeFile(fresh->path() + "FaxLines/COM1/hold");
            ASSERT_TRUE(pumpUntil([&] { return logHas(c.roomAgainAfter); }));
            disk.giveBack();
            ASSERT_TRUE(FaxSend::waitForEnds(pump, {&send}, FaxSend::WaitFor::All, kBound));
            EXPECT_EQ(send.blnEndStatus().toText(), c.byTakeOver ? "False" : "True");
        }
        if (c.byTakeOver) {
            ASSERT_EQ(RunMarker::findHandOvers(fresh->path()).size(), 1u);
            EXPECT_EQ(FaxSend::takeOverLeft(pump), 0u);  // nothing to send again: only a record to write
        }
        auto log = testing::sendLog(*fresh);
        ASSERT_EQ(log.size(), 2u);
        for (const auto& r : log) EXPECT_EQ(r.result, r.number == "A0001" && c.beforeTheEnd ? "NG" : "OK") << r.number;
        std::size_t whole = 0, calls = 0;
        for (const auto& f : testing::outbox(*fresh, 1)) {
            ++calls;
            whole += f.pages.size() == 1;
        }
        EXPECT_EQ(whole, c.beforeTheEnd ? 1u : 2u);       // each fax once at the most
        EXPECT_EQ(calls, c.beforeTheEnd ? 3u : 2u);       // two tries of the first
        EXPECT_EQ(logHas("最後のページを送らずに回線を切ります"), c.beforeTheEnd);
        EXPECT_EQ(fs::list(fresh->folder("G3ReImage")),
                  c.beforeTheEnd ? std::vector<std::string>{"A0001_1.G3"} : std::vector<std::string>{});
        EXPECT_TRUE(fs::list(fresh->folder("G3Image")).empty());
        EXPECT_TRUE(fs::list(fresh->folder("SendTemp")).empty());
        EXPECT_TRUE(RunMarker::findHandOvers(fresh->path()).empty());
        testing::killWholeHome(fresh->path());
    }
}

TEST_F(FaxSendClient, AWaitForTheEndHasTheBoundOfWaitsXmlAndLogsItsExpiry) {
    install({{"A0001", "0311110001", {"A0001_1"}}});
    testing::writeModems(home, {"1*ATZ*0*1*0*"});
    testing::setLine(home, 1, "<ConnectTime>100000000</ConnectTime>");  // a line that hangs
    home.write("waits.xml", "<?xml version=\"1.0\"?><Waits><SendJob>20000</SendJob><SendPage>100000000</SendPage>"
                            "</Waits>");
    FaxSend send(pump);
    pid_t server = send.serverPid();
    ASSERT_TRUE(send.sendFAX({"A0001"}));
    auto start = clock().elapsed();
    EXPECT_FALSE(FaxSend::waitForEnds(pump, {&send}));
    EXPECT_GE(clock().elapsed() - start, 20000ms);
    EXPECT_TRUE(send.sending());
    int expired = 0;
    for (const auto& e : log.log->entries())
        expired += e.number == kChildTimedOut && e.description.find("20 秒待ちましたが終わりません") != std::string::npos;
    EXPECT_EQ(expired, 1);
    // A caller that waits in slices of its own bound hears of it by the answer alone.
    log.log->clear();
    EXPECT_FALSE(FaxSend::waitForEnds(pump, {&send}, FaxSend::WaitFor::Any, 1000ms));
    EXPECT_TRUE(log.log->entries().empty());
    // Killed with its pages gone meanwhile: its number cannot be sent again,
    // so it is recorded "NG" by name and the object ends.
    (void)fs::removeFile(home.folder("G3Image") + "A0001_1.G3");
    ::kill(server, SIGKILL);
    ASSERT_TRUE(FaxSend::waitForEnds(pump, {&send}, FaxSend::WaitFor::All, kBound));
    auto records = testing::sendLog(home);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].result, "NG");
    EXPECT_TRUE(log.log->has(send_errors::NoPages));
}

TEST_F(FaxSendClient, ARefusedListBringsNoEventAndAReleaseEndsTheServerAtOnce) {
    install({{"A0001", "0311110001", {"A0001_1"}}});
    fs::writeFileAtomic(home.folder("FaxSendLog") + "FaxSendLog.xml", "<FaxSendLogs>");
    FaxSend send(pump);
    int events = 0;
    send.setEventSendFaxEnd([&] { ++events; });
    pid_t server = send.serverPid();
    EXPECT_FALSE(send.sendFAX({"A0001"}));
    EXPECT_FALSE(send.sending());
    EXPECT_TRUE(FaxSend::waitForEnds(pump, {&send}, FaxSend::WaitFor::Any, kBound));
    auto lines = errorLogLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("\tFaxSend\t40007\tＦＡＸ送信履歴ファイルが不正です。"), std::string::npos);
    send.release();
    EXPECT_FALSE(testing::processExists(server));
    EXPECT_EQ(events, 0);
    EXPECT_TRUE(markerFiles().empty());
    EXPECT_EQ(files("G3Image"), std::vector<std::string>{"A0001_1.G3"});
}

TEST_F(FaxSendClient, AMissingServerProgramFailsTheCreation) {
    (void)fs::removeFile(home.path() + "morvane");
    try {
        FaxSend send(pump);
        FAIL() << "created without a server";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), kChildCannotCreate);
    }
}

}  // namespace
}  // namespace fg
