// Delivery-date confirmations: grouping, numbering, records, the base copy
// that the telephone answer side reads by position, and roll-backs.
#include "documents/tests/builder_fixture.h"

namespace fg::testing {
namespace {

using Strings = std::vector<std::string>;

std::string line(const std::string& attrs, const std::string& customer, const std::string& supplier,
                 const std::string& order) {
    return "<JPTRM" + attrs + "><Sequence-number>1</Sequence-number><Customer-code>" + customer +
           "</Customer-code><Supplier-code>" + supplier + "</Supplier-code><Order-number>" + order +
           "</Order-number><Correction-code>A</Correction-code><Devide-delivery-number>01</Devide-delivery-number>"
           "<Customer-name-K>取引先" + customer + "</Customer-name-K></JPTRM>";
}
std::string message(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><DORE0701>" + body + "</DORE0701>";
}

class LimitConfirmTest : public BuilderTest {};

TEST_F(LimitConfirmTest, SampleMessagesGiveOneDocumentPerSupplierWithRecordsAndBothFiles) {
    Strings out;
    ASSERT_TRUE(builder.makeLimitConfirmList({"DORE0701_0001", "DORE0701_0002"}, out));
    ASSERT_EQ(out, (Strings{number(1), number(2)}));
    EXPECT_EQ(builder.repManageCount(), 2);
    EXPECT_TRUE(errors().empty());

    auto recs = records();
    ASSERT_EQ(recs.size(), 2u);
    const auto& r = recs.at(number(1));
    EXPECT_EQ(r["SendDate"], kStamp);
    EXPECT_EQ(r["RepType"], "納期確認書");
    EXPECT_EQ(r["FAXSendXMLFileNames"], number(1));
    EXPECT_EQ(r["OrderCode"], "C0001");
    EXPECT_EQ(r["OrderName"], "東和精機株式会社");
    EXPECT_EQ(r["ReceiveCode"], "S0001");
    EXPECT_EQ(r["SendCompanyName"], "山田精機株式会社");
    EXPECT_EQ(r["SendPostName"], "営業部");
    EXPECT_EQ(r["SendChargeName"], "山田 太郎");
    EXPECT_EQ(r["SendFAXNum"], "0312345679");
    EXPECT_EQ(r["DecisionCondition"], "9");
    EXPECT_EQ(r["EnploymentMode"], "0");
    EXPECT_EQ(recs.at(number(2))["ReceiveCode"], "S0003");

    // The base copy, read as the telephone side reads it: white space kept,
    // positions counted over every child node.
    xml::Document base = loadSent("base" + number(1), true);
    ASSERT_EQ(base.childNodes().size(), 2u);
    EXPECT_EQ(base.childNodes()[0].nodeName(), "xml");
    xml::Node root = base.childNodes()[1];
    auto kids = root.childNodes();
    ASSERT_GE(kids.size(), 9u);
    EXPECT_EQ(kids[1].text(), number(1));
    EXPECT_EQ(kids[2].text(), "0312340000");  // the pilot line's number
    EXPECT_EQ(root.selectSingleNode("Customer-code").text(), "C0001");
    EXPECT_EQ(root.selectSingleNode("Supplier-code").text(), "S0001");
    EXPECT_EQ(root.selectSingleNode("Customer-name-K").text(), "東和精機株式会社");
    auto lines = kids[8].childNodes();
    ASSERT_EQ(lines.size(), 3u);
    const char* orders[] = {"PO-240011", "PO-240011", "PO-240012"};
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].childNodes()[0].text(), std::to_string(i + 1));
        EXPECT_EQ(lines[i].selectSingleNode("Order-number").text(), orders[i]);
        EXPECT_EQ(lines[i].selectSingleNode("Correction-code").text(), "A");  // as the message carried it
        EXPECT_FALSE(lines[i].selectSingleNode("Sequence-number").isNull());
        EXPECT_FALSE(lines[i].selectSingleNode("Devide-delivery-number").isNull());
    }
    for (const auto& n : root.selectNodes("//text()")) EXPECT_NE(text::trimBlanks(n.text()), "") << "white space";

    // The fax document carries the converted codes, the code kept beside them.
    xml::Document fax = loadSent(number(1));
    xml::Node code = fax.selectSingleNode("/JPTRMROOT/JPTRMS/JPTRM[1]/Correction-code");
    EXPECT_EQ(code.text(), "新規");
    EXPECT_EQ(code.getAttribute("Code"), "A");
    EXPECT_EQ(fax.selectSingleNode("/JPTRMROOT/JPTRMS/JPTRM[1]/Unit").text(), "個");
    EXPECT_EQ(fax.selectSingleNode("/JPTRMROOT/Title").text(), "納期確認書");
    EXPECT_EQ(fax.childNodes()[0].text(), "version=\"1.0\" encoding=\"UTF-8\"");
}

