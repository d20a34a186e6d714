// The send history as its readers see it: the record layout byte for byte,
// the lookups by position, the moves of setSendImage, failures that leave the
// file alone, and writers in several processes at once.
#include "fax_send/kelvra/fax_send_careers.h"

#include "platform/files.h"
#include "platform/text.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_home.h"
#include "platform/xml.h"
#include "platform/xml_scan.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace fg {
namespace {

const std::string kDecl = "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n";

class SendCareers : public ::testing::Test {
protected:
    std::string logPath() { return home.folder("FaxSendLog") + "FaxSendLog.xml"; }
    void writeLog(const std::string& records) {
        // The log is code page 932 on disk, as its declaration says.
        fs::writeFileAtomic(logPath(), text::toCp932(kDecl + "<FaxSendLogs>" + records + "</FaxSendLogs>"));
    }
    std::string readLog() { return fs::readFile(logPath()); }
    xml::NodeList recordsOnDisk() {
        xml::Document doc;
        EXPECT_TRUE(doc.load(logPath()));
        return doc.selectNodes("/FaxSendLogs/FaxSendLog");
    }
    static std::string childNames(const xml::Node& record) {
        std::string names;
        for (const xml::Node& c : record.childNodes()) names += c.nodeName() + ",";
        return names;
    }
    static std::string record(const std::string& no, const std::string& type, const std::string& result = "OK",
                              const std::string& images = "") {
        return "<FaxSendLog><SendDate>20240102030405</SendDate><RepManageNo>" + no + "</RepManageNo><RepType>" +
               type + "</RepType><FAXRefImageFileNames>" + images +
               "</FAXRefImageFileNames><OrderName/><CompanyName/><PostName/><ChargeName/><FAXNum>0311112222</FAXNum>"
               "<EmploymentMode>0</EmploymentMode><PageNum>2</PageNum><Result>" +
               result + "</Result><ReceiveCode/><ReSendDate/></FaxSendLog>";
    }
    void fill(FaxSendCareers& c) {
        c.setStrSendDate("20240301101112");
        c.setStrRepManageNo("202403011011120001");
        c.setStrRepType("納期確認書");
        c.setStrOrderName("発注元");
        c.setStrSendCompanyName("株式会社テスト");
        c.setStrSendPostName("購買部");
        c.setStrSendChargeName("山田");
        c.setStrSendFAXNum("03-1111-2222");
        c.setStrEnploymentMode("0");
        c.setStrSendPageNum("3");
        c.setStrSendResult("OK");
        c.setStrReciverCode("R01");
    }

