// Payables notices, order-balance lists, reminder lists and the
// unanswered-items list.
#include "documents/tests/builder_fixture.h"
#include "settings/fax_manage_num.h"

namespace fg::testing {
namespace {

using Strings = std::vector<std::string>;

std::string pay(const std::string& attrs, const std::string& fields) {
    return "<JPTRM" + attrs + ">" + fields + "</JPTRM>";
}
const std::string kKeys = "<Customer-code>C0001</Customer-code><Supplier-code>S0001</Supplier-code>";

class CreditDetailTest : public BuilderTest {};

TEST_F(CreditDetailTest, LinesGatherByLineKeyInsideOneDocument) {
    Strings out;
    ASSERT_TRUE(builder.makeCreditDetail({"DORE1101_0001"}, out));
    ASSERT_EQ(out, Strings{number(1)});
    xml::Document fax = loadSent(number(1));
    auto groups = fax.selectNodes("/JPTRMROOT/JPTRMR");
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].selectNodes("JPTRM").size(), 2u);
    EXPECT_EQ(groups[0].selectSingleNode("Credit-code").text(), "検収計上");
    EXPECT_EQ(groups[0].selectSingleNode("Total-amount").text(), "24300");
    EXPECT_EQ(groups[1].selectSingleNode("Credit-code").getAttribute("Code"), "2");
    EXPECT_EQ(fax.selectSingleNode("/JPTRMROOT/Grand-total-amount").text(), "24175");
    EXPECT_EQ(records().at(number(1))["RepType"], "買掛金計上通知");
}

TEST_F(CreditDetailTest, KeysAndAddresseeCarryWithinAFile) {
    struct Case {
        const char* name;
        Strings files;
        std::vector<std::size_t> groupsPerDocument;
    } cases[] = {
        {"same line key", {pay("", kKeys + "<Credit-code>1</Credit-code><Payment-code>1</Payment-code>") +
                           pay("", kKeys + "<Credit-code>1</Credit-code><Payment-code>1</Payment-code>")}, {1}},
        {"other payment code", {pay("", kKeys + "<Payment-code>1</Payment-code>") + pay("", kKeys + "<Payment-code>2</Payment-code>")}, {2}},
        {"unit price code is no key", {pay("", kKeys + "<Unit-price-code>1</Unit-price-code>") + pay("", kKeys + "<Unit-price-code>2</Unit-price-code>")}, {1}},
        {"a missing credit code carries within the file",
         {pay("", kKeys + "<Credit-code>A</Credit-code>") + pay("", kKeys)}, {1}},
        {"but not into the next file", {pay("", kKeys + "<Credit-code>A</Credit-code>"), pay("", kKeys)}, {2}},
        {"other supplier, other document",
         {pay("", kKeys) + pay("", "<Customer-code>C0001</Customer-code><Supplier-code>S0003</Supplier-code>")}, {1, 1}},
        {"a missing supplier code carries within the file",
         {pay("", kKeys) + pay("", "<Customer-code>C0001</Customer-code>") + pay("", "")}, {1}},
        {"TEST carries across files", {pay(" TEST=\"1\"", kKeys), pay("", kKeys)}, {1}},
    };
    int counter = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        builder.setRepManageCount(0);
        builder.setRepManageDate(std::string(kStamp).substr(0, 12) + std::to_string(10 + counter++));
        Strings names;
        for (std::size_t i = 0; i < c.files.size(); ++i) {
            names.push_back("p" + std::to_string(counter) + std::to_string(i));
            writeMessage(names.back(), "<DORE1101>" + c.files[i] + "</DORE1101>");
        }
        Strings out;
        ASSERT_TRUE(builder.makeCreditDetail(names, out));
        ASSERT_EQ(out.size(), c.groupsPerDocument.size());
        for (std::size_t d = 0; d < out.size(); ++d)
            EXPECT_EQ(loadSent(out[d]).selectNodes("/JPTRMROOT/JPTRMR").size(), c.groupsPerDocument[d]);
    }
}

