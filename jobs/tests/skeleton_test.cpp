// The parts of the job skeleton driven in this process: the command line,
// the numbers, the send-history selection and the bound on the wait for the
// end of a send.
#include "jobs/drumel/make_career_send_ctl.h"
#include "jobs/errors.h"
#include "jobs/fax_job.h"
#include "jobs/job_numbers.h"
#include "job_fixture.h"
#include "platform/error_log.h"
#include "platform/folder_path_info.h"
#include "platform/testing/error_of.h"
#include "platform/testing/local_time.h"
#include "platform/testing/store_files.h"
#include "settings/maker_info.h"

#include <signal.h>

#include <optional>

namespace fg::testing {
namespace {

using Strings = std::vector<std::string>;
using namespace std::chrono_literals;

TEST(JobCommandLine, IsTheFaxNumberAloneOrWithOneArgument) {
    struct Case {
        Strings args;
        bool withArgument;
        std::optional<std::pair<std::string, std::string>> read;
    } cases[] = {
        {{"0312345679"}, false, {{"0312345679", ""}}},
        // A job without an argument takes the whole line as its number.
        {{"0312345679,1"}, false, {{"0312345679,1", ""}}},
        {{"0312345679,202401"}, true, {{"0312345679", "202401"}}},
        {{"0312345679,"}, true, {{"0312345679", ""}}},
        {{}, false, std::nullopt},
        {{""}, false, std::nullopt},
        {{"0312345679", "1"}, true, std::nullopt},
        {{"0312345679"}, true, std::nullopt},
        {{",202401"}, true, std::nullopt},
        {{"0312345679,2024,01"}, true, std::nullopt},
    };
    for (const auto& c : cases) {
        std::vector<const char*> argv{"job"};
        for (const auto& a : c.args) argv.push_back(a.c_str());
        auto read = jobs::readCommandLine(static_cast<int>(argv.size()), argv.data(), c.withArgument);
        SCOPED_TRACE((c.args.empty() ? std::string("(none)") : c.args.front()) + (c.withArgument ? " with" : " without"));
        ASSERT_EQ(read.has_value(), c.read.has_value());
        if (!read) continue;
        EXPECT_EQ(read->faxNo, c.read->first);
        EXPECT_EQ(read->argument, c.read->second);
    }
}

// 2024-01-15 10:20:30.250 local time.
std::chrono::system_clock::time_point quarterPast() { return localTime(2024, 1, 15, 10, 20, 30) + 250ms; }

class JobNumbersTest : public ::testing::Test {
protected:
    JobNumbersTest() : clock_(std::make_shared<ManualClock>(quarterPast())) { setClock(clock_); }
    ~JobNumbersTest() override { setClock(nullptr); }

    TempHome home;
    std::shared_ptr<ManualClock> clock_;
};

TEST_F(JobNumbersTest, ATakenNumberWaitsForTheNextSecondsStamp) {
    jobs::JobNumbers first;
    EXPECT_EQ(first.reserve("9999"), "202401151020309999");
    EXPECT_EQ(clock_->now(), quarterPast());
    // Reserved by another job of the same second: the next second's number,
    // waited for through the clock, and no longer than that.
    jobs::JobNumbers second;
    EXPECT_EQ(second.reserve("9999"), "202401151020319999");
    EXPECT_EQ(clock_->now(), quarterPast() + 750ms);
    // A stored record or a fax document takes a number as well; another
    // suffix of a taken second is free.
    StoreRecord stored;
    stored.number = "202401151020310001";
    fs::writeFileAtomic(home.folder("FaxManageNum") + "FAXManageNumber.xml", storeXml({stored}));
    fs::writeFileAtomic(home.folder("FaxSendXML") + "202401151020320001.xml", "<x/>");
    jobs::JobNumbers third;
    EXPECT_EQ(third.reserve("0001"), "202401151020330001");
    EXPECT_EQ(third.reserve("9998"), "202401151020339998");
}

TEST_F(JobNumbersTest, NumbersTakenForAMinuteAreAnError) {
    for (int s = 0; s < jobs::JobNumbers::kSecondsTried; ++s)
        fs::writeFileAtomic(home.folder("FaxSendXML") + timeStamp14(quarterPast() + std::chrono::seconds(s)) + "9999.xml",
                            "<x/>");
    jobs::JobNumbers numbers;
    EXPECT_EQ(errorOf([&] { numbers.reserve("9999"); }), errnum::PermissionDenied);
    EXPECT_EQ(numbers.reserve("9998"), timeStamp14(clock_->now()) + "9998");
}

class SendHistorySelection : public JobHome {
protected:
    static std::string record(const std::string& date, const std::string& number, const std::string& type,
                              const std::string& fax, const std::string& mode) {
        return "<FaxSendLog><SendDate>" + date + "</SendDate><RepManageNo>" + number + "</RepManageNo><RepType>" +
               type + "</RepType><FAXNum>" + fax + "</FAXNum><EmploymentMode>" + mode +
               "</EmploymentMode><Result>OK</Result></FaxSendLog>";
    }
    Strings listed(const std::string& number) const {
        xml::Document list;
        EXPECT_TRUE(list.load(home.folder("FaxSendXML") + number + ".xml"));
        Strings out;
        for (const auto& n : list.selectNodes("/JPTRMROOT/FaxSendLogs/FaxSendLog/RepManageNo")) out.push_back(n.text());
        return out;
    }

