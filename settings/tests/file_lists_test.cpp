#include "settings/fax_manage_num.h"

#include "platform/files.h"
#include "platform/testing/temp_home.h"
#include "platform/xml.h"
#include "platform/testing/store_files.h"

#include <gtest/gtest.h>

#include <functional>

namespace fg {
namespace {

using testing::StoreRecord;
using Names = std::vector<std::string>;
using Read = std::function<std::int16_t(FaxManageNum&, const std::string&, const std::string&, Names&)>;

class FileListsTest : public ::testing::Test {
protected:
    testing::TempHome home;
    testing::ErrorLogGuard log;
    std::string path = home.folder("FaxManageNum") + FaxManageNum::kFileName;

    void install(const std::vector<StoreRecord>& records) { fs::writeFileAtomic(path, testing::storeXml(records)); }

    static StoreRecord rec(const std::string& number, const std::string& repType = "注文書") {
        StoreRecord r;
        r.number = number;
        r.repType = repType;
        return r;
    }

    struct ReadMember {
        const char* name;
        Read read;
    };
    static std::vector<ReadMember> readers() {
        return {
            {"getTempImageFileToManage",
             [](FaxManageNum& s, const std::string& n, const std::string& id, Names& out) {
                 return s.getTempImageFileToManage(n, id, out);
             }},
            {"getRefImageFileToManage",
             [](FaxManageNum& s, const std::string& n, const std::string& id, Names& out) {
                 return s.getRefImageFileToManage(n, id, out);
             }},
            {"getXMLFileToManage",
             [](FaxManageNum& s, const std::string& n, const std::string& id, Names& out) {
                 return s.getXMLFileToManage(n, id, out);
             }},
        };
    }
};

TEST_F(FileListsTest, ReadsByNumberGiveTheListOfTheirKind) {
    StoreRecord a = rec("A");
    a.tempImages = {"a1.g3", "a2.g3"};
    a.refImages = {"a1.jpg"};
    a.sendXml = {"A", "baseA"};
    install({a});
    const Names expected[] = {{"a1.g3", "a2.g3"}, {"a1.jpg"}, {"A", "baseA"}};
    int k = 0;
    for (const ReadMember& m : readers()) {
        FaxManageNum store;
        Names out{"old1", "old2", "old3"};
        EXPECT_EQ(m.read(store, "A", "", out), static_cast<std::int16_t>(expected[k].size())) << m.name;
        EXPECT_EQ(out, expected[k]) << m.name;
        ++k;
    }
    EXPECT_TRUE(log.log->entries().empty());
}

TEST_F(FileListsTest, ReadsByNumberOnBlankMissingAndEmpty) {
    install({rec("EMPTY")});
    for (const ReadMember& m : readers()) {
        FaxManageNum store;
        // Blank number: nothing read, array untouched, nothing logged.
        for (const char* blankNumber : {"", "   "}) {
            Names out{"keep"};
            log.log->clear();
            EXPECT_EQ(m.read(store, blankNumber, "", out), 0) << m.name;
            EXPECT_EQ(out, Names{"keep"}) << m.name;
            EXPECT_TRUE(log.log->entries().empty()) << m.name;
        }
        // A record with an empty list: 0, one empty entry, nothing logged.
        Names out{"x", "y"};
        EXPECT_EQ(m.read(store, "EMPTY", "", out), 0) << m.name;
        EXPECT_EQ(out, Names{""}) << m.name;
        EXPECT_TRUE(log.log->entries().empty()) << m.name;
        // A number not on file: 0, one empty entry, 40008.
        out = {"x", "y"};
        EXPECT_EQ(m.read(store, "NOPE", "", out), 0) << m.name;
        EXPECT_EQ(out, Names{""}) << m.name;
        ASSERT_EQ(log.log->entries().size(), 1u) << m.name;
        EXPECT_EQ(log.log->entries()[0].number, 40008);
        EXPECT_EQ(log.log->entries()[0].source, "FaxManageNum");
        log.log->clear();
    }
}

TEST_F(FileListsTest, IdentifierSkipsRecordsOfAnotherReportTypeAndTheFirstRecordWins) {
    StoreRecord order = rec("N", "注文書");
    order.tempImages = {"order.g3"};
    StoreRecord reply = rec("N", "納期回答書受信確認");
    reply.tempImages = {"reply.g3"};
    StoreRecord reply2 = rec("N", "納期回答書受信確認");
    reply2.tempImages = {"reply2.g3"};
    install({order, reply, reply2});
    struct Case {
        std::string id;
        Names names;
    } cases[] = {{"", {"order.g3"}}, {"  ", {"order.g3"}}, {"納期回答書受信確認", {"reply.g3"}}, {"見積書受信確認", {""}}};
    for (const Case& c : cases) {
        FaxManageNum store;
        Names out;
        store.getTempImageFileToManage("N", c.id, out);
        EXPECT_EQ(out, c.names) << c.id;
    }
}

TEST_F(FileListsTest, AppendsKeepOrderDuplicatesAndBlanks) {
    install({rec("R"), rec("R")});
    FaxManageNum store;
    const Names three{"p1.jpg", "", "p3.jpg"};
    ASSERT_TRUE(store.subAddRefImageFileNames("R", three));
    ASSERT_TRUE(store.subAddRefImageFileNames("R", three));
    Names out;
    ASSERT_EQ(store.getRefImageFileToManage("R", "", out), 6);
    EXPECT_EQ(out, (Names{"p1.jpg", "", "p3.jpg", "p1.jpg", "", "p3.jpg"}));

    // The second record of the number is left alone; other lists too.
    xml::Document doc;
    ASSERT_TRUE(doc.load(path));
    auto records = doc.selectNodes("/FAXManageNums/FAXManageNum");
    EXPECT_TRUE(records[1].selectNodes("FAXRefImageFileNames/*").empty());
    EXPECT_TRUE(records[0].selectNodes("FAXTempImageFileNames/*").empty());

    ASSERT_TRUE(store.subAddTempImageFileNames("R", {"a.g3"}));
    ASSERT_TRUE(store.subAddSendXMLFileNames("R", {"R", "baseR"}));
    EXPECT_EQ(store.getTempImageFileToManage("R", "", out), 1);
    EXPECT_EQ(store.getXMLFileToManage("R", "", out), 2);
    EXPECT_EQ(out, (Names{"R", "baseR"}));
    EXPECT_TRUE(log.log->entries().empty());
}

TEST_F(FileListsTest, AppendsThatFindNoRecordOrNoArrayChangeNothing) {
    install({rec("R")});
    const std::string before = fs::readFile(path);
    struct Case {
        const char* name;
        std::function<bool(FaxManageNum&)> call;
        long error;
    } cases[] = {
        {"temp, no record", [](FaxManageNum& s) { return s.subAddTempImageFileNames("X", {"a"}); }, 40009},
        {"ref, no record", [](FaxManageNum& s) { return s.subAddRefImageFileNames("X", {"a"}); }, 40010},
        {"xml, no record", [](FaxManageNum& s) { return s.subAddSendXMLFileNames("X", {"a"}); }, 40011},
        {"key compared exactly", [](FaxManageNum& s) { return s.subAddTempImageFileNames("R ", {"a"}); }, 40009},
        {"array without bounds", [](FaxManageNum& s) { return s.subAddTempImageFileNames("R", {}); }, 9},
        {"array beyond 16 bits", [](FaxManageNum& s) { return s.subAddRefImageFileNames("R", Names(32769, "n")); }, 6},
    };
    for (const Case& c : cases) {
        log.log->clear();
        FaxManageNum store;
        EXPECT_FALSE(c.call(store)) << c.name;
        ASSERT_EQ(log.log->entries().size(), 1u) << c.name;
        EXPECT_EQ(log.log->entries()[0].number, c.error) << c.name;
        EXPECT_EQ(fs::readFile(path), before) << c.name;
    }
}

TEST_F(FileListsTest, ReadByOrderNeedsAllThreeKeysAndADocument) {
    StoreRecord bare = rec("A");
    bare.orderCode = "C01";
    bare.receiveCode = "S01";
    bare.orderNumber = "O1";
    StoreRecord withDocs = bare;
    withDocs.number = "B";
    withDocs.orderNumber = "O2";
    withDocs.sendXml = {"B", "baseB"};
    install({bare, withDocs});
    struct Case {
        std::string code, receiver, order;
        std::int16_t count;
        bool logged;
        Names out;
    } cases[] = {
        {"", "S01", "O2", 0, false, {"keep"}},
        {"C01", " ", "O2", 0, false, {"keep"}},
        {"C01", "S01", "", 0, false, {"keep"}},
        {"C01", "S01", "O1", 0, true, {""}},  // the record has no document
        {"C01", "S01", "O9", 0, true, {""}},
        {"C01", "S01", "O2", 2, false, {"B", "baseB"}},
    };
    for (const Case& c : cases) {
        log.log->clear();
        FaxManageNum store;
        Names out{"keep"};
        EXPECT_EQ(store.getXMLFileToOrder(c.code, c.receiver, c.order, out), c.count) << c.order;
        EXPECT_EQ(out, c.out) << c.order;
        EXPECT_EQ(log.log->has(40008), c.logged) << c.order;
    }
}

TEST_F(FileListsTest, ReadsOfAStoreThatDoesNotLoadReportTheMissingNumber) {
    fs::writeFileAtomic(path, "<FAXManageNums><FAXManageNum>");
    FaxManageNum store;
    Names out{"x"};
    EXPECT_EQ(store.getTempImageFileToManage("A", "", out), 0);
    EXPECT_EQ(out, Names{""});
    EXPECT_TRUE(log.log->has(40008));
}

}  // namespace
}  // namespace fg
