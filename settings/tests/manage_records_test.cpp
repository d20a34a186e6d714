// Many records at once: one read of the store answers as getManageNum does,
// and changes made in one save leave the store exactly as the members called
// one after another leave it.
#include "settings/manage_records.h"

#include "platform/files.h"
#include "platform/testing/store_files.h"
#include "platform/testing/temp_home.h"
#include "platform/xml.h"
#include "platform/xml_scan.h"

#include <gtest/gtest.h>

#include <functional>

namespace fg {
namespace {

using testing::StoreRecord;
using Names = std::vector<std::string>;

class ManageRecordsTest : public ::testing::Test {
protected:
    testing::TempHome home;
    testing::ErrorLogGuard log;
    std::string path = home.folder("FaxManageNum") + FaxManageNum::kFileName;

    static StoreRecord stored(const std::string& number, const Names& pages = {}) {
        StoreRecord r;
        r.number = number;
        r.tempImages = pages;
        r.refImages = pages;
        r.sendXml = {number};
        return r;
    }
    static ManageRecord made(const std::string& number, const std::string& decision, const Names& pages) {
        ManageRecord r;
        r.fields[0] = "20240501120000";
        r.fields[1] = number;
        r.fields[2] = "見積依頼書";
        r.fields[10] = "受注工業株式会社";
        r.fields[14] = decision;
        r.fields[15] = "0";
        r.tempImages = pages;
        r.refImages = pages;
        r.sendXml = {number};
        return r;
    }
    // The members that make the same record alone.
    static void setAlone(const ManageRecord& r) {
        FaxManageNum store;
        store.setMstrSendDate(r.fields[0]);
        store.setMstrRepManageNo(r.fields[1]);
        store.setMstrRepType(r.fields[2]);
        store.setMstrFAXSendXMLFileName(r.sendXml.empty() ? "" : r.sendXml[0]);
        store.setMstrSendCompanyName(r.fields[10]);
        store.setMstrDecisionCondition(r.fields[14]);
        store.setMstrEnploymentMode(r.fields[15]);
        ASSERT_TRUE(store.setManageNum("0"));
        if (!r.tempImages.empty()) { ASSERT_TRUE(store.subAddTempImageFileNames(r.number(), r.tempImages)); }
        if (!r.refImages.empty()) { ASSERT_TRUE(store.subAddRefImageFileNames(r.number(), r.refImages)); }
    }
};

TEST_F(ManageRecordsTest, ChangesInOneSaveLeaveWhatTheMembersOneByOneLeave) {
    const std::vector<StoreRecord> before{stored("A", {"A_001"}), stored("B"), stored("A", {"A_009"}), stored("C")};
    std::vector<ManageRecord> added{made("N1", "", {"N1_001", "N1_002"}), made("N2", "3", {}),
                                    made("N3", "  ", {"N3_001", " "})};
    added[2].fields[10] = " ";  // a blank is written as the saves write it

    fs::writeFileAtomic(path, testing::storeXml(before));
    for (const ManageRecord& r : added) setAlone(r);
    FaxManageNum alone;
    ASSERT_TRUE(alone.subAddTempImageFileNames("A", {"A_002"}));
    ASSERT_TRUE(alone.subAddRefImageFileNames("A", {"A_002"}));
    ASSERT_TRUE(alone.subAddTempImageFileNames("N3", {"N3_002"}));
    ASSERT_TRUE(alone.subAddRefImageFileNames("N3", {"N3_002"}));
    ASSERT_TRUE(alone.delManageNum("A"));
    ASSERT_TRUE(alone.delManageNum("N2"));
    ASSERT_TRUE(alone.delManageNum("nobody"));
    const std::string oneByOne = fs::readFile(path);

    // The store as a save writes it takes the changes spliced into its
    // bytes; with a line end more after its root, through a load: both
    // write the same bytes.
    std::vector<std::string> written;
    for (const char* tail : {"", "\r\n"}) {
        fs::writeFileAtomic(path, testing::storeXml(before) + tail);
        StoreChanges changes;
        for (const ManageRecord& r : added) changes.add(r);
        changes.addPages("A", {"A_002"});
        changes.addPages("N3", {"N3_002"});
        changes.remove("A");
        changes.remove("N2");
        changes.remove("nobody");
        EXPECT_FALSE(changes.empty());
        changes.apply();
        EXPECT_TRUE(changes.empty());
        written.push_back(fs::readFile(path));

        // The page lists of a record laid out again are replaced whole.
        StoreChanges again;
        again.replacePages("N1", {"N1_003"}, {"N1_003", "N1_004"});
        again.replacePages("C", {}, {"C_001"});
        again.replacePages("nobody", {"x"}, {"x"});
        again.apply();
        written.push_back(fs::readFile(path));
    }
    EXPECT_EQ(written[0], oneByOne);
    for (const std::string& bytes : written) EXPECT_TRUE(xml::ScannedFile(bytes).canonical());
    EXPECT_EQ(written[0], written[2]);
    EXPECT_EQ(written[1], written[3]);
    EXPECT_TRUE(log.log->entries().empty());
    FaxManageNum store;
    Names names;
    EXPECT_EQ(store.getTempImageFileToManage("N1", "", names), 1);
    EXPECT_EQ(names, Names{"N1_003"});
    EXPECT_EQ(store.getRefImageFileToManage("N1", "", names), 2);
    EXPECT_EQ(names, (Names{"N1_003", "N1_004"}));
}

TEST_F(ManageRecordsTest, PagesForANumberNotOnFileStopTheChangesThere) {
    fs::writeFileAtomic(path, testing::storeXml({stored("A"), stored("B")}));
    StoreChanges changes;
    changes.addPages("A", {"A_001"});
    changes.addPages("GONE", {"G_001"});
    changes.addPages("B", {"B_001"});
    try {
        changes.apply();
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), 40009);
        EXPECT_NE(e.description().find("GONE"), std::string::npos);
    }
    FaxManageNum store;
    Names names;
    EXPECT_EQ(store.getTempImageFileToManage("A", "", names), 1);
    EXPECT_EQ(store.getRefImageFileToManage("A", "", names), 1);
    EXPECT_EQ(store.getTempImageFileToManage("B", "", names), 0);
}

