#include "settings/schedule.h"

#include "platform/files.h"
#include "platform/testing/temp_home.h"
#include "platform/xml.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fg {
namespace {

const std::string kTimes =
    "<Time Use=\"1\">0900</Time><Time Use=\"1\">1200</Time><Time Use=\"0\">1500</Time>"
    "<Time Use=\"0\">1800</Time><Time Use=\"1\">2100</Time>";

std::string scheduleFile(const std::string& session, const std::string& plain) {
    return "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><Schedule>" + session + plain + "</Schedule>";
}
std::string session(const std::string& interval = "30", const std::string& times = kTimes) {
    return "<EDISessionInterval Mode=\"2\"><Interval>" + interval + "</Interval>" + times + "</EDISessionInterval>";
}
const std::string kPlain =
    "<MakerInfoInterval>10</MakerInfoInterval><UrgeDataInterval>20</UrgeDataInterval>"
    "<ReceiveInterval>30</ReceiveInterval><MakerTimeSet>40</MakerTimeSet><UrgeTimeSet>50</UrgeTimeSet>";

class ScheduleTest : public ::testing::Test {
protected:
    testing::TempHome home;
    testing::ErrorLogGuard log;
    std::string path = home.folder("Schedule") + schedule::kFileName;

    void write(const std::string& bytes) { fs::writeFileAtomic(path, bytes); }
    static std::vector<std::int32_t> values(const schedule& s) {
        return {s.mGetMakerInfoInterval(), s.mGetUrgeDataInterval(), s.mGetReceiveInterval(), s.mGetMakerTimeSet(),
                s.mGetUrgeTimeSet()};
    }
};

TEST_F(ScheduleTest, InstalledScheduleReadsThroughEveryMember) {
    schedule s;
    ASSERT_TRUE(s.GetScheduleInfo());
    EXPECT_GT(s.mGetMakerInfoInterval(), 0);
    EXPECT_GT(s.mGetReceiveInterval(), 0);
    EXPECT_EQ(s.mEDISessionInterval(), 0);
    EXPECT_EQ(s.getEDIScheduleMode(), "1");
    EXPECT_GT(s.getInterval(), 0);
    ScheduleTimes times;
    ASSERT_TRUE(s.getTime(times));
    for (const auto& row : times) {
        EXPECT_TRUE(row[0].isText());
        EXPECT_FALSE(row[1].toText().empty());
    }
    EXPECT_TRUE(log.log->entries().empty());
}

TEST_F(ScheduleTest, MissingFileFailsEveryReaderUnderItsOwnName) {
    (void)fs::removeFile(path);
    schedule s;
    EXPECT_FALSE(s.GetScheduleInfo());
    EXPECT_EQ(s.getEDIScheduleMode(), "0");
    EXPECT_EQ(s.getInterval(), 99);
    ScheduleTimes times;
    times[0][0] = Variant("stale");
    EXPECT_FALSE(s.getTime(times));
    EXPECT_TRUE(times[0][0].isEmpty());
    auto entries = log.log->entries();
    ASSERT_EQ(entries.size(), 4u);
    const char* sources[] = {"Schedule", "getEDIScheduleMode", "getInterval", "getTime"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(entries[i].number, 40101);
        EXPECT_EQ(entries[i].source, sources[i]);
        EXPECT_EQ(entries[i].description, "");
    }
}

TEST_F(ScheduleTest, PlainValuesAsTheFileHoldsThem) {
    struct Case {
        const char* what;
        std::string plain;
        bool result;
        std::vector<std::int32_t> values;  // from all-7 properties
    } cases[] = {
        {"all five", kPlain, true, {10, 20, 30, 40, 50}},
        {"first of two wins", "<MakerInfoInterval>1</MakerInfoInterval><MakerInfoInterval>2</MakerInfoInterval>",
         true, {1, 7, 7, 7, 7}},
        {"missing keeps the value", "<MakerInfoInterval>3</MakerInfoInterval>", true, {3, 7, 7, 7, 7}},
        {"not a number stops the read",
         "<MakerInfoInterval>4</MakerInfoInterval><UrgeDataInterval>5</UrgeDataInterval>"
         "<ReceiveInterval>soon</ReceiveInterval><MakerTimeSet>6</MakerTimeSet>",
         false, {4, 5, 7, 7, 7}},
        {"beyond 32 bits", "<UrgeTimeSet>4294967296</UrgeTimeSet>", false, {7, 7, 7, 7, 7}},
    };
    for (const Case& c : cases) {
        write(scheduleFile(session(), c.plain));
        log.log->clear();
        schedule s;
        for (auto set : {&schedule::setMGetMakerInfoInterval, &schedule::setMGetUrgeDataInterval,
                         &schedule::setMGetReceiveInterval, &schedule::setMGetMakerTimeSet,
                         &schedule::setMGetUrgeTimeSet})
            (s.*set)(7);
        EXPECT_EQ(s.GetScheduleInfo(), c.result) << c.what;
        EXPECT_EQ(values(s), c.values) << c.what;
        EXPECT_TRUE(log.log->entries().empty()) << c.what;
    }
    write("<?xml version=\"1.0\"?><Other/>");
    schedule s;
    EXPECT_FALSE(s.GetScheduleInfo());
    EXPECT_TRUE(log.log->entries().empty());
}

TEST_F(ScheduleTest, ExchangeSettingsFailWithTheirDefaults) {
    struct Case {
        const char* what;
        std::string session;
        std::string mode;
        std::int16_t interval;
        int timeRows;  // rows filled; 5 means getTime succeeds
    } cases[] = {
        {"complete", session("30"), "2", 30, 5},
        {"mode attribute missing", "<EDISessionInterval><Interval>5</Interval>" + kTimes + "</EDISessionInterval>",
         "0", 5, 5},
        {"interval above 16 bits", session("32768"), "2", 99, 5},
        {"interval not a number", session("x"), "2", 99, 5},
        {"four times", session("1", kTimes.substr(0, kTimes.rfind("<Time"))), "2", 1, 4},
        {"time without attribute", session("1", "<Time>0900</Time>" + kTimes), "2", 1, 0},
        {"no session", "", "0", 99, 0},
    };
    for (const Case& c : cases) {
        write(scheduleFile(c.session, kPlain));
        log.log->clear();
        schedule s;
        EXPECT_EQ(s.getEDIScheduleMode(), c.mode) << c.what;
        EXPECT_EQ(s.getInterval(), c.interval) << c.what;
        ScheduleTimes times;
        EXPECT_EQ(s.getTime(times), c.timeRows == 5) << c.what;
        for (int row = 0; row < 5; ++row) EXPECT_EQ(times[row][1].isEmpty(), row >= c.timeRows) << c.what << row;
        if (c.timeRows > 0) {
            EXPECT_EQ(times[0][0].toText(), "1");
            EXPECT_EQ(times[0][1].toText(), "0900");
        }
        std::size_t failures = (c.mode == "0") + (c.interval == 99) + (c.timeRows < 5);
        EXPECT_EQ(log.log->entries().size(), failures) << c.what;
    }
}

TEST_F(ScheduleTest, UpdateWritesThePlainValuesAndKeepsTheExchangeSettings) {
    write(scheduleFile(session("15"), kPlain));
    schedule s;
    ASSERT_TRUE(s.GetScheduleInfo());
    s.setMGetMakerInfoInterval(11);
    s.setMGetUrgeDataInterval(-22);
    s.setMGetReceiveInterval(33);
    s.setMGetMakerTimeSet(44);
    s.setMGetUrgeTimeSet(2147483647);
    s.setMEDISessionInterval(99);
    ASSERT_TRUE(s.updateSchedule());

    schedule reader;
    ASSERT_TRUE(reader.GetScheduleInfo());
    EXPECT_EQ(values(reader), (std::vector<std::int32_t>{11, -22, 33, 44, 2147483647}));
    EXPECT_EQ(reader.getEDIScheduleMode(), "2");
    EXPECT_EQ(reader.getInterval(), 15);
    ScheduleTimes times;
    EXPECT_TRUE(reader.getTime(times));
    EXPECT_TRUE(log.log->entries().empty());
}

TEST_F(ScheduleTest, UpdateWritesEachValueToItsOwnElementWhateverStandBetween) {
    const std::string plainWithNotes =
        "<MakerInfoInterval>10</MakerInfoInterval>\n  <!-- urge -->\n  <UrgeDataInterval>20</UrgeDataInterval>"
        "<?note x?><ReceiveInterval>30</ReceiveInterval><UrgeTimeSet>50</UrgeTimeSet><MakerTimeSet>40</MakerTimeSet>";
    struct Case {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"a comment before the exchange settings", scheduleFile("<!-- EDI -->" + session("15"), kPlain)},
        {"white space kept between the elements",
         scheduleFile("\n  " + session("15") + "\n  ", "<MakerInfoInterval>10</MakerInfoInterval>\n  "
                                                     "<UrgeDataInterval>20</UrgeDataInterval>\n  <ReceiveInterval>30"
                                                     "</ReceiveInterval>\n  <MakerTimeSet>40</MakerTimeSet>\n  "
                                                     "<UrgeTimeSet>50</UrgeTimeSet>\n")},
        {"notes and another order", scheduleFile(session("15"), plainWithNotes)},
    };
    for (const Case& c : cases) {
        write(c.bytes);
        log.log->clear();
        schedule s;
        ASSERT_TRUE(s.GetScheduleInfo()) << c.what;
        EXPECT_EQ(values(s), (std::vector<std::int32_t>{10, 20, 30, 40, 50})) << c.what;
        s.setMGetMakerInfoInterval(11);
        s.setMGetUrgeDataInterval(22);
        s.setMGetReceiveInterval(33);
        s.setMGetMakerTimeSet(44);
        s.setMGetUrgeTimeSet(55);
        ASSERT_TRUE(s.updateSchedule()) << c.what;

        schedule reader;
        ASSERT_TRUE(reader.GetScheduleInfo()) << c.what;
        EXPECT_EQ(values(reader), (std::vector<std::int32_t>{11, 22, 33, 44, 55})) << c.what;
        EXPECT_EQ(reader.getEDIScheduleMode(), "2") << c.what;
        EXPECT_EQ(reader.getInterval(), 15) << c.what;
        ScheduleTimes times;
        EXPECT_TRUE(reader.getTime(times)) << c.what;
        EXPECT_TRUE(log.log->entries().empty()) << c.what;
        std::string saved = fs::readFile(path);
        for (const char* kept : {"<Time Use=\"1\">2100</Time>", "EDISessionInterval Mode=\"2\""})
            EXPECT_NE(saved.find(kept), std::string::npos) << c.what << ": " << kept;
    }
}

