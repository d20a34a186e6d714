// The other exchanges against the local EDI server: the upload of answers,
// the supplier refresh, the order-balance fetch, the confirmation list and
// the deletion of work files.
#include "edi_fixture.h"

#include "settings/maker_info.h"

namespace fg {
namespace {

using testing::EdiFixture;
using testing::Row;

class ExchangesTest : public EdiFixture {
protected:
    static xml::Document answer(const std::string& number) {
        xml::Document doc;
        (void)doc.loadXML("<?xml version=\"1.0\" encoding=\"UTF-8\"?><DORE0702><Order-number>" + number +
                    "</Order-number></DORE0702>");
        return doc;
    }
    static std::string maker(const std::string& code, const std::string& client) {
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Maker-information><Supplier-code>" + code +
               "</Supplier-code><Fax-number>03-0000-0000</Fax-number><Relative-client-code>" + client +
               "</Relative-client-code></Maker-information>";
    }
    void cannedSupplierCode(const std::string& code, int step = 1) {
        cannedArchive("GetSupplierCode", step, "SC0001.tgz",
                      {{"supplier.xml", "<?xml version=\"1.0\"?><Supplier><Supplier-code>" + code +
                                            "</Supplier-code></Supplier>"}});
    }
    std::vector<std::string> registered() { return fs::list(folder("MakerInfo"), "*.XML"); }
};

TEST_F(ExchangesTest, UploadsEachAnswerWithItsRequest) {
    std::vector<xml::Document> answers{answer("P-1"), answer("P-2")};
    ASSERT_TRUE(control->putEDIData(answers, "0702")) << logText();
    auto posted = requests("PutEdiData");
    ASSERT_EQ(posted.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        auto names = members(posted[i]);
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string>{"data.xml", "request.xml"}));
        EXPECT_EQ(requestValue(posted[i], "Information-code"), "0702");
        EXPECT_NE(member(posted[i], "data.xml").find("P-" + std::to_string(i + 1)), std::string::npos);
    }
    EXPECT_EQ(filesIn("TempReqPut"), std::vector<std::string>{});

    // The second of two refused: the first stays uploaded, nothing stays behind.
    for (int step = 1; step <= 3; ++step) cannedCode("PutEdiData", step, "C0000");
    cannedCode("PutEdiData", 4, "C0702");
    ASSERT_FALSE(control->putEDIData({answer("Q-1"), answer("Q-2"), answer("Q-3")}, "0302"));
    EXPECT_TRUE(logged(40215, "putEDIData")) << logText();
    ASSERT_EQ(requests("PutEdiData").size(), 4u);
    EXPECT_NE(member(requests("PutEdiData")[3], "data.xml").find("Q-2"), std::string::npos);
    EXPECT_EQ(filesIn("TempReqPut"), std::vector<std::string>{});

    // No answer: nothing posted, nothing left.
    EXPECT_TRUE(control->putEDIData({}, "0702"));
    EXPECT_EQ(requests("PutEdiData").size(), 4u);
    EXPECT_EQ(filesIn("TempReqPut"), std::vector<std::string>{});
}

TEST_F(ExchangesTest, TheSupplierRefreshKeepsThisClientsRecordsOnly) {
    cannedSupplierCode("C0001");
    cannedArchive("GetFaxMaker", 1, "FM0001.tgz",
                  {{"S0101.xml", maker("S0101", "C0001")},
                   {"S0102.xml", maker("S0102", "C0001 ")},
                   {"S0103.xml", maker("S0103", "C0002")}});

    ASSERT_TRUE(control->getMakerInfoData()) << logText();
    EXPECT_EQ(registered(), std::vector<std::string>{"S0101.xml"});
    ASSERT_EQ(requests("GetSupplierCode").size(), 1u);
    ASSERT_EQ(requests("GetFaxMaker").size(), 1u);
    // Both exchanges post the same request.
    EXPECT_EQ(fs::readFile(requests("GetSupplierCode")[0]), fs::readFile(requests("GetFaxMaker")[0]));
    EXPECT_EQ(filesIn("TempEDI"), std::vector<std::string>{});
}

TEST_F(ExchangesTest, TheRegisteredSuppliersStayWhenTheRefreshKeepsNothing) {
    const std::vector<std::string> before = registered();
    ASSERT_EQ(before.size(), 3u);

    // No supplier data.
    cannedCode("GetSupplierCode", 1, "C0503");
    EXPECT_TRUE(control->getMakerInfoData()) << logText();
    // A server error on the supplier records.
    cannedSupplierCode("C0001", 2);
    cannedCode("GetFaxMaker", 1, "C0999");
    EXPECT_TRUE(control->getMakerInfoData()) << logText();
    EXPECT_TRUE(logged(40207, "getMakerInfoData"));
    // An answer with no record of this client.
    cannedSupplierCode("C0001", 3);
    cannedArchive("GetFaxMaker", 2, "FM0002.tgz", {{"S0201.xml", maker("S0201", "C0002")}});
    EXPECT_TRUE(control->getMakerInfoData()) << logText();
    // A record that does not parse stops the refresh.
    cannedSupplierCode("C0001", 4);
    cannedArchive("GetFaxMaker", 3, "FM0003.tgz",
                  {{"S0301.xml", maker("S0301", "C0001")}, {"S0302.xml", "<broken"}});
    EXPECT_FALSE(control->getMakerInfoData());
    EXPECT_TRUE(logged(40223, "getMakerInfoData"));

    EXPECT_EQ(registered(), before);
    EXPECT_EQ(filesIn("TempEDI"), std::vector<std::string>{});
}