TEST_F(LimitConfirmTest, GroupsByCustomerSupplierAndTheFirstAttributeTest) {
    struct Case {
        const char* name;
        Strings files;  // bodies, one file each
        std::vector<int> linesPerDocument;
    } cases[] = {
        {"TEST values 0 and 1 part", {line(" TEST=\"0\"", "C0001", "S0001", "a") + line(" TEST=\"1\"", "C0001", "S0001", "b")}, {1, 1}},
        {"equal keys across files join, in file order", {line("", "C0001", "S0001", "a"), line("", "C0001", "S0001", "b")}, {2}},
        {"no attribute keeps the TEST before it",
         {line(" TEST=\"1\"", "C0001", "S0001", "a") + line("", "C0001", "S0001", "b") + line(" TEST=\"0\"", "C0001", "S0001", "c")},
         {2, 1}},
        {"TEST not first is not seen", {line(" X=\"y\" TEST=\"1\"", "C0001", "S0001", "a") + line("", "C0001", "S0001", "b")}, {2}},
        {"codes compared exactly", {line("", "C0001", "S0001", "a") + line("", "c0001", "S0001", "b")}, {1, 1}},
    };
    int counter = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Strings names;
        for (std::size_t i = 0; i < c.files.size(); ++i) {
            std::string n = "m" + std::to_string(counter) + "_" + std::to_string(i);
            writeMessage(n, message(c.files[i]));
            names.push_back(n);
        }
        // c0001 has no supplier of its own but S0001 is the supplier here.
        Strings out;
        ASSERT_TRUE(builder.makeLimitConfirmList(names, out));
        ASSERT_EQ(out.size(), c.linesPerDocument.size());
        for (std::size_t d = 0; d < out.size(); ++d) {
            EXPECT_EQ(out[d], number(++counter));
            auto lines = loadSent("base" + out[d]).selectNodes("/JPTRMROOT/JPTRMS/JPTRM");
            EXPECT_EQ(lines.size(), static_cast<std::size_t>(c.linesPerDocument[d]));
        }
    }
    // Lines in file order within the joined document.
    auto joined = loadSent("base" + number(3)).selectNodes("/JPTRMROOT/JPTRMS/JPTRM/Order-number");
    ASSERT_EQ(joined.size(), 2u);
    EXPECT_EQ(joined[0].text(), "a");
    EXPECT_EQ(joined[1].text(), "b");
}

TEST_F(LimitConfirmTest, FilesWithoutLinesMakeNothing) {
    writeMessage("empty", message(""));
    Strings out{"kept"};
    ASSERT_TRUE(builder.makeLimitConfirmList({"empty"}, out));
    EXPECT_EQ(out, Strings{"kept"});
    EXPECT_TRUE(records().empty());
    EXPECT_TRUE(sentFiles().empty());
}

TEST_F(LimitConfirmTest, NoPilotLineGivesAnEmptyPilotNumber) {
    std::string modems = home.read("data/modeminformation.xml");
    auto at = modems.find("<PilotFlag>1</PilotFlag>");
    ASSERT_NE(at, std::string::npos);
    modems.replace(at, 24, "<PilotFlag>0</PilotFlag>");
    home.write("data/modeminformation.xml", modems);
    Strings out;
    ASSERT_TRUE(builder.makeLimitConfirmList({"DORE0701_0002"}, out));
    EXPECT_EQ(loadSent("base" + out[0]).selectSingleNode("/JPTRMROOT/PilotFAXNumber").text(), "");
}

