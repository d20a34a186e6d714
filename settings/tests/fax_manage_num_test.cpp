#include "settings/fax_manage_num.h"

#include "platform/files.h"
#include "platform/testing/temp_home.h"
#include "platform/text.h"
#include "platform/xml.h"
#include "platform/xml_scan.h"
#include "platform/testing/store_files.h"

#include <gtest/gtest.h>

#include <functional>

namespace fg {
namespace {

using testing::StoreRecord;

class FaxManageNumTest : public ::testing::Test {
protected:
    testing::TempHome home;
    testing::ErrorLogGuard log;
    std::string path = home.folder("FaxManageNum") + FaxManageNum::kFileName;

    void install(const std::vector<StoreRecord>& records, bool indent = false) {
        fs::writeFileAtomic(path, testing::storeXml(records, indent));
    }
    // With `keepBlanks` a text of blanks reads as it was written; a normal
    // load drops it, as it drops the white space between elements.
    xml::NodeList records(bool keepBlanks = false) {
        xml::Document doc;
        doc.setPreserveWhiteSpace(keepBlanks);
        EXPECT_TRUE(doc.load(path)) << doc.parseError().reason;
        return doc.selectNodes("/FAXManageNums/FAXManageNum");
    }
    static std::string field(const xml::Node& record, const char* name) {
        return record.selectSingleNode(name).text();
    }
    static StoreRecord rec(const std::string& number, const std::string& orderNumber = "",
                           const std::string& repType = "注文書") {
        StoreRecord r;
        r.number = number;
        r.orderNumber = orderNumber;
        r.repType = repType;
        return r;
    }
};

TEST_F(FaxManageNumTest, NewRecordHasTheNineteenFieldsInOrderUnderTheInstalledDeclaration) {
    FaxManageNum store;
    store.setMstrSendDate("20240401093000");
    store.setMstrRepManageNo("202404010930000001");
    store.setMstrRepType("見積依頼書");
    store.setMstrFAXTempImageFileName("p1.g3");
    store.setMstrFAXRefImageFileName("p1.jpg");
    store.setMstrFAXSendXMLFileName("202404010930000001");
    store.setMstrReceiveXMLFileName("recv.xml");
    store.setMstrOrderCode("C01");
    store.setMstrOrderName("発注株式会社");
    store.setMstrReceiveCode("S0002");
    store.setMstrSendCompanyName("㈱鈴木製作所");
    store.setMstrSendPostName("購買課");
    store.setMstrSendChargeName("鈴木 花子");
    store.setMstrSendFAXNum("0623456790");
    store.setMstrDecisionCondition("3");
    store.setMstrEnploymentMode("0");
    store.setMstrPageNum("2");
    store.setMstrReportConfirmNo("R1");
    store.setMstrOrderNumber("ORD-1");
    ASSERT_TRUE(store.setManageNum("0"));

    std::string bytes = fs::readFile(path);
    EXPECT_EQ(bytes.rfind("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>", 0), 0u);
    // ㈱ is written as its code page 932 bytes, not as a character reference.
    EXPECT_NE(bytes.find(text::toCp932("㈱鈴木製作所")), std::string::npos);

    auto all = records();
    ASSERT_EQ(all.size(), 1u);
    xml::NodeList children = all[0].childNodes();
    ASSERT_EQ(children.size(), 19u);
    for (int i = 0; i < FaxManageNum::kFieldCount; ++i) EXPECT_EQ(children[i].nodeName(), FaxManageNum::kFieldNames[i]);
    EXPECT_EQ(children[1].text(), "202404010930000001");
    EXPECT_EQ(children[10].text(), "㈱鈴木製作所");
    EXPECT_EQ(children[14].text(), "3");
    EXPECT_EQ(all[0].selectSingleNode("FAXTempImageFileNames/FAXTempImageFileName").text(), "p1.g3");
    EXPECT_EQ(all[0].selectSingleNode("FAXRefImageFileNames/FAXRefImageFileName").text(), "p1.jpg");
    EXPECT_EQ(all[0].selectSingleNode("FAXSendXMLFileNames/FAXSendXMLFileName").text(), "202404010930000001");
    EXPECT_TRUE(log.log->entries().empty());

    FaxManageNum reader;
    ASSERT_TRUE(reader.getManageNum("202404010930000001"));
    EXPECT_EQ(reader.mstrSendCompanyName(), "㈱鈴木製作所");
    EXPECT_EQ(reader.mstrRepType(), "見積依頼書");
    EXPECT_EQ(reader.mstrOrderNumber(), "ORD-1");
    EXPECT_EQ(reader.mstrFAXTempImageFileName(), "p1.g3");
}

TEST_F(FaxManageNumTest, DecisionConditionAndListEntriesAsStored) {
    struct Case {
        std::string decision, storedDecision, pageName, storedPage;
        std::size_t pageEntries;
    } cases[] = {
        {"", "9", "", "", 0},
        // Blanks are a name all the same; stored, as every load reads them, empty.
        {"   ", "9", "  ", "", 1},
        {" 2 ", " 2 ", "p.g3", "p.g3", 1},
        {"4", "4", "p.g3", "p.g3", 1},
    };
    int n = 0;
    for (const Case& c : cases) {
        FaxManageNum store;
        store.setMstrRepManageNo("N" + std::to_string(n++));
        store.setMstrDecisionCondition(c.decision);
        store.setMstrFAXTempImageFileName(c.pageName);
        ASSERT_TRUE(store.setManageNum("0"));
        xml::Node last = records(/*keepBlanks=*/true).back();
        EXPECT_EQ(field(last, "DecisionCondition"), c.storedDecision) << "[" << c.decision << "]";
        auto pages = last.selectNodes("FAXTempImageFileNames/FAXTempImageFileName");
        ASSERT_EQ(pages.size(), c.pageEntries) << "[" << c.pageName << "]";
        if (!pages.empty()) {
            EXPECT_EQ(pages[0].text(), c.storedPage);
        }
        EXPECT_TRUE(last.selectNodes("FAXRefImageFileNames/*").empty());
    }
    // Nothing is checked: a record without a number is stored like any other.
    FaxManageNum unnamed;
    EXPECT_TRUE(unnamed.setManageNum("0"));
    EXPECT_EQ(records().size(), 5u);
    EXPECT_EQ(field(records().back(), "RepManageNo"), "");
}

TEST_F(FaxManageNumTest, UpdateTypeOneReplacesEveryRecordOfTheNumberAndOthersAppend) {
    install({rec("A"), rec("B"), rec("A"), rec("C")});
    FaxManageNum store;
    store.setMstrRepManageNo("A");
    store.setMstrPageNum("7");
    ASSERT_TRUE(store.setManageNum("1"));
    auto all = records();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(field(all[0], "RepManageNo"), "B");
    EXPECT_EQ(field(all[1], "RepManageNo"), "C");
    EXPECT_EQ(field(all[2], "RepManageNo"), "A");
    EXPECT_EQ(field(all[2], "PageNum"), "7");

    for (const char* type : {"0", "", "2"}) ASSERT_TRUE(store.setManageNum(type));
    EXPECT_EQ(records().size(), 6u);
}

TEST_F(FaxManageNumTest, GetManageNumFindsTheFirstRecordByNumberOrderOrBoth) {
    StoreRecord first = rec("M1", "O1");
    first.company = "最初";
    StoreRecord second = rec("M1", "O2");
    second.company = "二番目";
    StoreRecord third = rec("M3", "O2");
    third.company = "三番目";
    install({first, second, third});
    struct Case {
        std::string number, order;
        bool found;
        std::string company;
    } cases[] = {
        {"M1", "", true, "最初"},    {"", "O2", true, "二番目"},   {"M1", "O2", true, "二番目"},
        {"M3", "O1", false, ""},     {"m1", "", false, ""},        {" M1", "", false, ""},
        {"   ", "O2", true, "二番目"}, {"M3", "  ", true, "三番目"},
    };
    for (const Case& c : cases) {
        FaxManageNum store;
        store.setMstrSendCompanyName("before");
        log.log->clear();
        EXPECT_EQ(store.getManageNum(c.number, c.order), c.found) << c.number << "/" << c.order;
        EXPECT_EQ(store.mstrSendCompanyName(), c.found ? c.company : "before");
        EXPECT_EQ(log.log->has(40012), !c.found);
    }
}

TEST_F(FaxManageNumTest, GetManageNumWithoutKeysOrMatchLeavesPropertiesAndLogsOnlyWhenAsked) {
    install({rec("M1")});
    FaxManageNum store;
    ASSERT_TRUE(store.getManageNum("M1"));
    EXPECT_EQ(store.mstrRepManageNo(), "M1");

    EXPECT_FALSE(store.getManageNum("", ""));
    EXPECT_FALSE(store.getManageNum("  ", "   ", true));
    EXPECT_TRUE(log.log->entries().empty());

    EXPECT_FALSE(store.getManageNum("X", "", false));
    EXPECT_TRUE(log.log->entries().empty());
    EXPECT_FALSE(store.getManageNum("X"));
    ASSERT_EQ(log.log->entries().size(), 1u);
    EXPECT_EQ(log.log->entries()[0].number, 40012);
    EXPECT_EQ(log.log->entries()[0].source, "FaxManageNum");
    EXPECT_EQ(store.mstrRepManageNo(), "M1");

    // A store that does not load holds no records.
    (void)fs::removeFile(path);
    log.log->clear();
    EXPECT_FALSE(store.getManageNum("M1"));
    EXPECT_TRUE(log.log->has(40012));
    EXPECT_EQ(store.mstrRepManageNo(), "M1");
}

TEST_F(FaxManageNumTest, PositionsFollowTheDomNotTheIndentation) {
    StoreRecord a = rec("M1", "O1");
    a.tempImages = {"p1.g3", "p2.g3"};
    install({a, rec("M2", "O2")}, /*indent=*/true);
    FaxManageNum store;
    ASSERT_TRUE(store.getManageNum("M2"));
    EXPECT_EQ(store.mstrOrderNumber(), "O2");
    ASSERT_TRUE(store.getManageNum("", "O1"));
    EXPECT_EQ(store.mstrRepManageNo(), "M1");
    // A list property runs the entries' texts together.
    EXPECT_EQ(store.mstrFAXTempImageFileName(), "p1.g3p2.g3");
    ASSERT_TRUE(store.setDecisionCondition("M2", "2"));
    EXPECT_EQ(field(records()[1], "DecisionCondition"), "2");
    EXPECT_TRUE(log.log->entries().empty());
}

TEST_F(FaxManageNumTest, ShortRecordFailsTheMembersThatReachItByPosition) {
    // A record whose last field a person deleted.
    std::string broken = testing::recordXml(rec("M1", "O1"));
    broken.replace(broken.find("<OrderNumber>O1</OrderNumber>"), std::string("<OrderNumber>O1</OrderNumber>").size(), "");
    fs::writeFileAtomic(path, text::toCp932("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><FAXManageNums>" + broken +
                                            "</FAXManageNums>"));
    std::string before = fs::readFile(path);
    FaxManageNum store;
    store.setMstrRepType("before");
    EXPECT_FALSE(store.getManageNum("M1"));
    EXPECT_EQ(store.mstrRepType(), "before");
    ASSERT_EQ(log.log->entries().size(), 1u);
    EXPECT_EQ(log.log->entries()[0].number, 91);
    // The key is still reachable, so the DecisionCondition write works.
    EXPECT_TRUE(store.setDecisionCondition("M1", "2"));
    fs::writeFileAtomic(path, before);
    EXPECT_FALSE(store.getManageNum("", "O1"));
    EXPECT_EQ(fs::readFile(path), before);

    // A record short of its number stops a search by number that meets it,
    // in a store as the saves write it too.
    const std::string first = FaxManageNum::kFieldNames[0];
    fs::writeFileAtomic(path, "<FAXManageNums><FAXManageNum><" + first + ">x</" + first + "></FAXManageNum>" +
                                  testing::recordXml(rec("M2", "O2")) + "</FAXManageNums>");
    xml::Document doc;
    ASSERT_TRUE(doc.load(path));
    doc.save(path);
    before = fs::readFile(path);
    ASSERT_TRUE(xml::ScannedFile(fs::readFile(path)).canonical());
    EXPECT_FALSE(store.getManageNum("M2"));
    EXPECT_FALSE(store.delManageNum("M2"));
    EXPECT_FALSE(store.setDecisionCondition("M2", "2"));
    EXPECT_EQ(fs::readFile(path), before);
}

TEST_F(FaxManageNumTest, DecisionAndDeleteActOnTheFirstRecordOfANumber) {
    install({rec("A"), rec("B"), rec("A")});
    FaxManageNum store;
    ASSERT_TRUE(store.setDecisionCondition("A", "  "));
    auto all = records(/*keepBlanks=*/true);
    EXPECT_EQ(field(all[0], "DecisionCondition"), "");  // stored blank, not "9", as every load reads it
    EXPECT_EQ(field(all[2], "DecisionCondition"), "9");

    ASSERT_TRUE(store.delManageNum("A"));
    all = records();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(field(all[0], "RepManageNo"), "B");
    EXPECT_EQ(field(all[1], "DecisionCondition"), "9");  // the second A stays

    // A number not on file is no error, and nothing changes.
    std::string before = fs::readFile(path);
    EXPECT_TRUE(store.setDecisionCondition("Z", "2"));
    EXPECT_TRUE(store.delManageNum("Z"));
    EXPECT_TRUE(store.delManageNum("a"));
    EXPECT_EQ(fs::readFile(path), before);
    EXPECT_TRUE(log.log->entries().empty());
}

// The writers that copy the store's bytes with their change spliced in
// write what a load, the change and a save write: every step is run on the
// store as a save writes it and on the same store with a line end more after
// its root, which a load reads alike but the writers take through a load.
TEST_F(FaxManageNumTest, SplicingWritersWriteByteForByteWhatALoadAndASaveWrite) {
    StoreRecord odd = rec("B", "", "見積依頼書");
    odd.charge = "a&amp;b &lt;c&gt;";  // written as it stands
    odd.tempImages = {"B_001", "B_002"};
    for (const std::string& start : {fs::readFile(testing::sourceDir() + "demo/home/data/FAXManageNumber.xml"),
                                     fs::readFile(testing::sourceDir() + "demo/telephone/home/data/FAXManageNumber.xml"),
                                     testing::storeXml({rec("A"), odd, rec("A")})}) {
        xml::Document doc;
        ASSERT_TRUE(doc.loadBytes(start));
        const std::string saved = doc.saveToString();
        EXPECT_TRUE(xml::ScannedFile(saved).canonical());
        auto run = [&](bool throughALoad) {
            std::vector<std::string> after;
            fs::writeFileAtomic(path, saved);
            FaxManageNum store;
            store.setMstrRepManageNo("A");
            // Characters code page 932 holds one way or not at all read back as written.
            const std::string charge = "新 &<>〜−‖—¢¬¥‾😀";
            store.setMstrSendChargeName(charge);
            const std::function<bool()> steps[] = {
                [&] { return store.setManageNum("0"); },
                [&] { return records().back().selectSingleNode("SendChargeName").text() == charge; },
                // Blank values are values like any other: read as empty on
                // either path, and written as the saves write them.
                [&] {
                    store.setMstrSendPostName(" \t");
                    store.setMstrFAXTempImageFileName(" ");
                    const bool done = store.setManageNum("0");
                    store.setMstrSendPostName("");
                    store.setMstrFAXTempImageFileName("");
                    return done;
                },
                [&] { return store.setDecisionCondition("A", " "); },
                [&] { return store.getManageNum("A") && store.mstrDecisionCondition().empty(); },
                [&] { return store.setDecisionCondition("A", "2"); },
                // The numbers of one stamp are those of all that begin with it.
                [&] {
                    std::vector<std::string> all, some;
                    const bool read = store.getManageNumbers(all) && store.getManageNumbers(some, "2024011");
                    std::erase_if(all, [](const std::string& n) { return n.rfind("2024011", 0) != 0; });
                    return read && !some.empty() && some == all;
                },
                [&] { return store.setDecisionCondition("202401121000000001", "4"); },
                [&] { return store.getManageNum("B") && store.mstrSendChargeName() == "a&b <c>"; },
                [&] { return store.setManageNum("1"); },
                [&] { return store.delManageNum("202401101000000001"); },
                [&] { return store.delManageNum("B"); },
                // Every record but one removed, then the last: the root is
                // left empty, and then a record goes into it again.
                [&] {
                    std::vector<std::string> numbers;
                    bool done = store.getManageNumbers(numbers) && numbers.size() > 1;
                    numbers.pop_back();
                    for (const std::string& n : numbers) done = store.delManageNum(n) && done;
                    return done;
                },
                [&] {
                    std::vector<std::string> numbers;
                    return store.getManageNumbers(numbers) && numbers.size() == 1 && store.delManageNum(numbers[0]);
                },
                [&] { return store.setManageNum("0"); },
            };
            for (const auto& step : steps) {
                // A reader leaves the file as it was, the line end more too.
                const std::string before = fs::readFile(path);
                if (throughALoad) fs::writeFileAtomic(path, before + "\r\n");
                const bool result = step();
                std::string now = fs::readFile(path);
                if (now == before + "\r\n") fs::writeFileAtomic(path, now = before);
                EXPECT_TRUE(xml::ScannedFile(now).canonical()) << after.size();
                after.push_back(std::to_string(result) + now);
            }
            return after;
        };
        const std::vector<std::string> spliced = run(false);
        EXPECT_EQ(spliced, run(true));
        EXPECT_EQ(spliced[1][0], '1') << "the new record's charge read back otherwise";
        EXPECT_EQ(spliced[4][0], '1') << "a blank condition read back otherwise";
    }
}

// Each writer splices into a store as a save writes it and takes one with a
// line end more through a load; by either path, the same outcome.
TEST_F(FaxManageNumTest, AValueTheStoreCannotHoldFailsItsWriteAndLeavesTheStore) {
    const std::function<bool(FaxManageNum&, const std::string&)> writers[] = {
        [](FaxManageNum& s, const std::string& v) { s.setMstrSendChargeName(v); return s.setManageNum("0"); },
        [](FaxManageNum& s, const std::string& v) { s.setMstrRepManageNo("A"); s.setMstrOrderName(v); return s.setManageNum("1"); },
        [](FaxManageNum& s, const std::string& v) { return s.setDecisionCondition("A", v); },
        [](FaxManageNum& s, const std::string& v) { return s.subAddRefImageFileNames("A", {v}); }};
    for (const std::string& start : {testing::storeXml({rec("A")}), testing::storeXml({rec("A")}) + "\r\n"})
        for (const char* bad : {"\x01", "a\x1F", "\xEF\xBF\xBE", "\xED\xA0\x80"})
            for (const auto& write : writers) {
                fs::writeFileAtomic(path, start);
                FaxManageNum store;
                EXPECT_FALSE(write(store, bad));
                EXPECT_EQ(fs::readFile(path), start);
            }
}

TEST_F(FaxManageNumTest, WritersNeverSaveOverAFileThatDoesNotLoad) {
    const std::string good = testing::storeXml({rec("A")});
    struct Damage {
        const char* what;
        std::string bytes;  // empty: the file is missing
    } damages[] = {
        {"malformed", good.substr(0, good.size() / 2)},
        {"not XML", "garbage"},
        {"missing", ""},
        {"no root of the store", text::toCp932("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><Other/>")},
    };
    struct Writer {
        const char* name;
        std::function<bool(FaxManageNum&)> call;
        long logged;  // 0: the member logs nothing
    } writers[] = {
        {"setManageNum", [](FaxManageNum& s) { s.setMstrRepManageNo("A"); return s.setManageNum("0"); }, 0},
        {"setManageNum 1", [](FaxManageNum& s) { s.setMstrRepManageNo("A"); return s.setManageNum("1"); }, 0},
        {"setDecisionCondition", [](FaxManageNum& s) { return s.setDecisionCondition("A", "2"); }, 0},
        {"delManageNum", [](FaxManageNum& s) { return s.delManageNum("A"); }, 0},
        {"subAddTempImageFileNames", [](FaxManageNum& s) { return s.subAddTempImageFileNames("A", {"x"}); }, 40009},
        {"subAddRefImageFileNames", [](FaxManageNum& s) { return s.subAddRefImageFileNames("A", {"x"}); }, 40010},
        {"subAddSendXMLFileNames", [](FaxManageNum& s) { return s.subAddSendXMLFileNames("A", {"x"}); }, 40011},
    };
    for (const Damage& d : damages) {
        for (const Writer& w : writers) {
            (void)fs::removeFile(path);
            if (!d.bytes.empty()) fs::writeFileAtomic(path, d.bytes);
            log.log->clear();
            FaxManageNum store;
            bool result = w.call(store);
            // A root that is not the store's still loads: the deleting and
            // deciding writers then find no record and save it unchanged.
            bool loadsWithoutStore = std::string(d.what) == "no root of the store";
            bool mayPass = loadsWithoutStore && (std::string(w.name) == "setDecisionCondition" ||
                                                 std::string(w.name) == "delManageNum");
            EXPECT_EQ(result, mayPass) << d.what << " / " << w.name;
            if (d.bytes.empty()) {
                EXPECT_FALSE(fs::fileExists(path)) << d.what << " / " << w.name;
            } else {
                EXPECT_EQ(fs::readFile(path), d.bytes) << d.what << " / " << w.name;
            }
            auto entries = log.log->entries();
            if (w.logged == 0) {
                EXPECT_TRUE(entries.empty()) << d.what << " / " << w.name;
            } else {
                ASSERT_EQ(entries.size(), 1u) << d.what << " / " << w.name;
                EXPECT_EQ(entries[0].number, w.logged);
                EXPECT_EQ(entries[0].source, "FaxManageNum");
            }
        }
    }
}

}  // namespace
}  // namespace fg