    testing::TempHome home;
    testing::ErrorLogGuard log;
};

TEST_F(SendCareers, ANewRecordHasItsFourteenChildrenInOrderWithoutWhiteSpace) {
    writeLog("");
    FaxSendCareers c;
    fill(c);
    ASSERT_TRUE(c.setSendCareer());
    c.setStrFAXRefImageFileName("ref1");
    ASSERT_TRUE(c.setSendCareer());
    // Writing a record keeps the properties: a third call repeats the second.
    ASSERT_TRUE(c.setSendCareer());

    std::string bytes = readLog();
    EXPECT_EQ(bytes.find("> <"), std::string::npos);
    EXPECT_EQ(bytes.find(">\n<F"), std::string::npos);
    EXPECT_EQ(bytes.rfind("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>", 0), 0u);
    EXPECT_NE(bytes.find(text::toCp932("<RepType>納期確認書</RepType>")), std::string::npos);

    auto all = recordsOnDisk();
    ASSERT_EQ(all.size(), 3u);
    const std::string order =
        "SendDate,RepManageNo,RepType,FAXRefImageFileNames,OrderName,CompanyName,PostName,ChargeName,FAXNum,"
        "EmploymentMode,PageNum,Result,ReceiveCode,ReSendDate,";
    for (auto& r : all) EXPECT_EQ(childNames(r), order);
    EXPECT_EQ(all[0].selectNodes("FAXRefImageFileNames/*").size(), 0u);
    EXPECT_EQ(all[1].selectSingleNode("FAXRefImageFileNames/FAXRefImageFileName").text(), "ref1");
    EXPECT_EQ(all[1].xml(), all[2].xml());

    const std::vector<std::pair<std::string, std::string>> values{
        {"SendDate", "20240301101112"}, {"RepManageNo", "202403011011120001"}, {"RepType", "納期確認書"},
        {"OrderName", "発注元"},        {"CompanyName", "株式会社テスト"},     {"PostName", "購買部"},
        {"ChargeName", "山田"},         {"FAXNum", "03-1111-2222"},            {"EmploymentMode", "0"},
        {"PageNum", "3"},               {"Result", "OK"},                      {"ReceiveCode", "R01"},
        {"ReSendDate", ""}};
    for (auto& [name, value] : values) EXPECT_EQ(all[0].selectSingleNode(name).text(), value) << name;
}

TEST_F(SendCareers, LookupsCompareNumberAndTypeExactlyByPosition) {
    writeLog(record("A0001", "注文書") + record("A0002", "テスト帳票"));
    FaxSendCareers c;
    struct Case {
        std::string no, type;
        bool found;
    } cases[] = {
        {"A0001", "注文書", true},     {"A0002", "テスト帳票", true}, {"A0001", "テスト帳票", false},
        {" A0001", "注文書", false},   {"A0001", "", false},          {"A0001", "   ", false},
        {"", "注文書", false},         {"a0001", "注文書", false},
    };
    for (auto& k : cases) EXPECT_EQ(c.checkSendCareer(k.no, k.type), k.found) << k.no << "/" << k.type;
    EXPECT_TRUE(log.log->entries().empty());
}

TEST_F(SendCareers, AReSendUpdatesEveryMatchingRecordAndKeepsItsSendDate) {
    writeLog(record("A0001", "注文書", "NG") + record("A0002", "注文書", "NG") + record("A0001", "注文書", "NG"));
    FaxSendCareers c;
    ASSERT_TRUE(c.setReSendCareer("A0001", "注文書", "20240405060708", 3, "OK"));
    auto all = recordsOnDisk();
    for (std::size_t i : {0u, 2u}) {
        EXPECT_EQ(all[i].selectSingleNode("PageNum").text(), "3");
        EXPECT_EQ(all[i].selectSingleNode("Result").text(), "OK");
        EXPECT_EQ(all[i].selectSingleNode("ReSendDate").text(), "20240405060708");
        EXPECT_EQ(all[i].selectSingleNode("SendDate").text(), "20240102030405");
    }
    EXPECT_EQ(all[1].selectSingleNode("Result").text(), "NG");

    ASSERT_TRUE(c.setReSendCareer("A0002", "注文書", "20240405060709", -1, "NG"));
    EXPECT_EQ(recordsOnDisk()[1].selectSingleNode("PageNum").text(), "-1");

    std::string before = readLog();
    EXPECT_FALSE(c.setReSendCareer("A0009", "注文書", "x", 1, "OK"));
    EXPECT_FALSE(c.setReSendCareer("A0001", " ", "x", 1, "OK"));
    EXPECT_EQ(readLog(), before);
    EXPECT_TRUE(log.log->entries().empty());
}

TEST_F(SendCareers, SetSendImageMovesTheListLastAndNamesEachMatchingRecordOnce) {
    writeLog(record("A0001", "注文書") + "<FaxSendLog><SendDate/><RepManageNo/></FaxSendLog>" +
             record("A0002", "注文書") + record("A0001", "再送"));
    FaxSendCareers c;
    ASSERT_TRUE(c.setSendImage("A0001", "img1"));
    ASSERT_TRUE(c.setSendImage("A0001", "img2"));

    auto all = recordsOnDisk();
    ASSERT_EQ(all.size(), 4u);
    // The malformed record and A0002 stay in front; both A0001 records moved behind them.
    EXPECT_EQ(all[0].selectSingleNode("RepManageNo").text(), "");
    EXPECT_EQ(all[1].selectSingleNode("RepManageNo").text(), "A0002");
    for (std::size_t i : {2u, 3u}) {
        EXPECT_EQ(all[i].selectSingleNode("RepManageNo").text(), "A0001");
        EXPECT_EQ(all[i].lastChild().nodeName(), "FAXRefImageFileNames");
        EXPECT_EQ(all[i].childNodes()[1].nodeName(), "RepManageNo");
        auto names = all[i].selectNodes("FAXRefImageFileNames/FAXRefImageFileName");
        ASSERT_EQ(names.size(), 2u);
        EXPECT_EQ(names[0].text(), "img1");
        EXPECT_EQ(names[1].text(), "img2");
    }
    EXPECT_EQ(all[1].selectNodes("FAXRefImageFileNames/*").size(), 0u);
}

TEST_F(SendCareers, DelSendCareerRemovesOnlyTheEarliestRecordOfTheNumber) {
    writeLog(record("A0001", "注文書", "NG") + record("A0002", "注文書") + record("A0001", "注文書", "OK"));
    FaxSendCareers c;
    EXPECT_FALSE(c.delSendCareer("  "));
    ASSERT_TRUE(c.delSendCareer("A0001"));
    auto all = recordsOnDisk();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].selectSingleNode("RepManageNo").text(), "A0002");
    EXPECT_EQ(all[1].selectSingleNode("Result").text(), "OK");
    EXPECT_TRUE(c.delSendCareer("A0009"));
    EXPECT_EQ(recordsOnDisk().size(), 2u);
}

