// The supervisor driven in the test's own process, with the real stand-ins
// of the outside programs as its children.
#include "supervisor_fixture.h"

#include "supervisor/frm_main_ctrl.h"
#include "supervisor/supervisor_lock.h"

#include "documents/quillary/owed_receipts.h"
#include "platform/process/run_marker.h"
#include "platform/request_folder_lock.h"
#include "platform/testing/store_files.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <optional>

namespace fg {
namespace {

using namespace std::chrono_literals;
using testing::SupervisorHome;
using testing::processExists;
namespace errs = supervisor_errors;

constexpr std::chrono::milliseconds kLong{60000000};  // a minute of real time at the test's scale

struct Started {
    EventPump pump;
    FrmMainCtrl ctrl;
    std::vector<pid_t> pids;

    explicit Started(const SupervisorHome& h, SupervisorOptions o) : ctrl(pump, std::move(o)) {
        EXPECT_TRUE(ctrl.acquireLock());
        ctrl.tmrWatch.setInterval(50000ms);
        EXPECT_TRUE(ctrl.Form_Load());
        collect();
        (void)h;
    }
    explicit Started(const SupervisorHome& h) : Started(h, h.options()) {}

    void collect() {
        if (ctrl.lngPgpProcess.valid()) pids.push_back(ctrl.lngPgpProcess.pid());
        if (ctrl.eventMakerErr) pids.push_back(ctrl.eventMakerErr->pid());
        if (ctrl.eventEDIErr) pids.push_back(ctrl.eventEDIErr->pid());
        for (const auto& line : ctrl.eventReciveErr)
            if (line) pids.push_back(line->pid());
    }
    bool runToEnd() { return pump.waitUntil([&] { return ctrl.ended(); }, kLong); }
    bool allGone() const {
        return std::none_of(pids.begin(), pids.end(), [](pid_t p) { return processExists(p); });
    }
};

std::ptrdiff_t indexOf(const std::vector<std::string>& steps, const std::string& step) {
    auto it = std::find(steps.begin(), steps.end(), step);
    return it == steps.end() ? -1 : it - steps.begin();
}

TEST(Supervisor, StartsInOrderAndStopsInOrderOnAnEndRequest) {
    SupervisorHome h;
    h.endFile("<End-Request>0</End-Request><TelephonyErrReq>0</TelephonyErrReq>");
    Started s(h);
    ASSERT_FALSE(s.ctrl.ended());
    EXPECT_TRUE(s.ctrl.blnPgpActive);
    EXPECT_TRUE(s.ctrl.blnMakerActive);
    EXPECT_TRUE(s.ctrl.blnEdiActive);
    for (int port = 1; port <= 20; ++port) {
        bool receive = port == 5 || port == 6;  // the demo's receive lines
        EXPECT_EQ(s.ctrl.blnLineActive[static_cast<std::size_t>(port)], receive) << port;
        EXPECT_EQ(s.ctrl.eventReciveErr[static_cast<std::size_t>(port)] != nullptr, receive) << port;
    }
    EXPECT_EQ(s.pids.size(), 5u);
    EXPECT_EQ(s.ctrl.strAppPath, h.home.path());

    auto started = h.steps({"Trundel", "Ospery", "Alvaret"});
    EXPECT_EQ(started, (std::vector<std::string>{"Trundel created", "Trundel startSchedule 0", "Ospery created",
                                                 "Ospery startSchedule 0", "Alvaret 5 created", "Alvaret 6 created"}));
    // The helper first, in its RunTime folder.
    EXPECT_LE(testing::startTicks(s.ctrl.lngPgpProcess.pid()), testing::startTicks(s.ctrl.eventMakerErr->pid()));
    EXPECT_TRUE(testing::eventually([&] { return h.at("PGPWIN32 started in " + h.home.path() + "RunTime") >= 0; }));
    // The pause after each receive line, in the system's time.
    EXPECT_GE(h.at("Alvaret 6 created") - h.at("Alvaret 5 created"), 2000);

    // Watch ticks without a request change nothing.
    s.pump.runFor(160000ms);
    EXPECT_FALSE(s.ctrl.shuttingDown());

    h.endFile("<End-Request>1</End-Request><TelephonyErrReq>0</TelephonyErrReq>");
    ASSERT_TRUE(s.runToEnd());
    EXPECT_EQ(s.ctrl.exitCode(), 0);
    EXPECT_TRUE(s.allGone());  // ended and reaped, no zombie

    auto steps = h.steps({"PGPWIN32 terminated", "Trundel", "Ospery", "Alvaret"});
    auto helper = indexOf(steps, "PGPWIN32 terminated");
    auto maker = indexOf(steps, "Trundel released");
    auto edi = indexOf(steps, "Ospery released");
    auto stop5 = indexOf(steps, "Alvaret 5 stopLine True");
    auto line5 = indexOf(steps, "Alvaret 5 released");
    auto line6 = indexOf(steps, "Alvaret 6 released");
    for (auto i : {helper, maker, edi, stop5, line5, line6}) EXPECT_GE(i, 0);
    EXPECT_LT(helper, maker);
    EXPECT_LT(maker, edi);
    EXPECT_LT(edi, stop5);
    EXPECT_LT(stop5, line5);
    EXPECT_GT(indexOf(steps, "Alvaret 5 stopped"), stop5);  // asked, then released once stopped
    EXPECT_TRUE(h.loggedNumbers().empty());
}

TEST(Supervisor, ALiveRunMarkerHoldsTheShutdownAndAStaleOneDoesNot) {
    SupervisorHome h;
    h.endFile("<End-Request>0</End-Request>");
    Started s(h);
    RunMarker live = RunMarker::create(h.home.path());
    h.home.write("@20200101000000.XML", "<?xml version=\"1.0\"?><TELEPHONY/>");  // its writer is long gone

    s.ctrl.beginShutdown({}, false);
    s.pump.runFor(20000ms);  // forty passes
    EXPECT_FALSE(s.ctrl.ended());
    // Nothing is touched while a live marker exists.
    EXPECT_TRUE(s.ctrl.blnPgpActive);
    EXPECT_TRUE(processExists(s.pids[0]));
    EXPECT_TRUE(h.steps({"Trundel getRunState", "PGPWIN32 terminated", "Alvaret 5 stopLine"}).empty());
    auto numbers = h.loggedNumbers();
    EXPECT_EQ(std::count(numbers.begin(), numbers.end(), errs::StaleRunMarker), 1);  // logged once

    live.remove();
    ASSERT_TRUE(s.runToEnd());
    EXPECT_EQ(s.ctrl.exitCode(), 0);
    EXPECT_TRUE(s.allGone());
    EXPECT_TRUE(h.home.read("@20200101000000.XML").size() > 0);  // ignored, not deleted
}

TEST(Supervisor, LiveMarkersHoldTheShutdownOnlyUpToTheirBound) {
    SupervisorHome h;
    h.endFile("<End-Request>0</End-Request>");
    auto o = h.options();
    o.markerBound = 300000ms;
    Started s(h, o);
    RunMarker stuck = RunMarker::create(h.home.path());
    s.ctrl.beginShutdown({}, false);
    ASSERT_TRUE(s.runToEnd());
    EXPECT_TRUE(h.logged(errs::RunMarkerBound));
    EXPECT_TRUE(s.allGone());
}

struct StopCase {
    const char* name;
    const char* control;
    const char* kill;  // the program killed once the start-up is over
    const char* happened;
};
constexpr StopCase kStopCases[] = {
    {"AlvaretErrorEvent", "<StandIn name='Alvaret' Port='6' ErrorAfter='30000'/>", nullptr, "Alvaret 6 ErrorReceiveFAX"},
    {"OsperyErrorEvent", "<StandIn name='Ospery' ErrorAfter='30000'/>", nullptr, "Ospery ErrorEDIData"},
    {"TrundelErrorEvent", "<StandIn name='Trundel' ErrorAfter='30000'/>", nullptr, "Trundel ErrorMakerInfo"},
    {"TrundelKilled", "", "Trundel", nullptr},
    {"AlvaretKilled", "", "Alvaret 5", nullptr},
};
void PrintTo(const StopCase& c, std::ostream* os) { *os << c.name; }

// A whole server per case: each case is a test of its own, run side by side.
class AnErrorEventOrADeadProgram : public ::testing::TestWithParam<StopCase> {};

TEST_P(AnErrorEventOrADeadProgram, StopsTheServer) {
    const StopCase& c = GetParam();
    SupervisorHome h;
    h.endFile("<End-Request>0</End-Request>");
    h.standIns(c.control);
    Started s(h);
    if (c.kill) {
        ASSERT_FALSE(s.ctrl.shuttingDown());
        pid_t pid = std::string(c.kill) == "Trundel" ? s.ctrl.eventMakerErr->pid() : s.ctrl.eventReciveErr[5]->pid();
        ::kill(pid, SIGKILL);
    }
    ASSERT_TRUE(s.runToEnd());
    if (c.happened) { EXPECT_GE(h.at(c.happened), 0); }
    EXPECT_EQ(s.ctrl.exitCode(), 1);
    EXPECT_TRUE(h.logged(errs::ErrorEvent));
    EXPECT_TRUE(s.allGone());
    EXPECT_FALSE(s.ctrl.blnPgpActive);
}

INSTANTIATE_TEST_SUITE_P(Supervisor, AnErrorEventOrADeadProgram, ::testing::ValuesIn(kStopCases),
                         [](const ::testing::TestParamInfo<StopCase>& info) { return std::string(info.param.name); });

TEST(Supervisor, AStartFailureLogsItsNumberAndShutsDownWhatStarted) {
    struct Case {
        const char* control;
        long number;
        std::vector<std::string> expectedSteps;
    } cases[] = {
        {"<StandIn name='Trundel' StartResult='1'/>", errs::MakerScheduleFailed,
         {"Trundel created", "Trundel startSchedule 1", "Trundel getRunState 0", "Trundel released"}},
        {"<StandIn name='Ospery' StartResult='1'/>", errs::EdiScheduleFailed,
         {"Trundel created", "Trundel startSchedule 0", "Ospery created", "Ospery startSchedule 1",
          "Trundel getRunState 0", "Trundel released", "Ospery getRunState 0",
          "Ospery released"}},
        {"<StandIn name='Trundel' Refuse='1'/>", kChildCannotCreate,
         {"Trundel refused"}},
        {"<StandIn name='Alvaret' Port='6' Refuse='1'/>", errs::ReceiveLinesFailed,
         {"Trundel created", "Trundel startSchedule 0", "Ospery created", "Ospery startSchedule 0", "Alvaret 5 created", "Alvaret 6 refused", "Trundel getRunState 0",
          "Trundel released", "Ospery getRunState 0", "Ospery released", "Alvaret 5 getLineState 1",
          "Alvaret 5 stopLine True"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.control);
        SupervisorHome h;
        h.endFile("<End-Request>0</End-Request>");
        h.standIns(c.control);
        Started s(h);
        ASSERT_TRUE(s.runToEnd());
        EXPECT_EQ(s.ctrl.exitCode(), 1);
        EXPECT_TRUE(h.logged(c.number));
        // The helper may not have got to its trace before it was ended:
        // allGone() tells that it was.
        auto steps = h.steps({"Trundel", "Ospery", "Alvaret"});
        ASSERT_GE(steps.size(), c.expectedSteps.size());
        for (std::size_t i = 0; i < c.expectedSteps.size(); ++i)
            EXPECT_EQ(steps[i].rfind(c.expectedSteps[i], 0), 0u) << i << ": " << steps[i];
        EXPECT_TRUE(s.allGone());
        EXPECT_FALSE(s.ctrl.blnPgpActive || s.ctrl.blnMakerActive || s.ctrl.blnEdiActive);
    }
}

TEST(Supervisor, AnObjectThatNeverStopsIsEndedAfterTheBound) {
    SupervisorHome h;
    h.endFile("<End-Request>0</End-Request>");
    h.standIns("<StandIn name='Ospery' Busy='1'/><StandIn name='Alvaret' Port='5' Busy='1'/>");
    auto o = h.options();
    o.stopBound = 100000ms;
    Started s(h, o);
    // What a program ended midway leaves goes with the stop.
    pid_t ended = ::fork();
    if (ended == 0) ::_exit(0);
    ASSERT_EQ(::waitpid(ended, nullptr, 0), ended);
    const std::string left = h.home.path() + "temp/.answer.tmp." + std::to_string(ended) + ".1";
    fs::writeFileAtomic(left, "");
    auto begin = clock().elapsed();
    s.ctrl.beginShutdown({}, false);
    ASSERT_TRUE(s.runToEnd());
    EXPECT_FALSE(fs::fileExists(left));
    EXPECT_GE(clock().elapsed() - begin, 100000ms);
    auto numbers = h.loggedNumbers();
    EXPECT_EQ(std::count(numbers.begin(), numbers.end(), errs::ObjectDidNotStop), 2);
    // A busy line is asked to stop on every pass until it is ended.
    auto asks = h.steps({"Alvaret 5 stopLine True"});
    EXPECT_GE(asks.size(), 2u);
    EXPECT_GE(h.at("Alvaret 6 released"), 0);
    EXPECT_TRUE(s.allGone());
}

TEST(Supervisor, AStartClearsTheConfirmationListsOfKilledBatches) {
    SupervisorHome h;
    h.endFile("<End-Request>0</End-Request>");
    const std::string request = h.home.folder("TempReqEDI");
    for (const char* list : {"PutConfirmFax.xml", "PutConfirmOrderFax.xml"})
        fs::writeFileAtomic(request + list, "<Puts><Put>D0500_0001</Put></Puts>");
    Started s(h);
    EXPECT_EQ(fs::list(request, "*.xml"), std::vector<std::string>{});
    h.endFile("<End-Request>1</End-Request>");
    EXPECT_TRUE(s.runToEnd());
}

// A left batch's group that no fax-send server takes (none is beside this test) is recorded
// unsent, and the round's log line counts it so; while that record cannot be written (the send
// log is a folder) the group stays owed, and so does its archive, unconfirmed.
class ALeftGroupNoServerTakes : public ::testing::TestWithParam<bool> {};

TEST_P(ALeftGroupNoServerTakes, IsRecordedUnsentOrStaysOwedAndIsCountedSo) {
    using documents::OwedReceipts;
    const bool recordable = GetParam();
    SupervisorHome h;
    h.endFile("<End-Request>0</End-Request>");
    testing::TempDir answers, requests;
    h.ediServer(answers.path(), requests.path());
    const testing::StoreRecord record{.number = "202401100830000001"};
    h.home.write("data/FAXManageNumber.xml", testing::storeXml({record}));
    h.home.write(OwedReceipts::kFileName, "failed/1/1\t" + record.number + "\t0301/D0301_1.tgz\n");
    const std::string sendLog = h.home.folder("FaxSendLog") + "FaxSendLog.xml";
    if (!recordable) {
        ASSERT_TRUE(fs::removeFile(sendLog));
        fs::makeFolders(sendLog);
    }
    EventPump pump;
    FrmMainCtrl(pump, h.options()).settleOwedReceipts(false);
    const std::string counted = recordable ? "(送信 0 通、送信できず記録 1 通、記録もできず残す 0 通)"
                                           : "(送信 0 通、送信できず記録 0 通、記録もできず残す 1 通)";
    const auto entries = h.log.log->entries();
    EXPECT_TRUE(std::any_of(entries.begin(), entries.end(), [&](const auto& e) { return e.description.find(counted) != std::string::npos; }));
    EXPECT_EQ(fs::list(requests.path(), "*-PutConfirm.body").size(), recordable ? 1u : 0u);
    const auto left = OwedReceipts::left();
    EXPECT_EQ(left.empty() ? documents::SendGroups{} : left[0].groups,
              recordable ? documents::SendGroups{} : documents::SendGroups{{record.number}});
}

INSTANTIATE_TEST_SUITE_P(Supervisor, ALeftGroupNoServerTakes, ::testing::Values(true, false),
                         [](const auto& info) { return std::string(info.param ? "RecordedUnsent" : "StaysOwed"); });

// A store that cannot be read tells nothing of what a left batch stored (it may have handed
// groups over): the batch waits for a round that can read it, never forgotten and read again.
TEST(Supervisor, ALeftBatchWaitsWhileTheStoreCannotBeRead) {
    SupervisorHome h;
    h.home.write("data/FAXManageNumber.xml", "<FAXManageNums><FAXManageNum>");
    h.home.write(documents::OwedReceipts::kFileName, "failed/1/1\t202401100830000001\t0301/D0301_1.tgz\n");
    EventPump pump;
    FrmMainCtrl(pump, h.options()).settleOwedReceipts(false);
    const auto left = documents::OwedReceipts::left();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].groups, (documents::SendGroups{{"202401100830000001"}}));
}

// A batch left with every group handed over owes an archive and a reminder. Each is paid
// under its own fetch's folder lock, and only while still owed once that lock is held.
struct SettleCase {
    const char* name;
    const char* heldFolder;  // held by the test through the settle ("" for none)
    bool paidMeanwhile;      // the fetch pays both once the settle has read the batch
    std::size_t confirmations, deletions;
    bool stopAsked = false;  // End.xml asks for a stop once the settle has read the batch
};
constexpr SettleCase kSettleCases[] = {
    {"Owed", "", false, 1, 1},
    {"PaidMeanwhile", "", true, 0, 0},
    {"ReminderFolderHeld", "TempReqRem", false, 1, 0},
    {"StopAsked", "", false, 0, 0, true},
};
void PrintTo(const SettleCase& c, std::ostream* os) { *os << c.name; }
class ALeftBatchsReceipts : public ::testing::TestWithParam<SettleCase> {};

TEST_P(ALeftBatchsReceipts, ArePaidUnderTheirFetchsLockWhileStillOwed) {
    using documents::OwedReceipts;
    const SettleCase& c = GetParam();
    SupervisorHome h;
    h.endFile("<End-Request>0</End-Request>");
    testing::TempDir answers, record;
    h.ediServer(answers.path(), record.path());
    const std::vector<documents::OwedArchive> owed{{"0301", "D0301_1.tgz"}, {OwedReceipts::kReminder, "r.1.xml"}};
    h.home.write(OwedReceipts::kFileName, "failed/1/1\t\t0301/D0301_1.tgz\tDelFaxReminder/r.1.xml\n");
    std::optional<RequestFolderLock> held;
    if (*c.heldFolder) held.emplace(h.home.folder(c.heldFolder));
    EventPump pump;
    FrmMainCtrl ctrl(pump, h.options());
    ctrl.leftReadForTest = [&] {
        if (c.paidMeanwhile) OwedReceipts::paid(owed);
        if (c.stopAsked) h.endFile("<End-Request>1</End-Request>");
    };
    ctrl.settleOwedReceipts(true);
    EXPECT_EQ(ctrl.shuttingDown(), c.stopAsked);
    EXPECT_EQ(fs::list(record.path(), "*-PutConfirm.body").size(), c.confirmations);
    EXPECT_EQ(fs::list(record.path(), "*-DelFaxReminder.body").size(), c.deletions);
    EXPECT_EQ(OwedReceipts::find(OwedReceipts::kReminder, "r.1.xml"),
              c.deletions || c.paidMeanwhile ? OwedReceipts::Owed::No : OwedReceipts::Owed::Yes);
}

INSTANTIATE_TEST_SUITE_P(Supervisor, ALeftBatchsReceipts, ::testing::ValuesIn(kSettleCases),
                         [](const ::testing::TestParamInfo<SettleCase>& info) { return std::string(info.param.name); });

TEST(Supervisor, OnlyOneSupervisorRunsOnAProgramFolder) {
    SupervisorHome h;
    EventPump pump;
    {
        FrmMainCtrl first(pump, h.options());
        ASSERT_TRUE(first.acquireLock());
        EXPECT_TRUE(SupervisorLock::supervisorRunning());
        FrmMainCtrl second(pump, h.options());
        EXPECT_FALSE(second.acquireLock());
        EXPECT_EQ(second.run(), 3);
        EXPECT_TRUE(h.logged(errs::AlreadyRunning));
    }
    EXPECT_FALSE(SupervisorLock::supervisorRunning());
    FrmMainCtrl third(pump, h.options());
    EXPECT_TRUE(third.acquireLock());
}

TEST(Supervisor, TheWatchStopsOnlyOnARequestOfOne) {
    SupervisorHome h;
    struct Case {
        const char* body;
        bool stops;
    } cases[] = {
        {"<End-Request>1</End-Request><TelephonyErrReq>0</TelephonyErrReq>", true},
        {"<End-Request>0</End-Request><TelephonyErrReq>1</TelephonyErrReq>", true},
        {"<End-Request>2</End-Request><TelephonyErrReq>1</TelephonyErrReq>", false},
        {"<End-Request>1</End-Request><End-Request>0</End-Request><TelephonyErrReq>1</TelephonyErrReq>", true},
        {"<End-Request>1</End-Request><End-Request>0</End-Request>", false},
        {"<End-Request>abc</End-Request>", false},
        {"", false},
    };
    for (const auto& c : cases) {
        h.endFile(c.body);
        EventPump pump;
        FrmMainCtrl ctrl(pump, h.options());
        ctrl.tmrWatch_Timer();
        EXPECT_EQ(ctrl.ended(), c.stops) << c.body;
    }
    h.home.write("End.xml", "not xml");
    EventPump pump;
    FrmMainCtrl missing(pump, h.options());
    missing.tmrWatch_Timer();
    EXPECT_FALSE(missing.ended());

    // Text that is no number is logged once, not on every tick.
    h.log.log->clear();
    h.endFile("<End-Request>はい</End-Request>");
    FrmMainCtrl ticking(pump, h.options());
    ticking.tmrWatch.setInterval(50000ms);
    pump.runFor(260000ms);
    EXPECT_FALSE(ticking.ended());
    auto numbers = h.loggedNumbers();
    EXPECT_EQ(std::count(numbers.begin(), numbers.end(), errs::BadEndValue), 1);
    h.endFile("<End-Request>0</End-Request><TelephonyErrReq>1</TelephonyErrReq>");
    EXPECT_TRUE(pump.waitUntil([&] { return ticking.ended(); }, kLong));
}

struct ReceiveCase {
    std::string name;
    std::vector<std::pair<std::string, std::string>> records;
    bool fails;
    std::vector<int> objects;  // ports with a reception object right after the start
    int pauses;
};

std::vector<ReceiveCase> receiveCases() {
    std::vector<std::pair<std::string, std::string>> twenty;
    for (int i = 1; i <= 20; ++i) twenty.push_back({std::to_string(i), i <= 2 ? "1" : ""});
    auto with = [&](std::vector<std::pair<std::string, std::string>> base,
                    std::vector<std::pair<std::size_t, std::pair<std::string, std::string>>> changes) {
        for (auto& [i, r] : changes) base[i] = r;
        return base;
    };
    return {
        {"PortZeroMakesNoObjectButPauses", with(twenty, {{3, {"0", "0"}}, {4, {"7", "0"}}}), false, {7}, 2},
        {"ARepeatedPortFailsAfterTheEarlierLines", with(twenty, {{3, {"3", "0"}}, {9, {"3", "0"}}}), true, {3},
         1},
        {"APortAbove20", with(twenty, {{3, {"21", "0"}}}), true, {}, 0},
        {"APortThatIsNoNumber", with(twenty, {{3, {"x", "0"}}}), true, {}, 0},
        {"FewerThanTwentyRecords",
         std::vector<std::pair<std::string, std::string>>(twenty.begin(), twenty.begin() + 19), true, {}, 0},
        {"LinesBeyondTheTwentiethAreNotRead",
         [&] {
             auto r = twenty;
             r.push_back({"8", "0"});
             return r;
         }(),
         false, {}, 0},
    };
}
void PrintTo(const ReceiveCase& c, std::ostream* os) { *os << c.name; }

// A whole server per case: each case is a test of its own, run side by side.
class ReceiveLines : public ::testing::TestWithParam<ReceiveCase> {};

TEST_P(ReceiveLines, FollowTheFirstTwentyModemRecords) {
    auto record = [](const std::string& port, const std::string& use) {
        return "<Modem><PortNo>" + port + "</PortNo><InitString>ATZ</InitString><LineType>0</LineType><Usefulness>" +
               use + "</Usefulness><PilotFlag>0</PilotFlag><PilotFAXNumber/></Modem>";
    };
    const ReceiveCase& c = GetParam();
    SupervisorHome h;
    h.endFile("<End-Request>0</End-Request>");
    std::string file = "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<Modems>";
    for (const auto& [port, use] : c.records) file += record(port, use);
    h.home.write("data/modeminformation.xml", file + "</Modems>");
    // Time by hand: the start-up's pauses are counted exactly.
    auto manual = std::make_shared<ManualClock>();
    setClock(manual);
    Started s(h);
    auto pauses = manual->elapsed();
    EXPECT_EQ(pauses, std::chrono::milliseconds(2000 * c.pauses));
    for (int port = 1; port <= 20; ++port) {
        bool expected = std::find(c.objects.begin(), c.objects.end(), port) != c.objects.end();
        if (!c.fails) {
            EXPECT_EQ(s.ctrl.eventReciveErr[static_cast<std::size_t>(port)] != nullptr, expected) << port;
        }
    }
    if (c.fails) {
        EXPECT_TRUE(h.logged(errs::ReceiveLinesFailed));
        for (int port : c.objects) EXPECT_GE(h.at("Alvaret " + std::to_string(port) + " created"), 0);
    } else {
        EXPECT_FALSE(s.ctrl.shuttingDown());
        s.ctrl.beginShutdown({}, false);
    }
    EXPECT_TRUE(s.runToEnd());
    EXPECT_TRUE(s.allGone());
}

INSTANTIATE_TEST_SUITE_P(Supervisor, ReceiveLines, ::testing::ValuesIn(receiveCases()),
                         [](const ::testing::TestParamInfo<ReceiveCase>& info) { return info.param.name; });

TEST(Supervisor, TheHelperIsStartedOnlyFromTheRunTimeFolder) {
    {
        SupervisorHome h;
        (void)fs::removeFile(h.home / "RunTime/PGPWIN32");
        Started s(h);
        EXPECT_TRUE(h.logged(errnum::FileNotFound));
        EXPECT_FALSE(s.ctrl.blnPgpActive);  // it never ran
        EXPECT_TRUE(s.runToEnd());
        EXPECT_EQ(h.at("Trundel created"), -1);  // nothing after a failed step
    }
    {
        // Without a RunTime folder the supervisor ends at once, saying why on standard error.
        SupervisorHome h;
        std::string map = h.home.read("folderpath.xml");
        auto at = map.find("<Folder class=\"RunTime\">RunTime/</Folder>");
        ASSERT_NE(at, std::string::npos);
        map.erase(at, std::string("<Folder class=\"RunTime\">RunTime/</Folder>").size());
        h.home.write("folderpath.xml", map);
        EventPump pump;
        FrmMainCtrl ctrl(pump, h.options());
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(ctrl.Form_Load());
        std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("RunTime"), std::string::npos);
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);
        EXPECT_TRUE(ctrl.ended());
        EXPECT_EQ(h.trace().size(), 0u);
    }
    {
        // A helper that ends by itself is logged, and the shutdown is not held by it.
        SupervisorHome h;
        h.endFile("<End-Request>0</End-Request>");
        h.standIns("<StandIn name='PGPWIN32' DieAfter='10000'/>");
        Started s(h);
        ASSERT_TRUE(s.pump.waitUntil([&] { return h.logged(errs::HelperEnded); }, kLong));
        EXPECT_FALSE(s.ctrl.shuttingDown());
        h.endFile("<End-Request>1</End-Request>");
        ASSERT_TRUE(s.runToEnd());
        EXPECT_EQ(s.ctrl.exitCode(), 0);
        EXPECT_TRUE(s.allGone());
    }
}

}  // namespace
}  // namespace fg
