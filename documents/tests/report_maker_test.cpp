// FaxReportMaker: every report type's fax document becomes a layout that the
// layout reader accepts and that falls onto pages, with the title, the
// addressee and the document's lines where a reader expects them.
#include "report_maker/request_document_factory.h"
#include "documents/tests/builder_fixture.h"
#include "platform/layout/fax_printer.h"
#include "report_maker/fax_report_maker.h"
#include "platform/layout/page_export.h"
#include "platform/layout/page_plan.h"
#include "platform/layout/workbook_file.h"
#include "platform/xslt.h"

#include <algorithm>
#include <cstdlib>
#include <functional>

namespace fg::testing {
namespace {

using Strings = std::vector<std::string>;

// All text of a layout's first sheet, cell by cell, in reading order.
std::string sheetText(const layout::Workbook& wb) {
    std::string all;
    for (const auto& [ref, cell] : wb.sheets.at(0).cells) all += cell.text + "|";
    return all;
}

class ReportMakerTest : public BuilderTest {
protected:
    // Makes the report and reads the layout back; answers the layout and the
    // pages it falls onto. With FAXGATE_LAYOUT_SAMPLES set to a folder the
    // layouts are also printed there (one PDF per report type) for a person
    // to look at; the printer's font cache is process-wide and outlives the
    // test, so the hermetic run stops at the page plan.
    layout::Workbook makeAndPlan(const std::string& number, const std::string& type, int& pages) {
        FaxReportMaker maker;
        std::string workbook;
        bool ok = false;
        maker.makeReport({number}, type, workbook, ok);
        EXPECT_TRUE(ok) << type << ": " << (errors().empty() ? "" : errors().back().description);
        EXPECT_EQ(workbook, number);
        layout::Workbook wb = layout::readWorkbook(folder("ExcelLayout") + number + ".xls");
        pages = static_cast<int>(layout::planPages(wb, wb.sheets.at(0)).pages.size());
        if (const char* keep = std::getenv("FAXGATE_LAYOUT_SAMPLES")) {
            layout::FaxPrinter printer;
            fs::makeFolders(keep);
            std::string printed = fs::join(keep, type + ".pdf");
            EXPECT_TRUE(printer.setOutputFile(printed));
            EXPECT_EQ(printer.print(wb), pages);
            EXPECT_EQ(static_cast<int>(layout::exportPages(printed, fs::join(keep, type)).size()), pages);
        }
        return wb;
    }
};

TEST_F(ReportMakerTest, EveryReportTypeLaysOutItsDocument) {
    // The documents of the batch types, made by the builders.
    Strings quotation, order, delivery, payables, balance;
    ASSERT_TRUE(builder.makeEstiRequest({"DORE0301_0001"}, quotation));
    ASSERT_TRUE(builder.makeOrderSheet({"DORE0500_0001"}, order));
    ASSERT_TRUE(builder.makeLimitConfirmList({"DORE0701_0001"}, delivery));
    ASSERT_TRUE(builder.makeCreditDetail({"DORE1101_0001"}, payables));
    ASSERT_TRUE(builder.makeOderBalanceList({"DORE0601_0001"}, balance, "0312345679"));
    std::vector<WORKTABLE> reminders;
    ASSERT_TRUE(builder.makeEstimLimitList({"Reminder_0001.xml"}, reminders));
    std::string unanswered;
    ASSERT_TRUE(builder.makeFAXTransaction("0312345679", unanswered));

    // The documents of the job programs: the test fax as its job writes it,
    // and the send history through its installed sheet.
    home.write("FaxSendXML/202401151020309999.xml",
               "<?xml version=\"1.0\" encoding=\"shift-jis\"?><JPTRM><SendDate>2024/01/15 10:20:30</SendDate>"
               "<RepManageNo>202401151020309999</RepManageNo></JPTRM>");
    xml::Document selection, history, sheet;
    ASSERT_TRUE(selection.loadXML(
        "<FaxSendLogs><RepManageNo>202401151020300001x</RepManageNo>"
        "<FaxSendLog><SendDate>20240110093000</SendDate><RepManageNo>202401100930000001</RepManageNo>"
        "<RepType>注文書</RepType><FAXRefImageFileNames/><OrderName>東和精機株式会社</OrderName>"
        "<CompanyName>山田精機株式会社</CompanyName><PostName>営業部</PostName><ChargeName>山田 太郎</ChargeName>"
        "<FAXNum>0312345679</FAXNum><EmploymentMode>0</EmploymentMode><PageNum>2</PageNum><Result>OK</Result>"
        "<ReceiveCode>S0001</ReceiveCode><ReSendDate/></FaxSendLog></FaxSendLogs>"));
    ASSERT_TRUE(sheet.load(folder("Xsl") + "FR130_ChangeStructure.xsl"));
    xml::transformNodeToObject(selection.asNode(), sheet, history);
    history.save(folder("FaxSendXML") + "202401151020300001x.xml");

    struct Case {
        std::string type, number;
        Strings expected;  // texts the layout must show
    } cases[] = {
        {"F1", quotation[0], {"見　積　依　頼　書", "山田精機株式会社　御中", "RFQ-240101-01　新規", "六角ボルト　Ｍ８×３０", "2024/02/15"}},
        {"F6", order[0], {"注　文　書", "PO-240011　新規", "12,500", "2024/03/01", "7,500"}},
        {"F8", delivery[0], {"納　期　確　認　書", "PO-240012", "取付ブラケット", "回答納期", "0312340000"}},
        {"F12", payables[0], {"買　掛　金　計　上　通　知", "24,300", "24,175", "-125", "検収計上"}},
        {"F7", balance[0], {"注　文　残　高　一　覧", "PO-240011", "400"}},
        {"F5", reminders[0].strFileName, {"見　積　未　回　答　一　覧", "RFQ-240102", "2024/01/24"}},
        {"F11", reminders[1].strFileName, {"納　期　未　回　答　一　覧", "PO-240011", "2024/01/19"}},
        {"F15", unanswered, {"未　処　理　一　覧", "山田精機株式会社　御中"}},
        {"F16", "202401151020309999", {"テ　ス　ト　帳　票", "2024/01/15 10:20:30", "202401151020309999"}},
        {"F13", "202401151020300001x", {"ＦＡＸ送信履歴一覧", "2024/01/10 09:30", "注文書", "OK"}},
        {"F4", quotation[0], {"見積依頼書", "見積依頼番号", "RFQ-240101", "品名", "管理番号　" + quotation[0]}},
        {"F10", delivery[0], {"納期確認書", "注文番号", "回答納期"}},
        {"F14", order[0], {"注文書", "PO-240011", "発注者"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        int pages = 0;
        layout::Workbook wb = makeAndPlan(c.number, c.type, pages);
        EXPECT_GE(pages, 1);
        std::string text = sheetText(wb);
        for (const auto& e : c.expected) EXPECT_NE(text.find(e), std::string::npos) << e << " in " << text;
        // The generic sheet names every field in Japanese, as a business
        // form does, never by its element name.
        if (c.type == "F4" || c.type == "F10" || c.type == "F14")
            for (const auto& [ref, cell] : wb.sheets.at(0).cells)
                if (ref.column == 2 && ref.row > 6) {
                    EXPECT_TRUE(std::any_of(cell.text.begin(), cell.text.end(), [](char ch) { return ch & 0x80; }))
                        << cell.text;
                }
    }
}

TEST_F(ReportMakerTest, FailuresGiveFalseWithTheReasonLogged) {
    Strings order;
    ASSERT_TRUE(builder.makeOrderSheet({"DORE0500_0001"}, order));
    struct Case {
        const char* name;
        Strings files;
        std::string type;
        long error;
    } cases[] = {
        {"unknown report type", {order[0]}, "F2", errnum::InvalidProcedureCall},
        {"no number", {}, "F6", errnum::SubscriptOutOfRange},
        {"no fax document", {"202401010000000001"}, "F6", errnum::FileNotFound},
        {"a number that is a path", {"../data/FAXManageNumber"}, "F6", errnum::BadFileNameOrNumber},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        log.log->clear();
        FaxReportMaker maker;
        std::string workbook = "before";
        bool ok = true;
        maker.makeReport(c.files, c.type, workbook, ok);
        EXPECT_FALSE(ok);
        ASSERT_EQ(errors().size(), 1u);
        EXPECT_EQ(errors()[0].number, c.error);
        EXPECT_EQ(errors()[0].source, "FaxReportMaker");
    }
    // A sheet whose result is no layout is refused before anything is written.
    home.write("Xsl/FR060_Layout.xsl",
               "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
               "<xsl:template match=\"/\"><Workbook><Sheet/></Workbook></xsl:template></xsl:stylesheet>");
    log.log->clear();
    FaxReportMaker maker;
    std::string workbook;
    bool ok = true;
    maker.makeReport({order[0]}, "F6", workbook, ok);
    EXPECT_FALSE(ok);
    EXPECT_FALSE(fs::fileExists(folder("ExcelLayout") + order[0] + ".xls"));
    EXPECT_EQ(errors().size(), 1u);

    // deleteReport takes the layout away again.
    maker.makeReport({order[1]}, "F14", workbook, ok);
    ASSERT_TRUE(ok);
    maker.deleteReport(order[1], ok);
    EXPECT_TRUE(ok);
    EXPECT_FALSE(fs::fileExists(folder("ExcelLayout") + order[1] + ".xls"));
}

TEST(RequestDocumentFactoryTest, MakesARequestRootWithTheKey) {
    RequestDocumentFactory factory;
    xml::Document request;
    factory.createRequest("KEY-0001", request);
    EXPECT_EQ(request.documentElement().nodeName(), "Request");
    EXPECT_EQ(request.selectSingleNode("/Request/ClientCertiKey").text(), "KEY-0001");
    EXPECT_EQ(request.childNodes()[0].text(), "version=\"1.0\" encoding=\"UTF-8\"");
}

}  // namespace
}  // namespace fg::testing