TEST_F(CreditDetailTest, AFileWhoseFirstLineHasNoSupplierCodeToTakeIsRefused) {
    writeMessage("sound", "<DORE1101>" + pay("", kKeys) + "</DORE1101>");  // not even from the file before it
    writeMessage("nosupplier", "<DORE1101>" + pay("", "<Customer-code>C0001</Customer-code>") + pay("", kKeys) +
                                   "</DORE1101>");
    Strings out;
    EXPECT_FALSE(builder.makeCreditDetail({"sound", "nosupplier"}, out));
    EXPECT_TRUE(logged(40017, "makeCreditDetail", "買掛金計上通知データが不正です。：nosupplier.xml"));
    EXPECT_TRUE(records().empty());
}

class OrderBalanceTest : public BuilderTest {};

TEST_F(OrderBalanceTest, OneDocumentPerCustomerAllForTheCallersSupplier) {
    clock_->advance(std::chrono::seconds(5));  // takes a stamp of its own
    Strings out;
    ASSERT_TRUE(builder.makeOderBalanceList({"DORE0601_0001"}, out, "0312345679"));
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(builder.repManageDate(), "20240115102035");
    EXPECT_EQ(out[0], "202401151020350001");
    auto recs = records();
    EXPECT_EQ(recs.at(out[0])["OrderCode"], "C0001");
    EXPECT_EQ(recs.at(out[1])["OrderCode"], "C0002");
    EXPECT_EQ(recs.at(out[1])["OrderName"], "北陸電機工業株式会社");
    for (const auto& n : out) {
        EXPECT_EQ(recs.at(n)["RepType"], "注文残高一覧");
        EXPECT_EQ(recs.at(n)["SendCompanyName"], "山田精機株式会社");
    }
    xml::Document fax = loadSent(out[0]);
    EXPECT_EQ(fax.selectNodes("/JPTRMROOT/JPTRMS/JPTRM").size(), 2u);

    // A second call in the same second goes on counting.
    Strings again;
    ASSERT_TRUE(builder.makeOderBalanceList({"DORE0601_0001"}, again, "0312345679"));
    EXPECT_EQ(again[0], "202401151020350003");
}

// The job program rolls its lists back itself: records, layouts and the
// files the records list go, except a file another record lists too.
TEST_F(OrderBalanceTest, RolledBackListsTakeTheirFilesExceptThoseAnotherRecordLists) {
    Strings out;
    ASSERT_TRUE(builder.makeOderBalanceList({"DORE0601_0001"}, out, "0312345679"));
    ASSERT_EQ(out.size(), 2u);
    FaxManageNum store;
    for (const auto& n : out) {
        ASSERT_TRUE(store.subAddTempImageFileNames(n, {n + "_001"}));
        ASSERT_TRUE(store.subAddRefImageFileNames(n, {n + "_001"}));
        fs::writeFileAtomic(folder("G3Image") + n + "_001.g3", "G3");
        fs::writeFileAtomic(folder("Jpg") + n + "_001.jpg", "JPG");
        fs::writeFileAtomic(folder("ExcelLayout") + n + ".xls", "<Workbook/>");
    }
    // The second list's page is listed by the first's record too.
    ASSERT_TRUE(store.subAddTempImageFileNames(out[0], {out[1] + "_001"}));

    builder.delManageOrderBalance({out[1]});
    auto recs = records();
    EXPECT_EQ(recs.count(out[1]), 0u);
    ASSERT_EQ(recs.count(out[0]), 1u);
    EXPECT_FALSE(sentExists(out[1]));
    EXPECT_FALSE(fs::fileExists(folder("FaxSendXML") + "base" + out[1] + ".xml"));
    EXPECT_FALSE(fs::fileExists(folder("Jpg") + out[1] + "_001.jpg"));
    EXPECT_FALSE(fs::fileExists(folder("ExcelLayout") + out[1] + ".xls"));
    EXPECT_TRUE(fs::fileExists(folder("G3Image") + out[1] + "_001.g3")) << "listed by the other record";
    EXPECT_TRUE(fs::fileExists(folder("G3Image") + out[0] + "_001.g3"));
    EXPECT_TRUE(fs::fileExists(folder("Jpg") + out[0] + "_001.jpg"));
    EXPECT_TRUE(sentExists(out[0]));
    EXPECT_TRUE(fs::fileExists(folder("ExcelLayout") + out[0] + ".xls"));
}