TEST_F(SendCareers, ABrokenOrMissingLogIsReportedAndNeverOverwritten) {
    struct Case {
        const char* name;
        std::string content;  // "" = no file
    } cases[] = {
        {"missing", ""},
        {"not well-formed", kDecl + "<FaxSendLogs><FaxSendLog>"},
        {"wrong root", kDecl + "<Other/>"},
    };
    for (auto& k : cases) {
        SCOPED_TRACE(k.name);
        (void)fs::removeFile(logPath());
        if (!k.content.empty()) fs::writeFileAtomic(logPath(), k.content);
        FaxSendCareers c;
        fill(c);
        log.log->clear();
        EXPECT_FALSE(c.setSendCareer());
        EXPECT_FALSE(c.setReSendCareer("A", "B", "C", 1, "OK"));
        EXPECT_FALSE(c.delSendCareer("A"));
        EXPECT_FALSE(c.setSendImage("A", "B"));
        // Every failure is in the error log under the class's name.
        auto entries = log.log->entries();
        EXPECT_EQ(entries.size(), 4u);
        for (auto& e : entries) EXPECT_EQ(e.source, "FaxSendCareers");
        if (k.content.empty()) EXPECT_FALSE(fs::fileExists(logPath()));
        else EXPECT_EQ(readLog(), k.content);
    }
}

// Spliced into (as saved) or through a load (a line end more), a value the
// log cannot hold fails the write, logged with the field's name.
TEST_F(SendCareers, AValueTheLogCannotHoldFailsItsWriteAndLeavesTheLog) {
    xml::Document doc;
    ASSERT_TRUE(doc.loadXML(kDecl + "<FaxSendLogs>" + record("N1", "注文書") + "</FaxSendLogs>"));
    for (const std::string& start : {doc.saveToString(), doc.saveToString() + "\r\n"})
        for (const char* bad : {"\x01", "a\x1F", "\xEF\xBF\xBE", "\xED\xA0\x80"}) {
            fs::writeFileAtomic(logPath(), start);
            log.log->clear();
            FaxSendCareers c;
            c.setStrSendCompanyName(bad);
            EXPECT_FALSE(c.setSendCareer() || c.setReSendCareer("N1", "注文書", "x", 1, bad) || c.setSendImage("N1", bad));
            EXPECT_EQ(readLog(), start);
            ASSERT_EQ(log.log->entries().size(), 3u);
            EXPECT_NE(log.log->entries()[0].description.find("「CompanyName」"), std::string::npos);
        }
}