TEST_F(ManageRecordsTest, AStoreThatCannotBeChangedIsLeftAsItIs) {
    struct Case {
        const char* what;
        std::string file;
        std::function<void(StoreChanges&)> change;
    } cases[] = {
        {"a store that does not load", "<FAXManageNums><FAXManageNum>", [](StoreChanges& c) { c.remove("A"); }},
        {"no FAXManageNums to add to", "<?xml version=\"1.0\"?><Other/>",
         [](StoreChanges& c) { c.add(made("N", "", {})); }},
        {"a short record met by position",
         "<?xml version=\"1.0\"?><FAXManageNums><FAXManageNum><SendDate/></FAXManageNum></FAXManageNums>",
         [](StoreChanges& c) {
             c.add(made("N", "", {}));
             c.remove("A");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::writeFileAtomic(path, c.file);
        StoreChanges changes;
        c.change(changes);
        EXPECT_THROW(changes.apply(), Error);
        EXPECT_EQ(fs::readFile(path), c.file);
    }
}

TEST_F(ManageRecordsTest, OneReadAnswersAsGetManageNumDoes) {
    fs::writeFileAtomic(path, testing::storeXml({stored("A", {"A_001", "A_002"}), stored("B"), stored("A", {"A_009"})}));
    StoredRecords records;
    ASSERT_NE(records.find("A"), nullptr);
    EXPECT_EQ(records.find("A")->tempImages, (Names{"A_001", "A_002"}));
    EXPECT_EQ(records.find("A")->refImages, (Names{"A_001", "A_002"}));
    EXPECT_EQ(records.find("B")->sendXml, Names{"B"});
    FaxManageNum store;
    ASSERT_TRUE(store.getManageNum("B"));
    const ManageRecord& b = *records.find("B");
    EXPECT_EQ(b.fields[0], store.mstrSendDate());
    EXPECT_EQ(b.title(), store.mstrRepType());
    EXPECT_EQ(b.fields[8], store.mstrOrderName());
    EXPECT_EQ(b.fields[10], store.mstrSendCompanyName());
    EXPECT_EQ(b.fields[13], store.mstrSendFAXNum());
    EXPECT_EQ(b.fields[14], store.mstrDecisionCondition());
    EXPECT_EQ(b.fields[18], store.mstrOrderNumber());
    EXPECT_EQ(records.find("nobody"), nullptr);

    // A record short of its fields: the store is not taken as read, and the
    // member that reads by position is asked instead.
    fs::writeFileAtomic(path, "<?xml version=\"1.0\"?><FAXManageNums><FAXManageNum><SendDate/></FAXManageNum>" +
                                  testing::recordXml(stored("C")) + "</FAXManageNums>");
    EXPECT_EQ(StoredRecords().find("C"), nullptr);
    // No store at all holds nothing.
    ASSERT_TRUE(fs::removeFile(path));
    EXPECT_EQ(StoredRecords().find("C"), nullptr);
}

}  // namespace
}  // namespace fg