TEST_F(LimitConfirmTest, AStarInAnInitialisationStringDoesNotMoveThePilotNumber) {
    std::string modems = home.read("data/modeminformation.xml");
    for (auto at = modems.find("<InitString>ATZ<"); at != std::string::npos; at = modems.find("<InitString>ATZ<"))
        modems.replace(at, 15, "<InitString>AT*E0");
    home.write("data/modeminformation.xml", modems);
    Strings out;
    ASSERT_TRUE(builder.makeLimitConfirmList({"DORE0701_0002"}, out));
    EXPECT_EQ(loadSent("base" + out[0]).selectSingleNode("/JPTRMROOT/PilotFAXNumber").text(), "0312340000");
}

TEST_F(LimitConfirmTest, FailuresAreLoggedAndRolledBack) {
    writeMessage("bad", "<DORE0701><JPTRM>");
    writeMessage("nokeys", message("<JPTRM><Customer-code>C0001</Customer-code></JPTRM>"));
    writeMessage("three", message(line("", "C0001", "S0001", "a") + line("", "C0001", "S9999", "b") +
                                  line("", "C0001", "S0003", "c")));
    struct Case {
        const char* name;
        Strings files;
        long error;
        std::string description;
        std::size_t numbers;  // handed back in strOutFile
    } cases[] = {
        {"missing file", {"DORE0701_0002", "absent"}, 40017, "納期確認データが不正です。：absent.xml", 1},
        {"malformed file", {"bad"}, 40017, "納期確認データが不正です。：bad.xml", 0},
        {"line without its keys", {"nokeys"}, 40017, "納期確認データが不正です。：nokeys.xml", 0},
        {"unregistered supplier in the second of three groups", {"three"}, 40105, "[受注者コード:S9999]", 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        log.log->clear();
        auto before = builder.repManageCount();
        Strings out;
        EXPECT_FALSE(builder.makeLimitConfirmList(c.files, out));
        EXPECT_TRUE(logged(c.error, "makeLimitConfirmList", c.description));
        EXPECT_EQ(out.size(), c.numbers);
        EXPECT_EQ(builder.repManageCount(), before + static_cast<int>(c.numbers));
        EXPECT_TRUE(records().empty());
    }
    // The first group of "three" was written before its supplier's turn came:
    // its files went with its record in the roll-back; the third was never made.
    auto n = builder.repManageCount();
    EXPECT_FALSE(sentExists(number(n - 2)));
    EXPECT_FALSE(sentExists("base" + number(n - 2)));
    EXPECT_FALSE(sentExists(number(n - 1)));
    EXPECT_FALSE(sentExists(number(n)));
}

TEST_F(LimitConfirmTest, AFailedSaveIsAFailureAndRollsTheRecordsBack) {
    // A folder where the fax document belongs makes its save fail.
    fs::makeFolders(folder("FaxSendXML") + number(1) + ".xml");
    Strings out;
    EXPECT_THROW(builder.makeLimitConfirmList({"DORE0701_0001"}, out), Error);
    EXPECT_TRUE(records().empty());
}

TEST_F(LimitConfirmTest, AStoreThatCannotBeWrittenGives40013) {
    home.write("data/FAXManageNumber.xml", "<FAXManageNums>");  // no longer loads
    Strings out;
    EXPECT_FALSE(builder.makeLimitConfirmList({"DORE0701_0001"}, out));
    EXPECT_TRUE(logged(40013, "makeLimitConfirmList", ""));
    EXPECT_FALSE(sentExists(number(1)));
    EXPECT_EQ(home.read("data/FAXManageNumber.xml"), "<FAXManageNums>");
}

}  // namespace
}  // namespace fg::testing