TEST_F(SendCareers, ARecordWithoutNumberAndTypeFailsTheLookupsWithALogEntry) {
    writeLog("<FaxSendLog><SendDate/><RepManageNo>A0001</RepManageNo></FaxSendLog>" + record("A0001", "注文書"));
    FaxSendCareers c;
    std::string before = readLog();
    EXPECT_FALSE(c.checkSendCareer("A0001", "注文書"));
    EXPECT_FALSE(c.setReSendCareer("A0001", "注文書", "x", 1, "OK"));
    EXPECT_EQ(readLog(), before);
    ASSERT_EQ(log.log->entries().size(), 2u);
    EXPECT_EQ(log.log->entries()[0].source, "FaxSendCareers");
}

// The writers that copy the log's bytes with their change spliced in write
// what a load, the change and a save write: every step is run on the log as
// a save writes it and on the same log with a line end more after its root,
// which a load reads alike but the writers take through a load and a save.
TEST_F(SendCareers, SplicingWritersWriteByteForByteWhatALoadAndASaveWrite) {
    const std::string built = text::toCp932(kDecl + "<FaxSendLogs>" + record("N1", "注文書", "NG", "<FAXRefImageFileName>p</FAXRefImageFileName>") +
                                            record("N2", "テスト帳票") + record("N1", "注文書") + "</FaxSendLogs>");
    // A root that preserves white space: blanks are kept, by a load and by the writers.
    const std::string preserving = text::toCp932(kDecl + "<FaxSendLogs xml:space=\"preserve\">" + record("N2", "テスト帳票") + "</FaxSendLogs>");
    for (const std::string& start : {fs::readFile(testing::sourceDir() + "demo/home/data/FaxSendLog.xml"), built, preserving}) {
        const bool keeps = start == preserving;
        xml::Document doc;
        ASSERT_TRUE(doc.loadBytes(start));
        const std::string saved = doc.saveToString();
        EXPECT_NE(xml::ScannedFile(saved).canonical(), keeps);
        auto run = [&](bool throughALoad) {
            std::vector<std::string> after;
            fs::writeFileAtomic(logPath(), saved);
            FaxSendCareers c;
            fill(c);
            std::string result;
            auto kept = [&](const char* tag) { EXPECT_TRUE(!keeps || readLog().find(tag) != std::string::npos) << tag; return true; };
            const std::function<bool()> steps[] = {
                [&] { return c.setSendCareer(); },
                // Blank values are values like any other: read as empty on
                // either path, and written as the saves write them.
                [&] {
                    c.setStrSendPostName(" \t");
                    const bool done = c.setSendCareer();
                    c.setStrSendPostName("購買部");
                    return done && kept("<PostName> \t</");
                },
                [&] { return c.setReSendCareer("N2", "テスト帳票", " ", 1, "  "); },
                [&] { return c.findSendResult("N2", result) && result == (keeps ? "  " : ""); },
                [&] { return c.setSendImage("N2", " ") && kept("<FAXRefImageFileName> </"); },
                [&] { return c.setSendImage("N1", "新しい頁"); },
                [&] { return c.setReSendCareer("202403011011120001", "納期確認書", "20240302000000", 4, "NG"); },
                [&] { return c.setSendImage("202403011011120001", "a&b<c>"); },
                [&] { return c.findSendResult("202403011011120001", result) && result == "NG"; },
                [&] { return c.delSendCareer("N1"); },
                [&] { return c.checkSendCareer("N2", "テスト帳票"); },
                // Every record but one removed, then the last: the root is
                // left empty, and then a record goes into it again.
                [&] {
                    std::vector<std::string> numbers;
                    bool done = c.getManageNumbers(numbers) && numbers.size() > 1;
                    numbers.pop_back();
                    for (const std::string& n : numbers) done = c.delSendCareer(n) && done;
                    return done;
                },
                [&] {
                    std::vector<std::string> numbers;
                    return c.getManageNumbers(numbers) && numbers.size() == 1 && c.delSendCareer(numbers[0]);
                },
                [&] { return c.setSendCareer(); },
            };
            for (const auto& step : steps) {
                // A reader leaves the file as it was, the line end more too.
                const std::string before = readLog();
                if (throughALoad) fs::writeFileAtomic(logPath(), before + "\r\n");
                const bool result = step();
                std::string now = readLog();
                if (now == before + "\r\n") fs::writeFileAtomic(logPath(), now = before);
                EXPECT_NE(xml::ScannedFile(now).canonical(), keeps) << after.size();
                after.push_back(std::to_string(result) + now);
            }
            return after;
        };
        EXPECT_EQ(run(false), run(true));
    }
    EXPECT_TRUE(log.log->entries().empty());
}