TEST_F(OrderBalanceTest, FailuresAreLoggedNeverRaised) {
    Strings out;
    EXPECT_FALSE(builder.makeOderBalanceList({"DORE0601_0001"}, out, "0000"));
    EXPECT_TRUE(logged(40105, "makeOderBalanceList", "[Fax番号:0000]"));
    EXPECT_EQ(out.size(), 2u);  // numbered while reading, never recorded
    EXPECT_TRUE(records().empty());
    EXPECT_TRUE(sentFiles().empty());

    Strings none;
    EXPECT_FALSE(builder.makeOderBalanceList({"missing"}, none, "0312345679"));
    EXPECT_TRUE(logged(40017, "makeOderBalanceList", "注文残高データが不正です。：missing.xml"));

    (void)fs::removeFile(folder("Xsl") + "FR070_ChangeStructure.xsl");
    log.log->clear();
    EXPECT_FALSE(builder.makeOderBalanceList({"DORE0601_0001"}, none, "0312345679"));
    ASSERT_EQ(errors().size(), 1u);
    EXPECT_EQ(errors()[0].source, "makeOderBalanceList");
    EXPECT_TRUE(records().empty());
}

class ReminderTest : public BuilderTest {};

TEST_F(ReminderTest, OneListPerCustomerSupplierAndKind) {
    std::vector<WORKTABLE> table;
    ASSERT_TRUE(builder.makeEstimLimitList({"Reminder_0001.xml"}, table));
    ASSERT_EQ(table.size(), 3u);
    struct Expect {
        const char* supplier;
        const char* kind;
        const char* title;
        std::size_t lines;
    } expected[] = {{"S0001", "RFQ-number", "見積未回答一覧", 2},
                    {"S0001", "Order-number", "納期未回答一覧", 1},
                    {"S0003", "Order-number", "納期未回答一覧", 1}};
    auto recs = records();
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(table[i].strFileName, number(static_cast<int>(i) + 1));
        EXPECT_EQ(table[i].strCustomerCode, "C0001");
        EXPECT_EQ(table[i].strSupplierCode, expected[i].supplier);
        EXPECT_EQ(table[i].strTagName, expected[i].kind);
        EXPECT_EQ(table[i].DomXml.documentElement().nodeName(), "FAX-reminders");
        EXPECT_EQ(recs.at(table[i].strFileName)["RepType"], expected[i].title);
        EXPECT_EQ(recs.at(table[i].strFileName)["OrderName"], "東和精機株式会社");
        xml::Document fax = loadSent(table[i].strFileName);
        EXPECT_EQ(fax.selectSingleNode("/JPTRMROOT/Title").text(), expected[i].title);
        EXPECT_EQ(fax.selectNodes("/JPTRMROOT/Reminders/Reminder").size(), expected[i].lines);
    }
}

TEST_F(ReminderTest, AReminderWithoutKeysGetsEmptyValues) {
    auto rem = [](const std::string& key) {
        return "<FAX-reminder><KEY>" + key + "</KEY><EDI-data><Customer-name-K>X</Customer-name-K></EDI-data></FAX-reminder>";
    };
    home.write("temp/TempEDI/r.xml",
               "<FAX-reminders>" + rem("<Customer-code>C0001</Customer-code><Supplier-code>S0001</Supplier-code><RFQ-number>1</RFQ-number>") +
                   rem("<Customer-code>C0001</Customer-code><RFQ-number>2</RFQ-number>") + "</FAX-reminders>");
    std::vector<WORKTABLE> table(1);
    EXPECT_FALSE(builder.makeEstimLimitList({"r.xml"}, table));
    EXPECT_EQ(table.size(), 1u);  // left as passed
    EXPECT_TRUE(logged(40105, "makeEstimLimitList", "[受注者コード:]"));
    EXPECT_TRUE(records().empty());

    EXPECT_FALSE(builder.makeEstimLimitList({"r.xml", "gone.xml"}, table));
    EXPECT_TRUE(logged(40017, "makeEstimLimitList", "督促データが不正です。：gone.xml"));
}

TEST_F(ReminderTest, NoRemindersIsAnEmptySuccess) {
    home.write("temp/TempEDI/none.xml", "<FAX-reminders/>");
    std::vector<WORKTABLE> table(2);
    EXPECT_TRUE(builder.makeEstimLimitList({"none.xml"}, table));
    EXPECT_TRUE(table.empty());
}

class UnansweredTest : public BuilderTest {};