TEST_F(ExchangesTest, OrderBalancesOfRegisteredSuppliersAreReturnedForTheJob) {
    cannedData("GetEdiData", 1, "B0601.tgz", "0601",
               {{"S0001", "1", "OB1.xml"}, {"S0001", "0", "OB2.xml"}, {"S0001", "x", "OB3.xml"},
                {"S0999", "0", "OB9.xml"}});
    std::vector<GET_FILE> data;
    std::vector<std::string> toDelete;
    ASSERT_TRUE(control->getOrderBalanceData("0312345679", data, toDelete)) << logText();
    ASSERT_EQ(data.size(), 1u);
    EXPECT_EQ(data[0].intCnt, 3);
    EXPECT_EQ(data[0].strGetFile, (std::vector<std::string>{"OB1", "OB2", "OB3"}));
    EXPECT_EQ(data[0].strSupplier, (std::vector<std::string>{"S0001", "S0001", "S0001"}));
    std::sort(toDelete.begin(), toDelete.end());
    EXPECT_EQ(toDelete, (std::vector<std::string>{"OB1.xml", "OB2.xml", "OB3.xml", "OB9.xml", "index.csv"}));
    auto posted = requests("GetEdiData");
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(requestValue(posted[0], "Information-code"), "0601");
    xml::Document put;
    ASSERT_TRUE(put.load(folder("TempReqEDI") + "PutConfirmOrderFax.xml"));
    EXPECT_EQ(put.selectSingleNode("/Puts/Put").text(), "B0601.tgz");
    EXPECT_TRUE(requests("PutConfirm").empty());
    EXPECT_EQ(filesIn("TempReqOrder"), std::vector<std::string>{});

    // The job deletes what it was given.
    control->delEdiXmlFile(folder("TempEDI"), toDelete);
    EXPECT_EQ(filesIn("TempEDI"), std::vector<std::string>{});
}

TEST_F(ExchangesTest, OrderBalancesOfNoRegisteredSupplierAreConfirmedAtOnce) {
    cannedCode("GetEdiData", 1, "C0403");
    cannedData("GetEdiData", 2, "B0602.tgz", "0601", {{"S0999", "0", "OB9.xml"}});
    fs::makeFolders(answers / "GetEdiData/3");
    fs::writeFileAtomic(answers / "GetEdiData/3/B0603.tgz", "no archive at all");
    cannedArchive("GetEdiData", 4, "B0604.tgz", {{"OB1.xml", document("S0001")}});

    std::vector<GET_FILE> data;
    std::vector<std::string> toDelete{"keep-as-passed"};
    ASSERT_TRUE(control->getOrderBalanceData("", data, toDelete));
    EXPECT_EQ(data.at(0).intCnt, 0);
    EXPECT_EQ(toDelete, std::vector<std::string>{"keep-as-passed"});

    toDelete.clear();
    ASSERT_TRUE(control->getOrderBalanceData("", data, toDelete)) << logText();
    EXPECT_EQ(data.at(0).intCnt, 0);
    auto confirmed = requests("PutConfirm");
    ASSERT_EQ(confirmed.size(), 1u);
    EXPECT_EQ(requestValue(confirmed[0], "ConfirmID"), "B0602");
    EXPECT_EQ(filesIn("TempEDI"), std::vector<std::string>{"OB9.xml"});
    control->delEdiXmlFile(folder("TempEDI"), toDelete);

    // An archive whose index does not load is not left lying in the work folder.
    toDelete.clear();
    EXPECT_FALSE(control->getOrderBalanceData("", data, toDelete));
    EXPECT_TRUE(logged(40202, "getOrderBalanceData")) << logText();
    EXPECT_EQ(filesIn("TempEDI"), std::vector<std::string>{});
    EXPECT_EQ(filesIn("TempReqOrder"), std::vector<std::string>{});

    // One without an index keeps nothing and is confirmed at once.
    EXPECT_TRUE(control->getOrderBalanceData("", data, toDelete)) << logText();
    EXPECT_EQ(data.at(0).intCnt, 0);
    confirmed = requests("PutConfirm");
    ASSERT_EQ(confirmed.size(), 2u);
    EXPECT_EQ(requestValue(confirmed[1], "ConfirmID"), "B0604");
}

TEST_F(ExchangesTest, TheConfirmationListAndTheDeletionOfWorkFiles) {
    ASSERT_TRUE(control->CreatePutConfirmXml("A.tgz,B.tgz,,D.tgz", "PutConfirmFax.xml"));
    std::string text = fs::readFile(folder("TempReqEDI") + "PutConfirmFax.xml");
    EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"shift-jis\"?>", 0), 0u) << text;
    EXPECT_NE(text.find("<Puts><Put>A.tgz,B.tgz,,D.tgz</Put></Puts>"), std::string::npos) << text;

    std::string work = folder("TempEDI");
    for (const char* name : {"a.xml", "c.xml"}) fs::writeFileAtomic(work + name, "x");
    control->delEdiXmlFile(work, {"a.xml", "b.xml", "c.xml"});
    EXPECT_EQ(filesIn("TempEDI"), std::vector<std::string>{});
    control->delEdiXmlFile(work, {});

    // No confirmation folder: logged, False.
    home.write("folderpath.xml", "<?xml version=\"1.0\"?><Folders/>");
    EXPECT_FALSE(control->CreatePutConfirmXml("A.tgz", "PutConfirmFax.xml"));
    EXPECT_TRUE(logged(40523, "CreatePutConfirmXml")) << logText();
}

}  // namespace
}  // namespace fg
