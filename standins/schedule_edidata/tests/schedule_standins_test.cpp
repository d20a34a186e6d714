// The schedule stand-ins: when their passes fall due from Schedule.xml, and
// the two programs served to a parent as the supervisor serves them, against
// the local EDI server: passes run after their interval, nothing to fetch
// raises nothing, a failed pass is logged and tried again without the error
// event, and a tree without Schedule.xml or without an EDI server idles.
#include "standins/schedule_edidata/schedule_runner.h"

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process/child_object.h"
#include "platform/testing/local_time.h"
#include "platform/testing/temp_home.h"
#include "settings/set_up_info.h"
#include "standins/edi_server/local_edi_server.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace fg {
namespace {

using namespace std::chrono_literals;
using standin::Cadence;
using testing::ErrorLogGuard;
using testing::LocalEdiServer;
using testing::TempDir;
using testing::TempHome;

std::string scheduleXml(const std::string& mode, int interval, const std::string& times, int maker, int urge,
                        int makerAt = 0, int urgeAt = 0) {
    return "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><Schedule><EDISessionInterval Mode=\"" + mode +
           "\"><Interval>" + std::to_string(interval) + "</Interval>" + times +
           "</EDISessionInterval><MakerInfoInterval>" + std::to_string(maker) + "</MakerInfoInterval><UrgeDataInterval>" +
           std::to_string(urge) + "</UrgeDataInterval><ReceiveInterval>1</ReceiveInterval><MakerTimeSet>" +
           std::to_string(makerAt) + "</MakerTimeSet><UrgeTimeSet>" + std::to_string(urgeAt) +
           "</UrgeTimeSet></Schedule>";
}

const char* const kJobs[] = {"getEDIData 0", "getEDIData 1", "getMakerInfoData"};

const std::string kFiveTimes =
    "<Time Use=\"1\">0900</Time><Time Use=\"0\">1200</Time><Time Use=\"1\">1730</Time><Time Use=\"0\">1800</Time>"
    "<Time Use=\"0\">2100</Time>";

TEST(ScheduleCadence, ReadsTheUnitsOfScheduleXml) {
    TempHome home;
    ErrorLogGuard log;
    struct Case {
        const char* name;
        std::string xml;
        std::chrono::minutes documents, reminders, makers;
        std::vector<int> documentsAt, remindersAt, makersAt;
    };
    const Case cases[] = {
        {"intervals in minutes", scheduleXml("1", 15, kFiveTimes, 60, 30), 15min, 30min, 60min, {}, {}, {}},
        {"fixed times of the day", scheduleXml("0", 15, kFiveTimes, 60, 0, 630, 0), 0min, 0min, 0min,
         {9 * 60, 17 * 60 + 30}, {}, {6 * 60 + 30}},
        {"zero intervals never run", scheduleXml("1", 0, kFiveTimes, 0, 0), 0min, 0min, 0min, {}, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        home.write("data/Schedule.xml", c.xml);
        Cadence documents, reminders, makers;
        ASSERT_TRUE(standin::documentCadence(documents));
        ASSERT_TRUE(standin::reminderCadence(reminders));
        ASSERT_TRUE(standin::makerCadence(makers));
        EXPECT_EQ(documents.every, c.documents);
        EXPECT_EQ(reminders.every, c.reminders);
        EXPECT_EQ(makers.every, c.makers);
        EXPECT_EQ(documents.dailyAt, c.documentsAt);
        EXPECT_EQ(reminders.dailyAt, c.remindersAt);
        EXPECT_EQ(makers.dailyAt, c.makersAt);
    }
    (void)fs::removeFile(home / "data/Schedule.xml");
    Cadence none;
    EXPECT_FALSE(standin::documentCadence(none));
    EXPECT_FALSE(none.runs());
    EXPECT_FALSE(standin::makerCadence(none));
}

TEST(ScheduleCadence, TimesOfTheDayComeRoundOnceADay) {
    EXPECT_EQ(standin::minutesOfDay("0000"), 0);
    EXPECT_EQ(standin::minutesOfDay("2359"), 23 * 60 + 59);
    EXPECT_EQ(standin::minutesOfDay("630"), 6 * 60 + 30);
    for (const char* bad : {"2400", "0960", "", "12:00", "12345", "-100"}) EXPECT_EQ(standin::minutesOfDay(bad), -1) << bad;

    auto eight = testing::localTime(2024, 1, 10, 8);
    Cadence daily;
    daily.dailyAt = {9 * 60, 7 * 60};
    EXPECT_EQ(daily.untilNext(eight), std::chrono::milliseconds(60min));
    EXPECT_EQ(daily.untilNext(eight + 61min), std::chrono::milliseconds(22h - 1min));
    Cadence every;
    every.every = 5min;
    EXPECT_EQ(every.untilNext(eight), std::chrono::milliseconds(5min));
}

TEST(ScheduleReadiness, AnUnreadableSetUpFileIsSaidToBeUnreadable) {
    TempHome home;
    ErrorLogGuard log;
    home.write("data/SetUpInformation.xml", "<?xml version=\"1.0\"?><SetUpInfo><Session><EDIMethodRoot>http");
    std::string why;
    EXPECT_FALSE(standin::ediServerConfigured(why));
    EXPECT_EQ(why.rfind("SetUpInformation.xml を読み込めません: " + home.folder("SetupInfo") + "SetUpInformation.xml ", 0), 0u)
        << why;
}

// A schedule program served to this test as the supervisor serves it.
class SchedulePrograms : public ::testing::Test {
protected:
    TempHome home;
    TempDir answers;
    TempDir record;
    ErrorLogGuard log;
    EventPump pump;
    std::unique_ptr<LocalEdiServer> server;
    std::vector<std::string> events;

    void SetUp() override {
        ::setenv("FAXGATE_TIME_SCALE", "0.001", 1);
        setClock(std::make_shared<ScaledClock>(0.001));
        for (const auto& name : fs::list(home.folder("TempEDI"))) (void)fs::removeFile(home.folder("TempEDI") + name);
        server = std::make_unique<LocalEdiServer>(answers.path(), record.path());
        SetUpInfo settings;
        settings.setStrEDIMethodRoot(server->methodRoot());
        ASSERT_TRUE(settings.save());
        home.write("data/Schedule.xml", scheduleXml("1", 1, kFiveTimes, 1, 1));
        endRequest("0");  // the demo home ships with its stop asked
    }
    void endRequest(const std::string& value) {
        home.write("End.xml", "<?xml version=\"1.0\"?><End><End-Request>" + value +
                                  "</End-Request><TelephonyErrReq>0</TelephonyErrReq></End>");
    }
    // How often the home's log `file` holds `what`.
    std::size_t countIn(const std::string& file, const std::string& what) {
        std::string text;
        try {
            text = fs::readFile(home / file);
        } catch (const Error&) {
        }
        std::size_t n = 0;
        for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
        return n;
    }
    void TearDown() override {
        setClock(nullptr);
        ::unsetenv("FAXGATE_TIME_SCALE");
    }
    std::unique_ptr<ChildObject> start(const std::string& program) {
        auto child = std::make_unique<ChildObject>(pump, testing::programDir() + program, std::vector<std::string>{});
        child->setEventHandler([this](const std::string& name, const std::vector<std::string>&) { events.push_back(name); });
        EXPECT_EQ(child->callValue("startSchedule"), "0");
        return child;
    }
    std::size_t requests(const std::string& servlet) { return fs::list(record.path(), "*-" + servlet + ".body").size(); }
    // Pumps (for events) until the condition holds, within a real-time bound.
    bool until(const std::function<bool()>& done) {
        auto end = std::chrono::steady_clock::now() + 20s;
        while (std::chrono::steady_clock::now() < end) {
            if (done()) return true;
            (void)pump.waitFor(10ms);
        }
        return done();
    }
};

TEST_F(SchedulePrograms, TheEdiScheduleFetchesDocumentsAndRemindersOnItsIntervals) {
    auto ospery = start("ospery");
    // Nothing canned: every fetch finds nothing, which is no error.
    ASSERT_TRUE(until([&] { return requests("GetEdiData") >= 8 && requests("GetFaxReminder") >= 2; }));
    EXPECT_TRUE(until([&] { return ospery->callValue("getRunState") == "0"; }));
    EXPECT_TRUE(events.empty());
    ospery->release();
    EXPECT_EQ(requests("GetSupplierCode"), 0u);
}

TEST_F(SchedulePrograms, AFailedPassIsLoggedAndTriedAgainWithoutTheErrorEvent) {
    // Every document fetch fails at once: its request folder is gone.
    std::string map = home.read("folderpath.xml");
    auto at = map.find("class=\"TempReqEDI\"");
    ASSERT_NE(at, std::string::npos);
    map.replace(at, 18, "class=\"TempReqGone\"");
    home.write("folderpath.xml", map);
    auto ospery = start("ospery");
    auto failures = [&] { return countIn("log/ErrorLog.txt", "getEDIData 0 に失敗しました"); };
    // Failed three times over, and each time the reminders still ran.
    ASSERT_TRUE(until([&] { return failures() >= 3 && requests("GetFaxReminder") >= 2; }));
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(ospery->alive());
    ospery->release();
}

TEST_F(SchedulePrograms, TheMakerScheduleRefreshesTheSuppliers) {
    fs::makeFolders(answers / "GetSupplierCode/1/answer.tgz");
    fs::writeFileAtomic(answers / "GetSupplierCode/1/answer.tgz/answer.xml",
                        "<?xml version=\"1.0\"?><Answer><ErrCode>C0503</ErrCode></Answer>");
    auto trundel = start("trundel");
    ASSERT_TRUE(until([&] { return requests("GetSupplierCode") >= 2; }));
    EXPECT_EQ(requests("GetEdiData"), 0u);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(fs::list(home.folder("MakerInfo"), "*.XML").size(), 3u);
    trundel->release();
}

TEST_F(SchedulePrograms, AStopAskedInEndXmlStartsNoNewPass) {
    auto ospery = start("ospery");
    auto trundel = start("trundel");
    ASSERT_TRUE(until([&] { return requests("GetFaxReminder") >= 1 && requests("GetSupplierCode") >= 1; }));
    endRequest("1");
    // Each job lets its due passes go by: none fetches while each lets two more go.
    auto heldBack = [&](std::size_t n) {
        return std::all_of(std::begin(kJobs), std::end(kJobs), [&](const char* job) {
            return countIn("log/DebugLog.txt", std::string(job) + ": 終了要求があるため始めません") >= n;
        });
    };
    ASSERT_TRUE(until([&] { return heldBack(1); }));
    const std::size_t fetched = fs::list(record.path(), "*.body").size();
    ASSERT_TRUE(until([&] { return heldBack(3); }));
    EXPECT_EQ(fs::list(record.path(), "*.body").size(), fetched);
    ospery->release();
    trundel->release();
}

TEST_F(SchedulePrograms, WithoutScheduleOrServerTheSchedulesIdle) {
    (void)fs::removeFile(home / "data/Schedule.xml");
    auto ospery = start("ospery");
    auto trundel = start("trundel");
    pump.runFor(5min);  // five minutes of the system's time
    home.write("data/Schedule.xml", scheduleXml("1", 1, kFiveTimes, 1, 1));
    SetUpInfo settings;
    settings.setStrEDIMethodRoot("");
    ASSERT_TRUE(settings.save());
    pump.runFor(5min);
    EXPECT_EQ(ospery->callValue("getRunState"), "0");
    EXPECT_EQ(trundel->callValue("getRunState"), "0");
    EXPECT_TRUE(ospery->alive());
    EXPECT_TRUE(trundel->alive());
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(fs::list(record.path(), "*.body").size(), 0u);
    ospery->release();
    trundel->release();
}

}  // namespace
}  // namespace fg