std::string storeRecord(const std::string& number, const std::string& fax, const std::string& condition,
                        bool withCondition = true) {
    return "<FAXManageNum><SendDate>20240101000000</SendDate><RepManageNo>" + number +
           "</RepManageNo><RepType>納期確認書</RepType><FAXTempImageFileNames/><FAXRefImageFileNames/>"
           "<FAXSendXMLFileNames/><ReceiveXMLFileName/><OrderCode>C0001</OrderCode><OrderName>東和</OrderName>"
           "<ReceiveCode/><SendCompanyName/><SendPostName/><SendChargeName/><SendFAXNum>" + fax + "</SendFAXNum>" +
           (withCondition ? "<DecisionCondition>" + condition + "</DecisionCondition>" : "") +
           "<EnploymentMode>0</EnploymentMode><PageNum/><ReportConfirmNo/><OrderNumber/></FAXManageNum>";
}

TEST_F(UnansweredTest, ListsTheOpenRecordsOfTheFaxNumberOnly) {
    home.write("data/FAXManageNumber.xml",
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?><FAXManageNums>" + storeRecord("N1", "0312345679", "0") +
                   storeRecord("N2", "0312345679", "9") + storeRecord("N3", "03-1234-5679", "0") +
                   storeRecord("N4", "0312345679", "0") + storeRecord("N5", "0312345679", "", false) +
                   storeRecord("N6", "0312345679", "2") + "</FAXManageNums>");
    clock_->advance(std::chrono::seconds(1));
    std::string name;
    ASSERT_TRUE(builder.makeFAXTransaction("0312345679", name)) << (errors().empty() ? "" : errors()[0].description);
    EXPECT_EQ(name, "202401151020310001");
    xml::Document fax = loadSent(name);
    EXPECT_EQ(fax.documentElement().nodeName(), "JPTRM");
    auto items = fax.selectNodes("/JPTRM/Items/Item/RepManageNo");
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].text(), "N1");
    EXPECT_EQ(items[1].text(), "N4");
    EXPECT_EQ(fax.selectSingleNode("/JPTRM/SendCompanyName").text(), "山田精機株式会社");
    EXPECT_EQ(fax.selectSingleNode("/JPTRM/SendPostName").text(), "営業部");
    EXPECT_EQ(fax.selectSingleNode("/JPTRM/SendChargeName").text(), "山田 太郎");
    EXPECT_EQ(fax.selectSingleNode("/JPTRM/SendFAXNum").text(), "0312345679");
    auto rec = records().at(name);
    EXPECT_EQ(rec["RepType"], "未処理一覧");
    EXPECT_EQ(rec["OrderCode"], "");

    // A second list in the same second still gets a number of its own.
    std::string second;
    ASSERT_TRUE(builder.makeFAXTransaction("0312345679", second));
    EXPECT_EQ(second, "202401151020310002");
}

TEST_F(UnansweredTest, Failures) {
    std::string name = "unchanged";
    EXPECT_FALSE(builder.makeFAXTransaction("0000", name));
    EXPECT_TRUE(logged(40105, "makeFAXTransaction", "[Fax番号:0000]"));
    EXPECT_EQ(name, "unchanged");
    EXPECT_TRUE(records().empty());

    // A sheet whose result lacks the addressee fields: no record is left behind.
    home.write("Xsl/FR150_ChangeStructure.xsl",
               "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
               "<xsl:template match=\"/\"><JPTRM/></xsl:template></xsl:stylesheet>");
    log.log->clear();
    EXPECT_FALSE(builder.makeFAXTransaction("0312345679", name));
    ASSERT_EQ(errors().size(), 1u);
    EXPECT_EQ(errors()[0].source, "makeFAXTransaction");
    EXPECT_TRUE(records().empty());
    EXPECT_TRUE(sentFiles().empty());

    home.write("data/FAXManageNumber.xml", "<FAXManageNums>");
    auto count = builder.repManageCount();
    EXPECT_FALSE(builder.makeFAXTransaction("0312345679", name));
    EXPECT_TRUE(logged(40017, "makeFAXTransaction", "ＦＡＸ帳票管理番号マスタが不正です。：FaxManageNumber.xml"));
    EXPECT_EQ(builder.repManageCount(), count);
}

}  // namespace
}  // namespace fg::testing
