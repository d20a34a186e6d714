// The store under several processes at once: nothing may be lost.
#include "settings/fax_manage_num.h"
#include "settings/maker_info.h"

#include "helper_process.h"
#include "platform/files.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_home.h"
#include "platform/text.h"
#include "platform/xml.h"
#include "platform/testing/store_files.h"

#include <gtest/gtest.h>

#include <set>

namespace fg {
namespace {

using testing::waitForEnd;
using testing::startHelper;
using Names = std::vector<std::string>;

class StoreConcurrencyTest : public ::testing::Test {
protected:
    testing::TempHome home;
    testing::ErrorLogGuard log;
    std::string path = home.folder("FaxManageNum") + FaxManageNum::kFileName;

    static void runAll(std::vector<Process>& children) {
        for (std::size_t i = 0; i < children.size(); ++i) EXPECT_EQ(waitForEnd(children[i]), 0) << "helper " << i;
    }
};

TEST_F(StoreConcurrencyTest, TwentyProcessesAddingTwentyRecordsEachLeaveFourHundred) {
    std::vector<Process> children;
    for (int p = 0; p < 20; ++p) children.push_back(startHelper({"add", "P" + std::to_string(p), "20"}));
    runAll(children);

    xml::Document doc;
    ASSERT_TRUE(doc.load(path)) << doc.parseError().reason;
    auto numbers = doc.selectNodes("/FAXManageNums/FAXManageNum/RepManageNo");
    ASSERT_EQ(numbers.size(), 400u);
    std::set<std::string> seen;
    for (const auto& n : numbers) seen.insert(n.text());
    EXPECT_EQ(seen.size(), 400u);
    for (int p = 0; p < 20; ++p)
        for (int i = 0; i < 20; ++i)
            EXPECT_TRUE(seen.count("P" + std::to_string(p) + "-" + std::to_string(i))) << p << "-" << i;

    FaxManageNum store;
    ASSERT_TRUE(store.getManageNum("P19-19"));
    EXPECT_EQ(store.mstrSendCompanyName(), "㈱並行試験");
}

TEST_F(StoreConcurrencyTest, RecordsAddedManyAtOnceAndOneByOneAreAllKept) {
    std::vector<Process> children;
    for (int p = 0; p < 10; ++p) {
        children.push_back(startHelper({"add-many", "M" + std::to_string(p), "30", "10"}));
        children.push_back(startHelper({"add", "S" + std::to_string(p), "10"}));
    }
    runAll(children);

    xml::Document doc;
    ASSERT_TRUE(doc.load(path)) << doc.parseError().reason;
    std::set<std::string> seen;
    for (const auto& n : doc.selectNodes("/FAXManageNums/FAXManageNum/RepManageNo")) seen.insert(n.text());
    EXPECT_EQ(seen.size(), 400u);
    for (int p = 0; p < 10; ++p) {
        for (int i = 0; i < 30; ++i) EXPECT_TRUE(seen.count("M" + std::to_string(p) + "-" + std::to_string(i)));
        for (int i = 0; i < 10; ++i) EXPECT_TRUE(seen.count("S" + std::to_string(p) + "-" + std::to_string(i)));
    }
    Names pages;
    EXPECT_EQ(FaxManageNum().getTempImageFileToManage("M9-29", "", pages), 1);
    EXPECT_EQ(pages, Names{"M9-29.g3"});
}

TEST_F(StoreConcurrencyTest, TenProcessesAppendingThreePagesToOneRecordLeaveThirty) {
    FaxManageNum store;
    store.setMstrRepManageNo("SHARED");
    ASSERT_TRUE(store.setManageNum("0"));
    store.setMstrRepManageNo("OTHER");
    ASSERT_TRUE(store.setManageNum("0"));

    std::vector<Process> children;
    for (int p = 0; p < 10; ++p)
        children.push_back(startHelper({"append", "SHARED", "T" + std::to_string(p), "3"}));
    runAll(children);

    Names pages;
    ASSERT_EQ(store.getTempImageFileToManage("SHARED", "", pages), 30);
    // Each process's own pages keep their order.
    for (int p = 0; p < 10; ++p) {
        std::string prefix = "T" + std::to_string(p) + "-";
        std::vector<std::string> mine;
        for (const auto& name : pages)
            if (name.rfind(prefix, 0) == 0) mine.push_back(name);
        EXPECT_EQ(mine, (Names{prefix + "0", prefix + "1", prefix + "2"}));
    }
    EXPECT_EQ(store.getTempImageFileToManage("OTHER", "", pages), 0);
    EXPECT_TRUE(log.log->entries().empty());
}

// The bytes of one record inside a store file: [begin, end).
std::pair<std::size_t, std::size_t> recordSpan(const std::string& bytes, const std::string& number) {
    std::size_t key = bytes.find("<RepManageNo>" + number + "</RepManageNo>");
    if (key == std::string::npos) return {std::string::npos, std::string::npos};
    std::size_t begin = bytes.rfind("<FAXManageNum>", key);
    std::size_t end = bytes.find("</FAXManageNum>", key) + std::string("</FAXManageNum>").size();
    return {begin, end};
}

TEST_F(StoreConcurrencyTest, ShiftJisStoreSurvivesAHundredRewritesOutsideTheChangedRecord) {
    std::vector<testing::StoreRecord> records;
    for (int i = 0; i < 30; ++i) {
        testing::StoreRecord r;
        r.number = "M" + std::to_string(i);
        r.company = i % 3 == 0 ? "㈱鈴木製作所" : "山田精機株式会社";
        r.post = "第①営業部";
        r.tempImages = {r.number + "-1.g3"};
        records.push_back(r);
    }
    const std::string original = testing::storeXml(records);
    ASSERT_NE(original.find(text::toCp932("㈱")), std::string::npos);
    fs::writeFileAtomic(path, original);
    auto [begin0, end0] = recordSpan(original, "M15");
    const std::string head = original.substr(0, begin0);
    const std::string tail = original.substr(end0);

    for (int i = 0; i < 100; ++i) {
        FaxManageNum store;
        bool ok = i % 2 == 0 ? store.setDecisionCondition("M15", i % 4 == 0 ? "2" : "4")
                             : store.subAddTempImageFileNames("M15", {"㈱-" + std::to_string(i) + ".g3"});
        ASSERT_TRUE(ok) << i;
        std::string now = fs::readFile(path);
        auto [begin, end] = recordSpan(now, "M15");
        ASSERT_NE(begin, std::string::npos) << i;
        ASSERT_EQ(now.substr(0, begin), head) << "rewrite " << i;
        ASSERT_EQ(now.substr(end), tail) << "rewrite " << i;
    }
    FaxManageNum store;
    Names pages;
    EXPECT_EQ(store.getTempImageFileToManage("M15", "", pages), 51);
    EXPECT_EQ(pages.back(), "㈱-99.g3");
    ASSERT_TRUE(store.getManageNum("M0"));
    EXPECT_EQ(store.mstrSendCompanyName(), "㈱鈴木製作所");
    EXPECT_EQ(store.mstrSendPostName(), "第①営業部");
    EXPECT_TRUE(log.log->entries().empty());
}

TEST(MakerConcurrencyTest, LookupsDuringReplacementsSeeOneWholeSetOrTheOther) {
    testing::TempHome home;
    testing::ErrorLogGuard log;
    std::string temp = home.folder("TempEDI");
    auto supplier = [](const std::string& code, const std::string& fax) {
        return "<?xml version=\"1.0\"?><Maker-information><Supplier-code>" + code +
               "</Supplier-code><Fax-number>" + fax + "</Fax-number></Maker-information>";
    };
    fs::writeFileAtomic(temp + "a1.XML", supplier("K0001", "03-0000-0001"));
    fs::writeFileAtomic(temp + "b1.XML", supplier("K0001", "03-0000-0001"));
    for (int i = 2; i <= 3; ++i) fs::writeFileAtomic(temp + "a" + std::to_string(i) + ".XML", supplier("A" + std::to_string(i), "1"));
    for (int i = 2; i <= 5; ++i) fs::writeFileAtomic(temp + "b" + std::to_string(i) + ".XML", supplier("B" + std::to_string(i), "2"));
    MakerInfo makers;
    ASSERT_TRUE(makers.saveMakerInfo({"a1.XML", "a2.XML", "a3.XML"}));

    const std::string stop = home / "stop";
    std::vector<Process> readers;
    for (int r = 0; r < 4; ++r) readers.push_back(startHelper({"makers-read", stop}));
    Process swapper = startHelper({"makers-swap", "25"});
    EXPECT_EQ(waitForEnd(swapper), 0);
    fs::writeFileAtomic(stop, "");
    for (auto& reader : readers) EXPECT_EQ(waitForEnd(reader), 0);

    auto codes = makers.getAllMakerInfo();
    ASSERT_TRUE(codes);
    EXPECT_EQ(codes->size(), 5u);
    EXPECT_EQ(fs::list(home.folder("MakerInfo"), "*"), (Names{"b1.XML", "b2.XML", "b3.XML", "b4.XML", "b5.XML"}));
}

}  // namespace
}  // namespace fg
