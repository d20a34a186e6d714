// The 20 send ports under load and failure: a 21st group waits for an end
// and takes the lowest free port, a killed server frees its port, and
// releasing the object leaves no server process behind.
#include "documents/tests/batch_fixture.h"

#include <algorithm>

namespace fg::testing {
namespace {

using Strings = std::vector<std::string>;

class SendPorts : public BatchTest {
protected:
    // Supplier k (from 1) of its own, with a fax number and one delivery-
    // date confirmation; answers the fetch of all of them.
    std::vector<GET_FILE> suppliers(int count) {
        const std::string demo = fs::readFile(home.folder("TempEDI") + "DORE0701_0002.xml");
        GET_FILE r0701{static_cast<std::int16_t>(count), "0701", {}, {}};
        for (int k = 1; k <= count; ++k) {
            char code[8], fax[16];
            std::snprintf(code, sizeof code, "S1%03d", k);
            std::snprintf(fax, sizeof fax, "031111%04d", k);
            fs::writeFileAtomic(home.folder("MakerInfo") + code + ".XML",
                                text::toCp932(std::string("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>"
                                                          "<Maker-information><Supplier-code>") +
                                              code + "</Supplier-code><Supplier-name>受注者" + code +
                                              "</Supplier-name><Person-name>担当</Person-name><Section-name>営業部"
                                              "</Section-name><Fax-number>" + fax +
                                              "</Fax-number></Maker-information>"));
            std::string message = demo;
            for (auto at = message.find("S0003"); at != std::string::npos; at = message.find("S0003", at))
                message.replace(at, 5, code);
            fs::writeFileAtomic(home.folder("TempEDI") + "D" + code + ".xml", message);
            r0701.strSupplier.push_back(code);
            r0701.strGetFile.push_back(std::string("D") + code);
        }
        return {GET_FILE{0, "0301", {}, {}}, GET_FILE{0, "0500", {}, {}}, r0701, GET_FILE{0, "1101", {}, {}}};
    }
};

TEST_F(SendPorts, TwentyFirstGroupWaitsForAnEndAndTakesTheLowestFreePort) {
    quickPages();
    // Every line slow but one, so that one send ends well before the others.
    writeLines(20, "<ConnectTime>50000</ConnectTime><PageTime>0</PageTime>");
    setLine(7, "<ConnectTime>0</ConnectTime><PageTime>0</PageTime>");
    struct HandOver {
        int port;
        Strings numbers;
        std::vector<bool> busyBefore;  // ports 1 to 20 as the group was taken
        std::size_t endedBefore;       // send results recorded by then
    };
    std::vector<HandOver> handed;
    builder().setSendObserver([&](int port, const Strings& numbers) {
        std::vector<bool> busy;
        for (int n = 1; n <= 20; ++n) busy.push_back(builder().sendPortBusy(n));
        handed.push_back({port, numbers, busy, sendResults().size()});
    });

    ASSERT_TRUE(builder().makeFAXSendXML(suppliers(21), "", "")) << loggedText();
    ASSERT_EQ(handed.size(), 21u);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(handed[static_cast<std::size_t>(i)].port, i + 1);
    const HandOver& last = handed[20];
    // The 21st waited for an end: a send had been recorded and its port freed.
    EXPECT_GE(last.endedBefore, 1u);
    // It took the lowest free port: every port below it was busy.
    for (int n = 1; n < last.port; ++n) EXPECT_TRUE(last.busyBefore[static_cast<std::size_t>(n - 1)]) << n;
    // The port it took was freed by the end of the group that held it.
    const Strings& previous = handed[static_cast<std::size_t>(last.port - 1)].numbers;
    EXPECT_EQ(sendResults().count(previous[0]), 1u);

    ASSERT_TRUE(waitForSends()) << loggedText();
    auto results = sendResults();
    EXPECT_EQ(results.size(), 21u);
    for (const auto& [number, result] : results) EXPECT_EQ(result, "OK") << number;
    EXPECT_EQ(sentFaxes().size(), 21u);
}

TEST_F(SendPorts, KilledServerHasItsGroupSentByAnotherThenFreesItsPort) {
    quickPages();
    writeLines(20, "<ConnectTime>1000000</ConnectTime><PageTime>0</PageTime>");
    auto two = suppliers(2);
    ASSERT_TRUE(builder().makeFAXSendXML(two, "", "")) << loggedText();
    const pid_t first = builder().sendPortServerPid(1), second = builder().sendPortServerPid(2);
    ASSERT_GT(first, 0);
    ASSERT_GT(second, 0);

    // The groups of the killed servers go out on new ones, over lines that
    // work now; each port is freed by the end of its new server.
    ASSERT_EQ(::kill(first, SIGKILL), 0);
    ASSERT_EQ(::kill(second, SIGKILL), 0);
    writeLines(20, "<ConnectTime>0</ConnectTime><PageTime>0</PageTime>");
    ASSERT_TRUE(pump.waitUntil([&] { return !builder().sendPortBusy(1); }, kBound));
    EXPECT_FALSE(testing::processExists(first));  // reaped, no zombie
    EXPECT_TRUE(logged(kChildGone, "FaxSend")) << loggedText();

    // The owner only polls: the check itself delivers the end of the second.
    bool busy = true;
    for (int i = 0; i < 1000 && busy; ++i) {
        busy = builder().SendPortEndCheck();
        if (busy) clock().sleepFor(std::chrono::milliseconds(1000));
    }
    EXPECT_FALSE(busy);
    EXPECT_FALSE(testing::processExists(second));

    // The freed ports serve the next group, the lowest first.
    std::vector<int> ports;
    builder().setSendObserver([&](int port, const Strings&) { ports.push_back(port); });
    ASSERT_TRUE(builder().makeFAXSendXML(two, "", "")) << loggedText();
    EXPECT_EQ(ports, (std::vector<int>{1, 2}));
    ASSERT_TRUE(waitForSends());
    // The killed calls stay unfinished on their lines; the taken-over and the new ones got through.
    auto sent = sentFaxes();
    EXPECT_EQ(std::count_if(sent.begin(), sent.end(), [](const SentFax& f) { return f.status == "sent"; }), 4);
}

TEST_F(SendPorts, ReleasedObjectWaitsForItsSendsAndLeavesNoServerBehind) {
    quickPages();
    writeLines(20, "<ConnectTime>30000</ConnectTime><PageTime>0</PageTime>");
    ASSERT_TRUE(builder().makeFAXSendXML(suppliers(3), "", "")) << loggedText();
    std::vector<pid_t> servers;
    for (int n = 1; n <= 3; ++n) servers.push_back(builder().sendPortServerPid(n));
    for (pid_t pid : servers) ASSERT_GT(pid, 0);

    releaseBuilder();
    for (pid_t pid : servers) EXPECT_FALSE(testing::processExists(pid)) << pid;  // ended and reaped
    // Their jobs were finished, not cut off, and no run marker stays.
    auto results = sendResults();
    EXPECT_EQ(results.size(), 3u);
    for (const auto& [number, result] : results) EXPECT_EQ(result, "OK") << number;
    EXPECT_TRUE(fs::list(home.path(), "@*.XML").empty());
}

// A document laid out and rendered again ends with one set of pages, and a
// failure leaves the records it did not make alone.
class Relayout : public BatchTest {
protected:
    std::string sendOne() {
        auto one = std::vector<GET_FILE>{GET_FILE{1, "0301", {"S0001"}, {"DORE0301_0001"}}, GET_FILE{0, "0500", {}, {}},
                                         GET_FILE{0, "0701", {}, {}}, GET_FILE{0, "1101", {}, {}}};
        EXPECT_TRUE(builder().makeFAXSendXML(one, "", "")) << loggedText();
        EXPECT_TRUE(waitForSends());
        return records().begin()->first;
    }
    static std::vector<GET_FILE> again(const std::string& number) {
        return {GET_FILE{1, "", {""}, {number}}, GET_FILE{}, GET_FILE{}};
    }
};

TEST_F(Relayout, RenderingAgainReplacesThePageLists) {
    quickPages();
    const std::string n = sendOne();
    ASSERT_EQ(records().at(n).pages, Strings{n + "_001"});
    ASSERT_TRUE(builder().makeFAXSendXML(again(n), "F4F10F14", "")) << loggedText();
    ASSERT_TRUE(waitForSends());
    auto recs = records();
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs.at(n).pages, Strings{n + "_001"});
    EXPECT_EQ(recs.at(n).refs, Strings{n + "_001"});
    EXPECT_EQ(sentFaxes().size(), 2u);
}

TEST_F(Relayout, FailureKeepsTheRecordsAndTheirPages) {
    quickPages();
    const std::string n = sendOne();
    const Stored before = records().at(n);

    // The layout cannot be made.
    ASSERT_TRUE(fs::removeFile(home.folder("Xsl") + "FaxLayout_Generic.xsl"));
    EXPECT_FALSE(builder().makeFAXSendXML(again(n), "F4F10F14", ""));
    ASSERT_EQ(records().count(n), 1u);
    EXPECT_EQ(records().at(n).pages, before.pages);
    EXPECT_TRUE(fs::fileExists(home.folder("FaxSendXML") + n + ".xml"));

    // The pages fail halfway: the pages appended are taken off again.
    fs::copyFile(sourceDir() + "demo/home/Xsl/FaxLayout_Generic.xsl", home.folder("Xsl") + "FaxLayout_Generic.xsl");
    builder().setPageRenderer([&](const Strings& numbers, const Strings&, const std::string&, PageRecords& records) {
        records.pagesMade(numbers[0], {"half"});
        return false;
    });
    EXPECT_FALSE(builder().makeFAXSendXML(again(n), "F4F10F14", ""));
    ASSERT_EQ(records().count(n), 1u);
    EXPECT_EQ(records().at(n).pages, before.pages);
    EXPECT_EQ(records().at(n).refs, before.refs);
    EXPECT_FALSE(fs::fileExists(home.folder("ExcelLayout") + n + ".xls"));
    EXPECT_EQ(sentFaxes().size(), 1u);
}

}  // namespace
}  // namespace fg::testing