TEST_F(ScheduleTest, UpdateWithoutAReadFindsTheScheduleFolderItself) {
    write(scheduleFile(session(), kPlain));
    schedule s;
    s.setMGetReceiveInterval(5);
    ASSERT_TRUE(s.updateSchedule());
    EXPECT_FALSE(std::filesystem::exists(schedule::kFileName)) << "nothing written to the current folder";
    schedule reader;
    ASSERT_TRUE(reader.GetScheduleInfo());
    EXPECT_EQ(reader.mGetReceiveInterval(), 5);
    EXPECT_EQ(reader.mGetMakerInfoInterval(), 0);
}

TEST_F(ScheduleTest, UpdateNeverWritesOverAFileItCannotUse) {
    struct Case {
        const char* what;
        std::string bytes;  // empty: no file
    } cases[] = {
        {"missing", ""},
        {"malformed", scheduleFile(session(), kPlain).substr(0, 80)},
        {"no Schedule element", "<?xml version=\"1.0\"?><Other><a/><b/><c/><d/><e/><f/></Other>"},
        {"Schedule short of its fields", scheduleFile(session(), "<MakerInfoInterval>1</MakerInfoInterval>")},
    };
    for (const Case& c : cases) {
        (void)fs::removeFile(path);
        if (!c.bytes.empty()) write(c.bytes);
        log.log->clear();
        schedule s;
        s.setMGetMakerInfoInterval(1);
        EXPECT_FALSE(s.updateSchedule()) << c.what;
        ASSERT_EQ(log.log->entries().size(), 1u) << c.what;
        EXPECT_EQ(log.log->entries()[0].number, 40102) << c.what;
        EXPECT_EQ(log.log->entries()[0].source, "Schedule") << c.what;
        if (c.bytes.empty()) {
            EXPECT_FALSE(fs::fileExists(path)) << c.what;
        } else {
            EXPECT_EQ(fs::readFile(path), c.bytes) << c.what;
        }
    }
}

}  // namespace
}  // namespace fg
