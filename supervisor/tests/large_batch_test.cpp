// A pass with more documents than the server may open files: one order
// document whose orders are each a fax of their own, through the whole
// server, under an open-file limit below their count. A quarter of a pass
// of 1,500 orders under the usual limit of 1,024, so that it runs in the
// suite's time.
#include "supervisor_fixture.h"
#include "platform/testing/run_program.h"
#include "platform/testing/send_lines.h"

#include "platform/xml.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <set>

namespace fg {
namespace {

using namespace std::chrono_literals;
using testing::runProgram;

constexpr int kOrders = 400;
constexpr const char* kOpenFiles = "--nofile=256";

// The demo's first order, once per order number.
std::string ordersDocument(const std::string& demoOrder) {
    const std::size_t begin = demoOrder.find("<JPTRM"), end = demoOrder.find("</JPTRM>") + 8;
    const std::string line = demoOrder.substr(begin, end - begin);
    std::string body;
    for (int i = 1; i <= kOrders; ++i) {
        char seq[16], order[16];
        std::snprintf(seq, sizeof seq, "%06d", i);
        std::snprintf(order, sizeof order, "PO-%06d", i);
        std::string copy = line;
        copy.replace(copy.find("000001"), 6, seq);
        copy.replace(copy.find("PO-240011"), 9, order);
        body += copy;
    }
    return demoOrder.substr(0, begin) + body + demoOrder.substr(demoOrder.rfind("</JPTRM>") + 8);
}

TEST(LargeBatch, MoreOrdersThanOpenFilesAreFaxedOnceEach) {
    testing::SupervisorHome h;
    testing::TempDir answers, record;
    const std::string demo = testing::sourceDir() + "demo/edi_server/";
    std::filesystem::copy(demo, answers.path(), std::filesystem::copy_options::recursive);
    fs::removeTree(answers / "GetEdiData");
    fs::removeTree(answers / "GetFaxReminder");
    // Offered until its receipt is confirmed.
    const std::string archive = "GetEdiData/2/D0500_20240111090000.tgz/";
    const std::string to = answers / "GetEdiData/unconfirmed/0500/D0500_20240111090000.tgz/";
    fs::makeFolders(to);
    fs::copyFile(demo + archive + "index.csv", to + "index.csv");
    fs::writeFileAtomic(to + "DORE0500_0001.xml", ordersDocument(fs::readFile(demo + archive + "DORE0500_0001.xml")));
    h.ediServer(answers.path(), record.path());
    for (const auto& name : fs::list(h.home.folder("TempEDI"))) (void)fs::removeFile(h.home.folder("TempEDI") + name);
    for (int port = 1; port <= 6; ++port) testing::writeLine(h.home.path(), port, testing::kLineAtOnce);

    // The server and every program it starts inherit the limit.
    const std::string nimbrel = testing::programDir() + "nimbrel";
    ASSERT_EQ(runProgram({"prlimit", kOpenFiles, nimbrel, "start"}).output, "起動中\n");
    xml::Document sendLog;
    const auto sent = [&] {
        return sendLog.load(h.home.folder("FaxSendLog") + "FaxSendLog.xml")
                   ? sendLog.selectNodes("/FaxSendLogs/FaxSendLog").size()
                   : 0;
    };
    // Until every order is sent, or a pass has failed (it would fail again
    // on every pass).
    const auto passFailed = [&] { return h.programsLog().find("makeFAXSendXML") != std::string::npos; };
    EXPECT_TRUE(testing::eventually([&] { return sent() >= static_cast<std::size_t>(kOrders) || passFailed(); }, 4min));
    EXPECT_FALSE(passFailed()) << h.programsLog();
    EXPECT_TRUE(testing::eventually([&] { return !fs::list(record.path(), "*-PutConfirm.zip").empty(); }));
    EXPECT_EQ(runProgram({nimbrel, "stop"}, 300000ms).output, "停止\n");
    EXPECT_EQ(sent(), static_cast<std::size_t>(kOrders));

    // Accounted from the files: each order's fax once, OK, and every fax
    // document with its record.
    std::map<std::string, int> faxedOrders;
    std::set<std::string> numbers;
    for (const auto& entry : sendLog.selectNodes("/FaxSendLogs/FaxSendLog")) {
        EXPECT_EQ(entry.selectSingleNode("Result").text(), "OK") << entry.xml();
        const std::string number = entry.selectSingleNode("RepManageNo").text();
        EXPECT_TRUE(numbers.insert(number).second) << number << " faxed twice";
        const std::string fax = fs::readFile(h.home.folder("FaxSendXML") + number + ".xml");
        const std::size_t at = fax.find("PO-");
        ASSERT_NE(at, std::string::npos) << number;
        ++faxedOrders[fax.substr(at, 9)];
    }
    EXPECT_EQ(faxedOrders.size(), static_cast<std::size_t>(kOrders));
    for (const auto& [order, times] : faxedOrders) EXPECT_EQ(times, 1) << order;
    xml::Document store;
    ASSERT_TRUE(store.load(h.home.folder("FaxManageNum") + "FAXManageNumber.xml"));
    std::set<std::string> recorded;
    for (const auto& r : store.selectNodes("//FAXManageNum/RepManageNo")) recorded.insert(r.text());
    for (std::string name : fs::list(h.home.folder("FaxSendXML"), "*.xml")) {
        name.resize(name.size() - 4);
        if (name.rfind("base", 0) == 0) name.erase(0, 4);
        EXPECT_TRUE(recorded.count(name)) << name << " has no record";
    }
}

}  // namespace
}  // namespace fg
