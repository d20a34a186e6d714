// Quotation requests and order sheets: one document per request or order.
#include "documents/tests/builder_fixture.h"

namespace fg::testing {
namespace {

using Strings = std::vector<std::string>;

std::string request(const std::string& supplier, const std::string& rfq, const std::string& attrs = "") {
    return "<JPTRM" + attrs + ">\n  <Customer-code>C0001</Customer-code>\n  <Supplier-code>" + supplier +
           "</Supplier-code>\n  <Correction-code>C</Correction-code>\n  <RFQ-number>" + rfq +
           "</RFQ-number>\n  <JPM001><JPM001R><RFQ-goods-quantity>5</RFQ-goods-quantity></JPM001R></JPM001>\n</JPTRM>";
}
std::string rfqMessage(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<DORE0301>\n" + body + "\n</DORE0301>\n";
}

class RequestTest : public BuilderTest {};

TEST_F(RequestTest, EachRequestIsADocumentWithItsOwnBaseCopy) {
    Strings out;
    ASSERT_TRUE(builder.makeEstiRequest({"DORE0301_0001", "DORE0301_0002"}, out));
    ASSERT_EQ(out, (Strings{number(1), number(2)}));
    auto recs = records();
    EXPECT_EQ(recs.at(number(1))["RepType"], "見積依頼書");
    EXPECT_EQ(recs.at(number(2))["OrderName"], "東和精機株式会社");

    // The fax document: the path the quotation answer follows.
    xml::Document fax = loadSent(number(1));
    EXPECT_EQ(fax.selectNodes("/JPTRMROOT/JPTRM/JPM001/JPM001R").size(), 2u);
    EXPECT_EQ(fax.selectSingleNode("/JPTRMROOT/RepManageNo").text(), number(1));
    EXPECT_EQ(fax.selectSingleNode("/JPTRMROOT/JPTRM/Correction-code").text(), "新規");

    // The base copy: declaration, then the request itself as its file holds
    // it, white space included, ended by CR LF; nothing of ours added.
    std::string raw = home.read("FaxSendXML/base" + number(2) + ".xml");
    EXPECT_EQ(raw.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0u) << raw.substr(0, 60);
    xml::Document base = loadSent("base" + number(2), true);
    xml::Node root = base.documentElement();
    EXPECT_EQ(root.nodeName(), "JPTRM");
    EXPECT_EQ(root.getAttribute("TEST"), "0");
    EXPECT_EQ(root.selectSingleNode("RFQ-number").text(), "RFQ-240102");
    EXPECT_EQ(root.selectSingleNode("Correction-code").text(), "C");
    std::string tail = root.lastChild().text();  // the request's own closing indentation, then CR LF
    EXPECT_EQ(tail.substr(tail.size() - 2), "\r\n");
    EXPECT_EQ(root.firstChild().type(), xml::NodeType::Text);  // the message's own indentation
    EXPECT_TRUE(root.selectSingleNode("RepManageNo").isNull());
    EXPECT_TRUE(root.selectSingleNode("StandardCode").isNull());
}

TEST_F(RequestTest, WhiteSpaceReachesTheBaseCopyButNotTheStyleSheets) {
    writeMessage("ws", rfqMessage(request("S0001", "R1")));
    std::vector<xml::Document> seen;
    builder.setDocumentObserver([&](const std::string&, const xml::Document& d) { seen.push_back(d.clone()); });
    Strings out;
    ASSERT_TRUE(builder.makeEstiRequest({"ws"}, out));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0].selectNodes("//text()[normalize-space(.) = '']").empty());
    EXPECT_EQ(seen[0].childNodes()[0].text(), "version=\"1.0\" encoding=\"shift-jis\"");
    EXPECT_FALSE(loadSent("base" + out[0], true).selectNodes("/JPTRM/text()[normalize-space(.) = '']").empty());
}

TEST_F(RequestTest, TheBaseCopyComesFromTheRequestsOwnFile) {
    // Two requests in the first file, one in the second: the n-th document
    // is not the n-th file's request.
    writeMessage("two", rfqMessage(request("S0001", "R-A") + request("S0001", "R-B", " TEST=\"1\"")));
    writeMessage("one", rfqMessage(request("S0003", "R-C")));
    Strings out;
    ASSERT_TRUE(builder.makeEstiRequest({"two", "one"}, out));
    ASSERT_EQ(out.size(), 3u);
    const char* expected[] = {"R-A", "R-B", "R-C"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(loadSent("base" + out[i]).selectSingleNode("/JPTRM/RFQ-number").text(), expected[i]);
        EXPECT_EQ(loadSent(out[i]).selectSingleNode("/JPTRMROOT/JPTRM/RFQ-number").text(), expected[i]);
    }
    EXPECT_EQ(records().at(out[2])["ReceiveCode"], "S0003");
}