    ErrorLogGuard log;
    EventPump pump;
};

TEST_F(SendHistorySelection, SelectsTheMonthsRealSendsAndLeavesTheLogAsItWas) {
    const std::string logPath = home.folder("FaxSendLog") + "FaxSendLog.xml";
    fs::writeFileAtomic(
        logPath, sjisDocument("<FaxSendLogs>" + record("20240105093000", "A", "見積依頼書", kSupplierFax, "0") +
                              record("20240106093000", "B", "テスト帳票", kSupplierFax, "0") +
                              record("20240107093000", "C", "注文書", kSupplierFax, "1") +
                              record("20231231093000", "D", "注文書", kSupplierFax, "0") +
                              record("20240108093000", "E", "注文書", "03-1234-5679", "0") +
                              record("20240131235959", "F", "注文書", kSupplierFax, "0") + "</FaxSendLogs>"));
    const std::string before = fs::readFile(logPath);
    jobs::MakeCareerSendCtl job(pump);
    struct Case {
        std::string month;
        Strings listed;
    } cases[] = {{"202401", {"A", "F"}}, {"202312", {"D"}}, {"202402", {}}, {"2024", {}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.month);
        std::string number = "unchanged";
        ASSERT_EQ(job.SelFaxSendLog(c.month, kSupplierFax, number), 0);
        EXPECT_EQ(number.substr(14), "0001");
        EXPECT_EQ(listed(number), c.listed);
        xml::Document list;  // whom the list is for, also when the month has no send
        ASSERT_TRUE(list.load(home.folder("FaxSendXML") + number + ".xml"));
        EXPECT_EQ(list.selectSingleNode("/JPTRMROOT/FAXNum").text(), kSupplierFax);
        EXPECT_EQ(records()[number]["RepType"], "FAX送信履歴一覧");
    }
    EXPECT_EQ(fs::readFile(logPath), before);
    EXPECT_TRUE(log.log->entries().empty());
}

TEST_F(SendHistorySelection, ABrokenLogSelectsNothing) {
    fs::writeFileAtomic(home.folder("FaxSendLog") + "FaxSendLog.xml", "<FaxSendLogs>");
    jobs::MakeCareerSendCtl job(pump);
    std::string number = "unchanged";
    EXPECT_EQ(job.SelFaxSendLog("202401", kSupplierFax, number), -1);
    EXPECT_EQ(number, "unchanged");
    EXPECT_TRUE(log.log->entries().empty());
    EXPECT_TRUE(records().empty());
    EXPECT_TRUE(files("FaxSendXML").empty());
}

// A job that hands over one OCR form, whatever it is told.
class OneFormJob : public jobs::FaxJob {
public:
    explicit OneFormJob(EventPump& pump) : FaxJob(pump, {"testjob", 40999, FaxRepImg::ReferenceCopy::AsSent}) {}
    bool blnSendFax() override {
        MakerInfo supplier;
        if (!supplier.getMakerInfo("", strFaxNo(), true)) return false;
        const std::string number = "202401151020309999";
        if (!jobs::storeJobRecord(number, "見積書", number.substr(0, 14), supplier, true)) return false;
        FolderPathInfo folders;
        fs::copyFile(folders.getFolderPath("ReportID") + "F3-JP.xls", folders.getFolderPath("ExcelLayout") + number + ".xls");
        return makeFAXImage({number}, {number}, "見積書");
    }
};

TEST_F(SendHistorySelection, AJobStopsWaitingForASendThatDoesNotEndAfterItsBound) {
    // Lines that take for ever to answer.
    for (int port = 1; port <= 4; ++port) setLine(home, port, "<ConnectTime>100000000</ConnectTime>");
    OneFormJob job(pump);
    job.setStrFaxNo(kSupplierFax);
    const pid_t server = job.eventSend()->serverPid();
    ASSERT_TRUE(job.blnSendFax());
    home.write("waits.xml", "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><Waits><SendJob>60000</SendJob></Waits>");
    EXPECT_FALSE(job.waitForEnd());
    auto entries = log.log->entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].log, "TelephonyErrorLog");
    EXPECT_EQ(entries[0].number, 40999);
    EXPECT_EQ(entries[0].source, "testjob");
    EXPECT_NE(entries[0].description.find("60 秒"), std::string::npos) << entries[0].description;
    // The server was let go to finish on its own; here it is ended. A new
    // server takes its send over: over mended lines it ends too, heard to
    // its end (record written, run markers gone), so that none outlives
    // the test.
    for (int port = 1; port <= 4; ++port) setLine(home, port, "<ConnectTime>1000</ConnectTime>");
    ASSERT_EQ(::kill(server, SIGKILL), 0);
    // Three hours of the system's time: two real minutes at this scale.
    EXPECT_TRUE(pump.waitUntil(
        [&] { return sendLog(home).size() == 1 && fs::list(home.path(), "@*.XML").empty(); }, std::chrono::hours(3)));
}

}  // namespace
}  // namespace fg::testing
