// The job programs as the telephone side starts them: each a process of its
// own on a demo home, with its fax-send server and the simulated lines.
#include "jobs/errors.h"
#include "jobs/fax_job.h"
#include "job_fixture.h"
#include "platform/testing/send_lines.h"
#include "platform/testing/shape.h"

#include <algorithm>
#include <chrono>
#include <set>

namespace fg::testing {
namespace {

using Strings = std::vector<std::string>;
using Numbers = std::vector<long>;
namespace errs = jobs::errs;

// One record of the send log as the fax-send server writes it.
std::string sendRecord(const std::string& date, const std::string& number, const std::string& type,
                       const std::string& fax, const std::string& mode) {
    return "<FaxSendLog><SendDate>" + date + "</SendDate><RepManageNo>" + number + "</RepManageNo><RepType>" + type +
           "</RepType><FAXRefImageFileNames><FAXRefImageFileName>" + number +
           "_001</FAXRefImageFileName></FAXRefImageFileNames><OrderName>発注元商事</OrderName>"
           "<CompanyName>山田精機株式会社</CompanyName><PostName>営業部</PostName><ChargeName>山田 太郎</ChargeName>"
           "<FAXNum>" + fax + "</FAXNum><EmploymentMode>" + mode + "</EmploymentMode><PageNum>1</PageNum>"
           "<Result>OK</Result><ReceiveCode>S0001</ReceiveCode><ReSendDate/></FaxSendLog>";
}

class JobPrograms : public JobHome {
protected:
    void writeSendLog(const Strings& records) const {
        std::string body;
        for (const auto& r : records) body += r;
        fs::writeFileAtomic(home.folder("FaxSendLog") + "FaxSendLog.xml", sjisDocument("<FaxSendLogs>" + body + "</FaxSendLogs>"));
    }
    // Every page of every fax placed, decoded: the fax page width, and a
    // length of a fine A4 page; a wide form, sent turned, is wide again when
    // turned back.
    void expectFaxPages(std::size_t calls, const std::string& phone, bool wideForms = false) const {
        auto placed = faxes();
        ASSERT_EQ(placed.size(), calls);
        for (const auto& fax : placed) {
            EXPECT_EQ(fax.status, "sent");
            EXPECT_EQ(fax.phone, phone);
            ASSERT_FALSE(fax.pages.empty());
            for (const auto& g3 : fax.pages) {
                Sheet page = decode(g3);
                EXPECT_EQ(page.pels.width(), 1728);
                EXPECT_GT(page.pels.height(), 2200);
                EXPECT_LT(page.pels.height(), 2400);
                if (wideForms) { EXPECT_GT(inkAspect(turnedBack(page)), 1.3); }
            }
        }
    }
    // The send log's results by number.
    std::map<std::string, std::string> sendResults() const {
        std::map<std::string, std::string> out;
        for (const auto& r : sendLog(home)) out[r.number] = r.result;
        return out;
    }
    // The files of the folders a job writes its fax to.
    Strings jobFiles() const {
        Strings all;
        for (const char* key : {"FaxSendXML", "ExcelLayout", "G3Image", "Jpg"})
            for (const auto& f : files(key)) all.push_back(std::string(key) + "/" + f);
        return all;
    }
    static bool endsWith(const std::string& s, const std::string& suffix) {
        return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
    }

};

TEST_F(JobPrograms, TheTestFaxIsRecordedLaidOutSentAndLogged) {
    ProgramRun run = runJob("belvast", {kSupplierFax});
    EXPECT_EQ(run.exitCode, jobs::kExitSent) << run.errors;
    EXPECT_TRUE(telephonyLog().empty());

    auto all = records();
    ASSERT_EQ(all.size(), 1u);
    const auto& [number, r] = *all.begin();
    EXPECT_TRUE(testing::fitsShape(number, "##############9999")) << number;
    EXPECT_EQ(r.at("SendDate").size(), 14u);
    EXPECT_EQ(r.at("RepType"), "テスト帳票");
    EXPECT_EQ(r.at("ReceiveCode"), "S0001");
    EXPECT_EQ(r.at("SendCompanyName"), "山田精機株式会社");
    EXPECT_EQ(r.at("SendFAXNum"), kSupplierFax);
    EXPECT_EQ(r.at("FAXSendXMLFileNames"), number);
    EXPECT_EQ(r.at("DecisionCondition"), "9");
    EXPECT_EQ(r.at("EnploymentMode"), "0");
    EXPECT_EQ(r.at("FAXTempImageFileNames"), r.at("FAXRefImageFileNames"));
    EXPECT_FALSE(r.at("FAXRefImageFileNames").empty());

    // The document: SendDate and RepManageNo under JPTRM, nothing else.
    const std::string path = home.folder("FaxSendXML") + number + ".xml";
    EXPECT_EQ(fs::readFile(path).rfind("<?xml version=\"1.0\" encoding=\"shift-jis\"?>", 0), 0u);
    xml::Document doc;
    ASSERT_TRUE(doc.load(path));
    Strings children;
    for (auto c = doc.documentElement().firstChild(); c; c = c.nextSibling()) children.push_back(c.nodeName());
    EXPECT_EQ(doc.documentElement().nodeName(), "JPTRM");
    EXPECT_EQ(children, (Strings{"SendDate", "RepManageNo"}));
    EXPECT_TRUE(testing::fitsShape(doc.selectSingleNode("/JPTRM/SendDate").text(), "####/##/## ##:##:##"));
    EXPECT_EQ(doc.selectSingleNode("/JPTRM/RepManageNo").text(), number);

    expectFaxPages(1, kSupplierFax);
    EXPECT_EQ(sendResults(), (std::map<std::string, std::string>{{number, "OK"}}));
    EXPECT_FALSE(files("Jpg", number + "*.jpg").empty());
    EXPECT_EQ(leftovers(), Strings{});
}

// Run by hand on a line that cannot be opened, the test fax tells on
// standard error, while it waits, that no line opens and each line's code;
// once a line opens and the fax is sent, its result.
TEST_F(JobPrograms, ATestFaxWaitingForALineTellsWhyAndThenItsResult) {
    writeModems(home, {"7*ATZ*0*1*0*"});  // no such simulated line yet
    SpawnOptions options;
    options.outputFile = home / "belvast.txt";
    Process job = Process::start(programDir() + "belvast", {kSupplierFax}, options);
    EXPECT_TRUE(eventually([&] { return home.read("belvast.txt").find("(COM7: 1)") != std::string::npos; }));
    setLine(home, 7, kLineAtOnce);
    ASSERT_TRUE(job.waitFor(std::chrono::minutes(2)));
    EXPECT_EQ(job.exitCode(), jobs::kExitSent);
    const auto sent = sendResults();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(home.read("belvast.txt"), "belvast: 送信回線をどれも開けません (COM7: 1)。FAX 送信サーバが回線を開けるまで試し続けます。"
                                        "送信の終了は最長 14400 秒待ちます。\nbelvast: 送信の結果: " +
                                            sent.begin()->first + " OK\n");
}

TEST_F(JobPrograms, TheSendHistoryListsTheMonthsSendsToTheNumber) {
    // The selection's rules are the skeleton test's; here the list goes out.
    writeSendLog({sendRecord("20240105093000", "A", "見積依頼書", kSupplierFax, "0"),
                  sendRecord("20240106093000", "B", "テスト帳票", kSupplierFax, "0"),
                  sendRecord("20240131235959", "F", "注文書", kSupplierFax, "0")});
    ProgramRun run = runJob("drumel", {kSupplierFax + ",202401"});
    EXPECT_EQ(run.exitCode, jobs::kExitSent) << run.errors;
    EXPECT_TRUE(telephonyLog().empty());

    auto all = records();
    ASSERT_EQ(all.size(), 1u);
    const auto& [number, r] = *all.begin();
    EXPECT_TRUE(testing::fitsShape(number, "##############0001")) << number;
    EXPECT_EQ(r.at("SendDate"), number.substr(0, 14));
    EXPECT_EQ(r.at("RepType"), "FAX送信履歴一覧");
    EXPECT_EQ(r.at("ReceiveCode"), "");
    EXPECT_EQ(r.at("SendCompanyName"), "山田精機株式会社");
    EXPECT_EQ(r.at("SendFAXNum"), kSupplierFax);
    EXPECT_EQ(r.at("FAXSendXMLFileNames"), number);

    const std::string path = home.folder("FaxSendXML") + number + ".xml";
    EXPECT_EQ(fs::readFile(path).rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0u);
    xml::Document list;
    ASSERT_TRUE(list.load(path));
    EXPECT_EQ(list.selectSingleNode("/JPTRMROOT/RepManageNo").text(), number);
    Strings listed;
    for (const auto& n : list.selectNodes("/JPTRMROOT/FaxSendLogs/FaxSendLog/RepManageNo")) listed.push_back(n.text());
    EXPECT_EQ(listed, (Strings{"A", "F"}));

    expectFaxPages(1, kSupplierFax);
    EXPECT_EQ(sendResults().at(number), "OK");
    EXPECT_EQ(leftovers(), Strings{});
}

TEST_F(JobPrograms, TheOcrFormsOfEachTypeAreSentUnderTheirOwnNumbers) {
    struct Case {
        std::string type;
        std::vector<std::pair<std::string, std::string>> forms;  // suffix, title, in number order
    } cases[] = {
        {"1", {{"9999", "見積書"}}},
        {"2", {{"9999", "納期回答書"}}},
        {"3", {{"9998", "見積書"}, {"9999", "納期回答書"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("OCR type " + c.type);
        const auto before = recordNumbers();
        const auto documentsBefore = files("FaxSendXML");
        clearFaxes();
        ProgramRun run = runJob("pomrik", {kSupplierFax + "," + c.type});
        EXPECT_EQ(run.exitCode, jobs::kExitSent) << run.errors;
        EXPECT_TRUE(telephonyLog().empty());

        Strings made = newRecords(before);
        ASSERT_EQ(made.size(), c.forms.size());
        auto all = records();
        for (std::size_t i = 0; i < made.size(); ++i) {
            EXPECT_TRUE(endsWith(made[i], c.forms[i].first)) << made[i];
            EXPECT_EQ(all[made[i]]["RepType"], c.forms[i].second);
            EXPECT_EQ(all[made[i]]["ReceiveCode"], "S0001");
            EXPECT_EQ(all[made[i]]["SendDate"], all[made.front()]["SendDate"]);
            EXPECT_EQ(all[made[i]]["FAXSendXMLFileNames"], made[i]);
            EXPECT_FALSE(all[made[i]]["FAXTempImageFileNames"].empty());
            EXPECT_EQ(sendResults()[made[i]], "OK");
        }
        // No fax document: the forms are copies of the supplied workbooks.
        EXPECT_EQ(files("FaxSendXML"), documentsBefore);
        expectFaxPages(made.size(), kSupplierFax, true);
        EXPECT_EQ(leftovers(), Strings{});
    }
}

TEST_F(JobPrograms, UnknownFaxNumbersAndOcrTypesAreLoggedAndEndTheJob) {
    struct Case {
        std::string program, line;
        Numbers logged;
    } cases[] = {
        {"belvast", kStrangerFax, {errs::TestFaxNotMade}},
        {"drumel", kStrangerFax + ",202401", {errs::SupplierNotRegistered, errs::HistoryNotSelected}},
        {"pomrik", kStrangerFax + ",1", {errs::FormsNotRecorded}},
        {"pomrik", kSupplierFax + ",4", {errs::FormsNotRecorded}},
        {"pomrik", kSupplierFax + ",", {errs::FormsNotRecorded}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.program + " " + c.line);
        (void)fs::removeFile(home.folder("log") + "TelephonyErrorLog.txt");
        ProgramRun run = runJob(c.program, {c.line});
        EXPECT_EQ(run.exitCode, jobs::kExitFailed) << run.errors;
        EXPECT_EQ(telephonyNumbers(), c.logged);
        for (const auto& l : telephonyLog()) EXPECT_EQ(l.source, c.program);
        EXPECT_TRUE(records().empty());
        EXPECT_TRUE(files("FaxSendXML").empty());
        EXPECT_TRUE(faxes().empty());
        EXPECT_EQ(leftovers(), Strings{});
    }
}

TEST_F(JobPrograms, CommandLinesNotOfTheJobsFormAreLoggedAndEndTheJob) {
    struct Case {
        std::string program;
        Strings args;
    } cases[] = {
        {"belvast", {}},
        {"belvast", {""}},
        {"belvast", {kSupplierFax, "x"}},
        {"drumel", {kSupplierFax}},
        {"drumel", {kSupplierFax + ",202401,1"}},
        {"drumel", {",202401"}},
        {"pomrik", {kSupplierFax}},
        {"pomrik", {kSupplierFax, "1"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.program + " with " + std::to_string(c.args.size()) + " argument(s)");
        (void)fs::removeFile(home.folder("log") + "TelephonyErrorLog.txt");
        ProgramRun run = runJob(c.program, c.args);
        EXPECT_EQ(run.exitCode, jobs::kExitBadCommandLine) << run.errors;
        auto log = telephonyLog();
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0].number, errnum::InvalidProcedureCall);
        EXPECT_EQ(log[0].source, c.program);
        EXPECT_NE(log[0].description.find("コマンドライン"), std::string::npos) << log[0].description;
        EXPECT_TRUE(records().empty());
        EXPECT_TRUE(faxes().empty());
        EXPECT_EQ(leftovers(), Strings{});
    }
}

TEST_F(JobPrograms, AJobThatFailsBeforeItsSendEndsAtOnceAndKeepsNothing) {
    // The fax-send server refuses every list: no end event will come.
    brokenSendSettings();
    struct Case {
        std::string program, line;
        long logged;
        std::string missing;  // a supplied workbook taken away first
    } cases[] = {
        {"belvast", kSupplierFax, errs::TestFaxNotSent, ""},
        {"drumel", kSupplierFax + ",202401", errs::HistoryPagesFailed, ""},
        {"pomrik", kSupplierFax + ",3", errs::FormsPagesFailed, ""},
        {"pomrik", kSupplierFax + ",3", errnum::FileNotFound, "F9-JP.xls"},  // after both records and one copy
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.program + " " + c.missing);
        (void)fs::removeFile(home.folder("log") + "TelephonyErrorLog.txt");
        if (!c.missing.empty()) { ASSERT_TRUE(fs::removeFile(home.folder("ReportID") + c.missing)); }
        const auto before = recordNumbers();
        const auto filesBefore = jobFiles();
        ProgramRun run = runJob(c.program, {c.line});
        EXPECT_EQ(run.exitCode, jobs::kExitFailed) << run.errors;
        // At once: a job that waited for an end would log the bound's
        // time-out beside its own failure.
        EXPECT_EQ(telephonyNumbers(), Numbers{c.logged});
        if (!c.missing.empty()) { EXPECT_NE(telephonyLog().at(0).description.find(c.missing), std::string::npos); }
        EXPECT_EQ(newRecords(before), Strings{});
        EXPECT_EQ(jobFiles(), filesBefore);
        EXPECT_TRUE(faxes().empty());
        EXPECT_EQ(leftovers(), Strings{});
    }
}

TEST_F(JobPrograms, ATestFaxWhoseRecordCannotBeStoredLeavesNoFile) {
    fs::writeFileAtomic(home.folder("FaxManageNum") + "FAXManageNumber.xml", "<FAXManageNums>");
    const auto filesBefore = jobFiles();
    ProgramRun run = runJob("belvast", {kSupplierFax});
    EXPECT_EQ(run.exitCode, jobs::kExitFailed) << run.errors;
    EXPECT_EQ(telephonyNumbers(), Numbers{errs::TestFaxNotMade});
    EXPECT_EQ(jobFiles(), filesBefore);
    EXPECT_EQ(leftovers(), Strings{});
}

TEST_F(JobPrograms, ASendJobThatFailsLogsTheJobsEndNumber) {
    // Busy lines: the send job goes through its list and the sends are
    // logged as failed, as for every send. No send line at all: the job
    // itself fails, and so does the program.
    struct Case {
        std::string program, line;
        bool sendLines;
        int exitCode;
        std::vector<long> logged;
    } cases[] = {
        {"belvast", kSupplierFax, true, jobs::kExitSent, {}},
        {"belvast", kSupplierFax, false, jobs::kExitFailed, {errs::TestFaxNotSent}},
        {"drumel", kSupplierFax + ",202401", false, jobs::kExitFailed, {errs::HistoryNotSent}},
        {"pomrik", kSupplierFax + ",1", false, jobs::kExitFailed, {errs::FormsNotSent}},
    };
    busyLines();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.program + (c.sendLines ? " on busy lines" : " without a send line"));
        writeModems(home, {c.sendLines ? "1*ATZ*0*1*0*" : "1*ATZ*0*0*0*"});
        (void)fs::removeFile(home.folder("log") + "TelephonyErrorLog.txt");
        const auto before = recordNumbers();
        ProgramRun run = runJob(c.program, {c.line});
        EXPECT_EQ(run.exitCode, c.exitCode) << run.errors;
        EXPECT_EQ(telephonyNumbers(), c.logged);
        // The record and the pages stay, the send logged as failed.
        Strings made = newRecords(before);
        ASSERT_EQ(made.size(), 1u);
        EXPECT_EQ(sendResults()[made[0]], "NG");
        EXPECT_FALSE(records()[made[0]]["FAXRefImageFileNames"].empty());
        EXPECT_EQ(leftovers(), Strings{});
    }
}

TEST_F(JobPrograms, ASendHistoryWhoseListCannotBeMadeKeepsNoRecordOfIt) {
    const std::string xsl = home.folder("Xsl");
    const std::string structure = fs::readFile(xsl + "FR130_ChangeStructure.xsl");
    const std::string layout = fs::readFile(xsl + "FR130_Layout.xsl");
    struct Case {
        std::string name;
        std::function<void()> breakIt;
        Numbers logged;
        bool documentStays;
    } cases[] = {
        {"no style sheet", [&] { (void)fs::removeFile(xsl + "FR130_ChangeStructure.xsl"); }, {errs::HistoryNotSelected},
         false},
        {"a style sheet that does not transform",
         [&] {
             fs::writeFileAtomic(xsl + "FR130_ChangeStructure.xsl",
                                 "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
                                 "<xsl:template match=\"/\"><xsl:value-of select=\"nosuch:f()\"/></xsl:template>"
                                 "</xsl:stylesheet>");
         },
         {errs::HistoryNotSelected}, false},
        {"no layout sheet", [&] { (void)fs::removeFile(xsl + "FR130_Layout.xsl"); }, {errs::HistoryNotLaidOut}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::writeFileAtomic(xsl + "FR130_ChangeStructure.xsl", structure);
        fs::writeFileAtomic(xsl + "FR130_Layout.xsl", layout);
        (void)fs::removeFile(home.folder("log") + "TelephonyErrorLog.txt");
        for (const auto& f : files("FaxSendXML")) (void)fs::removeFile(home.folder("FaxSendXML") + f);
        c.breakIt();
        ProgramRun run = runJob("drumel", {kSupplierFax + ",202401"});
        EXPECT_EQ(run.exitCode, jobs::kExitFailed) << run.errors;
        EXPECT_EQ(telephonyNumbers(), c.logged);
        EXPECT_TRUE(records().empty());
        EXPECT_EQ(files("FaxSendXML").size(), c.documentStays ? 1u : 0u);
        EXPECT_TRUE(faxes().empty());
        EXPECT_EQ(leftovers(), Strings{});
    }
}

}  // namespace
}  // namespace fg::testing