// A send's outcome written in one pass is what the members write one by one:
// a first send (with an older record of the number, of another type, that
// takes the image names too) and a send again, a blank section name and a
// blank image name among the values; a log in another form is left to the
// members.
TEST_F(SendCareers, AnOutcomeInOnePassWritesWhatTheMembersWriteOneByOne) {
    const std::vector<std::string> images = {"p1", " ", "頁2"};
    const std::string other = record("202403011011120001", "注文書", "OK", "<FAXRefImageFileName>p0</FAXRefImageFileName>");
    const std::string same = record("202403011011120001", "納期確認書", "NG");
    for (const std::string& records : {record("N1", "注文書") + other + record("N2", "注文書"), other + same + record("N1", "注文書")}) {
        writeLog(records);
        xml::Document doc;
        ASSERT_TRUE(doc.load(logPath()));
        const std::string start = doc.saveToString();
        fs::writeFileAtomic(logPath(), start);
        FaxSendCareers c;
        fill(c);
        c.setStrSendPostName(" ");
        bool resent = false;
        EXPECT_EQ(c.setSendOutcome(images, resent), std::optional<bool>(true));
        const std::string inOnePass = readLog();
        fs::writeFileAtomic(logPath(), start);
        const bool expectResent = c.checkSendCareer("202403011011120001", "納期確認書");
        EXPECT_EQ(resent, expectResent);
        if (!expectResent) {
            ASSERT_TRUE(c.setSendCareer());
            for (const std::string& image : images) ASSERT_TRUE(c.setSendImage("202403011011120001", image));
        } else {
            ASSERT_TRUE(c.setReSendCareer("202403011011120001", "納期確認書", "20240301101112", 3, "OK"));
        }
        EXPECT_EQ(inOnePass, readLog());
        fs::writeFileAtomic(logPath(), start + "\r\n");
        EXPECT_EQ(c.setSendOutcome(images, resent), std::nullopt);
        EXPECT_EQ(readLog(), start + "\r\n");
    }
    EXPECT_TRUE(log.log->entries().empty());
}

TEST_F(SendCareers, CreationFailsWhenTheFolderKeyIsMissing) {
    home.write("folderpath.xml", kDecl + "<Folders><Folder class=\"log\">log/</Folder></Folders>");
    EXPECT_THROW(FaxSendCareers(), Error);
}

TEST_F(SendCareers, WritersInSeveralProcessesLoseNoRecord) {
    writeLog("");
    constexpr int kProcesses = 8, kRecords = 15;
    std::vector<Process> children;
    for (int p = 0; p < kProcesses; ++p)
        children.push_back(Process::start(CAREERS_WRITER, {std::to_string(p), std::to_string(kRecords)}));
    for (Process& child : children) EXPECT_EQ(testing::waitForEnd(child), 0);
    auto all = recordsOnDisk();
    ASSERT_EQ(all.size(), static_cast<std::size_t>(kProcesses * kRecords));
    std::set<std::string> numbers;
    for (auto& r : all) {
        numbers.insert(r.selectSingleNode("RepManageNo").text());
        EXPECT_EQ(r.selectNodes("FAXRefImageFileNames/FAXRefImageFileName").size(), 1u);
    }
    EXPECT_EQ(numbers.size(), all.size());
}

}  // namespace
}  // namespace fg