TEST_F(RequestTest, AnUnregisteredSupplierRollsBackTheCall) {
    writeMessage("r1", rfqMessage(request("S0001", "R1")));
    writeMessage("r2", rfqMessage(request("S7777", "R2")));
    writeMessage("r3", rfqMessage(request("S0001", "R3")));
    Strings out;
    EXPECT_FALSE(builder.makeEstiRequest({"r1", "r2", "r3"}, out));
    EXPECT_EQ(out, Strings{number(1)});
    EXPECT_EQ(builder.repManageCount(), 3);
    EXPECT_TRUE(logged(40105, "makeEstiRequest", "[受注者コード:S7777]"));
    EXPECT_TRUE(records().empty());
    // Written before the second failed, gone with the roll-back.
    EXPECT_FALSE(sentExists(number(1)));
    EXPECT_FALSE(sentExists("base" + number(1)));
    EXPECT_FALSE(sentExists(number(3)));

    log.log->clear();
    EXPECT_FALSE(builder.makeEstiRequest({"nothere"}, out));
    EXPECT_TRUE(logged(40017, "makeEstiRequest", "見積依頼データが不正です。：nothere.xml"));
}

class OrderSheetTest : public BuilderTest {};

TEST_F(OrderSheetTest, EveryOrderIsADocumentAwaitingConfirmation) {
    std::string body;
    for (const char* o : {"P1", "P2", "P3"})
        body += std::string("<JPTRM TEST=\"1\"><Customer-code>C0001</Customer-code><Supplier-code>S0001</Supplier-code>"
                            "<Order-number>") + o + "</Order-number></JPTRM>";
    writeMessage("orders", "<DORE0500>" + body + "</DORE0500>");
    builder.setRepManageCount(9999);
    Strings out;
    ASSERT_TRUE(builder.makeOrderSheet({"orders"}, out));
    ASSERT_EQ(out, (Strings{std::string(kStamp) + "10000", std::string(kStamp) + "10001",
                            std::string(kStamp) + "10002"}));
    auto recs = records();
    const char* orders[] = {"P1", "P2", "P3"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(recs.at(out[i])["DecisionCondition"], "3");
        EXPECT_EQ(recs.at(out[i])["OrderNumber"], orders[i]);
        EXPECT_EQ(recs.at(out[i])["RepType"], "注文書");
        EXPECT_EQ(recs.at(out[i])["OrderName"], "");
        EXPECT_FALSE(sentExists("base" + out[i]));
    }
}

TEST_F(OrderSheetTest, SampleOrdersAndFailures) {
    Strings out;
    ASSERT_TRUE(builder.makeOrderSheet({"DORE0500_0001"}, out));
    ASSERT_EQ(out.size(), 2u);
    xml::Document fax = loadSent(out[1]);
    EXPECT_EQ(fax.selectSingleNode("/JPTRMROOT/Title").text(), "注文書");
    EXPECT_EQ(fax.selectSingleNode("/JPTRMROOT/JPTRM/Unit").text(), "セット");
    EXPECT_EQ(records().at(out[0])["OrderName"], "東和精機株式会社");

    writeMessage("second-bad", "<DORE0500><JPTRM><Customer-code>C0001</Customer-code><Supplier-code>S0001</Supplier-code>"
                               "<Order-number>Q1</Order-number></JPTRM><JPTRM><Customer-code>C0001</Customer-code>"
                               "<Supplier-code>S5555</Supplier-code><Order-number>Q2</Order-number></JPTRM></DORE0500>");
    Strings more;
    EXPECT_FALSE(builder.makeOrderSheet({"second-bad"}, more));
    ASSERT_EQ(more.size(), 1u);  // the first was written, and went with the roll-back
    EXPECT_FALSE(sentExists(more[0]));
    EXPECT_EQ(records().count(more[0]), 0u);
    EXPECT_EQ(records().size(), 2u);  // the earlier call's records are not touched
    EXPECT_TRUE(logged(40105, "makeOrderSheet", "[受注者コード:S5555]"));
}

}  // namespace
}  // namespace fg::testing
