// The answer builders on variations of the shipped samples: what stops an
// answer (and that nothing of a stopped answer goes up), the choices between
// documents, and the values of quotation lines.
#include "answer_fixture.h"

#include "platform/testing/error_of.h"
#include "telephony/answer_support.h"

namespace fg::testing {
namespace {

namespace rc = TelephonyResultCode;
using telephony::Decimal;

using DeliveryRules = AnswerHome;

TEST_F(DeliveryRules, ADocumentThatDoesNotFitStopsTheAnswerAndNothingIsUploaded) {
    const std::string received = kDeliveryAnswer + ".xml";
    const std::string base = "base" + kSentConfirmation + ".xml";
    struct Case {
        std::string what;
        std::function<void()> change;
        long number;          // logged by makeDeliveryAnswer
        std::size_t builtBefore;  // answers built before the build stopped
    } cases[] = {
        {"received document missing", [&] { (void)fs::removeFile(sent(received)); }, errnum::FileNotFound, 0},
        {"no reference elements", [&] { edit(received, "RefNum>", "Ref>"); }, errnum::SubscriptOutOfRange, 0},
        // Three references left for five rows of the approved form.
        {"more rows than references",
         [&] {
             edit(received, "<RefNum>1</RefNum>", "<Ref>1</Ref>");
             edit(received, "<RefNum>9</RefNum>", "<Ref>9</Ref>");
         },
         errnum::SubscriptOutOfRange, 0},
        {"a row without its delivery code",
         [&] { edit(received, "<NoteMark></NoteMark>\n        <DeliveryCode>1</DeliveryCode>", "<NoteMark/>"); },
         errnum::ObjectNotSet, 0},
        {"a quantity that is no number", [&] { edit(received, "<Quantity3S>25<", "<Quantity3S>2.5<"); },
         errnum::TypeMismatch, 0},
        {"a delivery code that is no number", [&] { edit(received, ">12</DeliveryCode>", ">A</DeliveryCode>"); },
         errnum::TypeMismatch, 1},
        {"an empty delivery code", [&] { edit(received, "> 3 </DeliveryCode>", "></DeliveryCode>"); },
         errnum::TypeMismatch, 3},
        {"a line without its order number", [&] { edit(base, "<Order-number>PO-240102</Order-number>", ""); },
         errnum::ObjectNotSet, 2},
        // In its place, but under another name.
        {"a confirmation without its customer code",
         [&] {
             edit(base, "<Customer-code>C0001</Customer-code><Supplier-code>S0001</Supplier-code><Customer-name-K>",
                  "<Customer-kode>C0001</Customer-kode><Supplier-code>S0001</Supplier-code><Customer-name-K>");
         },
         errnum::ObjectNotSet, 0},
        {"sent documents missing",
         [&] {
             (void)fs::removeFile(sent(base));
             (void)fs::removeFile(sent(kSentConfirmation + ".xml"));
         },
         errnum::FileNotFound, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        startCase(c.change);
        TelephonyControl control;
        std::vector<xml::Document> built;
        EXPECT_FALSE(control.makeDeliveryAnswer(kDeliveryAnswer, built));
        EXPECT_EQ(built.size(), c.builtBefore);
        std::string number = kDeliveryAnswer;
        EXPECT_EQ(control.dataDecision(number, kSupplierFax), rc::Failed);
        auto entries = telephonyLog();
        ASSERT_EQ(entries.size(), 3u);
        EXPECT_EQ(entries[0].source, "makeDeliveryAnswer");
        EXPECT_EQ(entries[0].number, c.number) << entries[0].description;
        EXPECT_EQ(entries[2].description, "回答データ作成失敗");
        EXPECT_EQ(condition(kDeliveryAnswer), "9");
        EXPECT_TRUE(uploads().empty());
    }
}

TEST_F(DeliveryRules, WhichDocumentsAreReadAndWhatTheyMark) {
    const std::string received = kDeliveryAnswer + ".xml";
    const std::string base = "base" + kSentConfirmation + ".xml";
    struct Case {
        std::string what;
        std::function<void()> change;
        std::size_t answers;
        std::string test;             // TEST of the answers
        std::string correctionCode;  // of the first answer
    } cases[] = {
        {"as shipped", [] {}, 4, "0", "A"},
        // Without its base copy the fax document is read, codes in words.
        {"no base copy", [&] { (void)fs::removeFile(sent(base)); }, 4, "0", "新規"},
        // A confirmation that is not the one the form names answers nothing.
        {"another confirmation", [&] { edit(base, "<RepManageNo>" + kSentConfirmation, "<RepManageNo>X"); }, 0, "", ""},
        // The test mark of the last form found counts, whichever form it is on.
        {"test mark", [&] { edit(received, "<EnploymentMode></EnploymentMode>\n  </JPTRM>\n</JPTRMROOT>",
                                 "<EnploymentMode>●</EnploymentMode>\n  </JPTRM>\n</JPTRMROOT>"); },
         4, "1", "A"},
        {"no test mark", [&] { edit(received, "<EnploymentMode></EnploymentMode>", ""); }, 4, "", "A"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        startCase(c.change);
        TelephonyControl control;
        std::vector<xml::Document> built;
        EXPECT_TRUE(control.makeDeliveryAnswer(kDeliveryAnswer, built));
        ASSERT_EQ(built.size(), c.answers);
        for (const auto& doc : built) {
            xml::Node jptrm = doc.selectSingleNode("/DORE0702/JPTRM");
            EXPECT_TRUE(jptrm.hasAttribute("TEST"));
            EXPECT_EQ(jptrm.getAttribute("TEST"), c.test);
        }
        if (!built.empty()) {
            EXPECT_EQ(built[0].selectSingleNode("/DORE0702/JPTRM/Correction-code").text(), c.correctionCode);
        } else {
            // A decision that found nothing to answer is a failure, not a decision.
            std::string number = kDeliveryAnswer;
            EXPECT_EQ(control.dataDecision(number, kSupplierFax), rc::Failed);
            EXPECT_EQ(condition(kDeliveryAnswer), "9");
            EXPECT_TRUE(uploads().empty());
        }
    }
}

using QuotationRules = AnswerHome;

TEST_F(QuotationRules, AnyErrorInTheQuotationFailsTheWholeAnswerAndNothingIsUploaded) {
    const std::string received = kQuotation + ".xml";
    const std::string first = "base" + kRequests[0] + ".xml";
    struct Case {
        std::string what;
        std::function<void()> change;
        long number;
    } cases[] = {
        {"received document missing", [&] { (void)fs::removeFile(sent(received)); }, errnum::FileNotFound},
        // The second line's quantity is no number: the first line was fine.
        {"a quantity that is no number", [&] { edit(received, "<Quotation-quantity>50<", "<Quotation-quantity>1.5<"); },
         errnum::TypeMismatch},
        {"a rate that is no number", [&] { edit(received, "<Consumption-tax-rateS>5<", "<Consumption-tax-rateS>5-1<"); },
         errnum::TypeMismatch},
        {"a request of two JPTRM",
         [&] { fs::writeFileAtomic(sent(first), "<?xml version=\"1.0\"?><R><JPTRM/><JPTRM/></R>"); },
         errnum::InvalidProcedureCall},
        {"a first request without JPTRM", [&] { fs::writeFileAtomic(sent(first), "<?xml version=\"1.0\"?><R/>"); },
         errnum::ObjectNotSet},
        {"request documents missing",
         [&] {
             (void)fs::removeFile(sent(first));
             (void)fs::removeFile(sent(kRequests[0] + ".xml"));
         },
         errnum::FileNotFound},
        {"management file missing", [&] { (void)fs::removeFile(home.folder("FaxManageNum") + FaxManageNum::kFileName); },
         errnum::FileNotFound},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        startCase(c.change);
        TelephonyControl control;
        std::vector<xml::Document> built;
        EXPECT_FALSE(control.makeEstimatAnswer(kSupplierFax, kQuotation, built));
        EXPECT_TRUE(built.empty());
        auto entries = telephonyLog();
        ASSERT_FALSE(entries.empty());
        EXPECT_EQ(entries[0].source, "makeEstimatAnswer");
        EXPECT_EQ(entries[0].number, c.number) << entries[0].description;
        if (c.what != "management file missing") {
            std::string number = kQuotation;
            EXPECT_EQ(control.dataDecision(number, kSupplierFax), rc::Failed);
            EXPECT_EQ(condition(kQuotation), "9");
        }
        EXPECT_TRUE(uploads().empty());
    }
}

TEST_F(QuotationRules, TheAnswerIsFoundByNumberAndFaxAndHasOneReplyPerRequestDocument) {
    TelephonyControl control;
    std::vector<xml::Document> built;
    // One character off in the fax number: not this supplier's record.
    EXPECT_TRUE(control.makeEstimatAnswer("0312345670", kQuotation, built));
    EXPECT_TRUE(built.empty());

    // The second request's record names two documents: both are answered.
    std::string store = home.folder("FaxManageNum") + FaxManageNum::kFileName;
    std::string text = fs::readFile(store);
    std::string name = "<FAXSendXMLFileName>" + kRequests[1] + "</FAXSendXMLFileName>";
    text.replace(text.find(name), name.size(), name + "<FAXSendXMLFileName>" + kRequests[2] + "</FAXSendXMLFileName>");
    fs::writeFileAtomic(store, text);
    EXPECT_TRUE(control.makeEstimatAnswer(kSupplierFax, kQuotation, built));
    ASSERT_EQ(built.size(), 1u);
    std::vector<std::string> replies;
    for (const auto& n : built[0].selectNodes("/DORE0302/JPTRM/PACAGE/REPLY/RFQ-number")) replies.push_back(n.text());
    EXPECT_EQ(replies, (std::vector<std::string>{"RFQ-240201", "RFQ-240202", "RFQ-240203", "RFQ-240203"}));
    EXPECT_TRUE(telephonyLog().empty());
}

TEST_F(QuotationRules, TheTestMarkAndTheQuotationNumberComeFromThisAnswersForm) {
    const std::string received = kQuotation + ".xml";
    struct Case {
        std::string what, from, to;
        bool hasTest;
        std::string test, number, remarks;
    } cases[] = {
        // Any text is a test mark, "0" included.
        {"mark 0", "<EnploymentMode></EnploymentMode>\n    <AnswerDate>", "<EnploymentMode>0</EnploymentMode>\n    <AnswerDate>",
         true, "1", "2401-0022", "2401-0022"},
        {"no mark", "<EnploymentMode></EnploymentMode>\n    <AnswerDate>", "<AnswerDate>", false, "", "2401-0022",
         "2401-0022"},
        // No quotation number on this form: the remarks of a marked line are
        // empty, never an earlier answer's number.
        {"no quotation number", "<ReportConfirmNo>Q2401-0022</ReportConfirmNo>", "", true, "0", "<none>", ""},
    };
    TelephonyControl control;  // one object for all: nothing may carry over
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        startCase([&] { edit(received, c.from, c.to); });
        std::vector<xml::Document> built;
        ASSERT_TRUE(control.makeEstimatAnswer(kSupplierFax, kQuotation, built));
        ASSERT_EQ(built.size(), 1u);
        xml::Node jptrm = built[0].selectSingleNode("/DORE0302/JPTRM");
        EXPECT_EQ(jptrm.hasAttribute("TEST"), c.hasTest);
        EXPECT_EQ(jptrm.getAttribute("TEST"), c.test);
        xml::Node number = jptrm.selectSingleNode("Quotation-number");
        EXPECT_EQ(number ? number.text() : "<none>", c.number);
        EXPECT_EQ(jptrm.selectSingleNode("PACAGE/REPLY/Supplier-remarks-K").text(), c.remarks);
    }
}

// Two received records of one number (a store an operator mended by hand):
// the second form has no quotation number, and its marked line says none.
TEST_F(QuotationRules, EachAnswerOfOneCallCarriesOnlyItsOwnQuotationNumber) {
    const std::string second = "202401221000000009";
    fs::writeFileAtomic(sent(second + ".xml"), fs::readFile(sent(kQuotation + ".xml")));
    edit(second + ".xml", "<ReportConfirmNo>Q2401-0022</ReportConfirmNo>", "");
    const std::string storePath = home.folder("FaxManageNum") + FaxManageNum::kFileName;
    std::string text = fs::readFile(storePath);
    const std::size_t start = text.rfind("<FAXManageNum>"), end = text.rfind("</FAXManageNums>");
    std::string copy = text.substr(start, end - start);
    const std::string listed = "<FAXSendXMLFileName>" + kQuotation + "<";
    ASSERT_NE(copy.find(listed), std::string::npos);
    copy.replace(copy.find(listed), listed.size(), "<FAXSendXMLFileName>" + second + "<");
    text.insert(end, copy);
    fs::writeFileAtomic(storePath, text);

    TelephonyControl control;
    std::vector<xml::Document> built;
    ASSERT_TRUE(control.makeEstimatAnswer(kSupplierFax, kQuotation, built));
    ASSERT_EQ(built.size(), 2u);
    EXPECT_EQ(built[0].selectSingleNode("/DORE0302/JPTRM/PACAGE/REPLY/Supplier-remarks-K").text(), "2401-0022");
    EXPECT_FALSE(built[1].selectSingleNode("/DORE0302/JPTRM/Quotation-number"));
    EXPECT_EQ(built[1].selectSingleNode("/DORE0302/JPTRM/PACAGE/REPLY/Supplier-remarks-K").text(), "");
}

TEST_F(QuotationRules, TheCorrectionCodeIsCUnlessTheRequestsSayOnlyA) {
    auto request = [&](const std::string& name, const std::string& code) {
        std::string body = code == "-" ? "" : "<Correction-code>" + code + "</Correction-code>";
        fs::writeFileAtomic(sent("base" + name + ".xml"), "<?xml version=\"1.0\"?><JPTRM>" + body + "</JPTRM>");
    };
    request("RA", "A");
    request("RC", "C");
    request("RE", "");
    request("RN", "-");
    // The last JPTRM that holds a code decides for its document.
    fs::writeFileAtomic(sent("baseRCA.xml"),
                        "<?xml version=\"1.0\"?><R><JPTRM><Correction-code>C</Correction-code></JPTRM>"
                        "<JPTRM><X><Correction-code>A</Correction-code></X></JPTRM><JPTRM/></R>");
    struct Case {
        std::vector<std::string> names;
        std::string code;
    } cases[] = {
        {{"RA", "RC", "RE"}, "C"}, {{"RA", "RE"}, "A"}, {{"RE", "RN"}, "C"}, {{}, "C"},
        {{"RA", "MISSING"}, "A"},  {{"RCA"}, "A"},      {{"RCA", "RC"}, "C"},
    };
    TelephonyControl control;
    for (const Case& c : cases) EXPECT_EQ(control.getCorrectionCode(home.folder("FaxSendXML"), c.names), c.code);
    EXPECT_TRUE(telephonyLog().empty());
}

// One request of one row and one recognised line: the line's values.
class QuotationLine : public SampleHome {
protected:
    struct Line {
        std::string amount, total, ground, tax, rate;
    };
    Line reply(const std::string& recognised, const std::string& rows = "<JPM001><JPM001R/></JPM001>") {
        xml::Document request, received;
        EXPECT_TRUE(request.loadXML("<JPTRM>" + rows + "</JPTRM>"));
        EXPECT_TRUE(received.loadXML("<JPM001R>" + recognised + "</JPM001R>"));
        xml::Document answer;
        xml::Node pacage = answer.appendChild(answer.createElement("PACAGE"));
        TelephonyControl().makeEstRequest_Re(answer, request, pacage, 1, received.documentElement());
        auto text = [&](const char* path) {
            xml::Node n = pacage.selectSingleNode(path);
            return n ? n.text() : std::string("<none>");
        };
        return {text("REPLY/JPM001/JPM001R/Quotation-amount-Y"), text("REPLY/Quotation-total-amount-Y"),
                text("REPLY/Ground-total-Y"), text("REPLY/Consumption-tax-amount-Y"), text("REPLY/Consumption-tax-rate")};
    }
};

TEST_F(QuotationLine, AmountsTaxesAndTotalsAreExactAndRoundHalvesAway) {
    auto q = [](const std::string& quantity, const std::string& price, const std::string& rate,
                const std::string& code) {
        return "<Quotation-quantity>" + quantity + "</Quotation-quantity><Quotation-unit-price-Y>" + price +
               "</Quotation-unit-price-Y><Consumption-tax-rate>" + rate + "</Consumption-tax-rate>" +
               "<Consumption-tax-code>" + code + "</Consumption-tax-code>";
    };
    struct Case {
        std::string recognised;
        Line line;
    } cases[] = {
        {q("1,200", "350", "", "") + "<Quotation-unit-price-YS>5</Quotation-unit-price-YS>",
         {"420600", "420600", "420600", "0", "0.0"}},
        {q("1", "2", "", "") + "<Quotation-unit-price-YS>5</Quotation-unit-price-YS>", {"3", "3", "3", "0", "0.0"}},
        {q("12345", "1", "5", ""), {"12345", "12345", "12962.25", "617.25", "5.0"}},
        {q("10000", "1", "8", "0"), {"10000", "10000", "10800", "800", "8.0"}},
        {q("10000", "1", "8", "1"), {"10000", "10000", "10000", "", "8.0"}},
        {q("-3", "2", "", "") + "<Quotation-unit-price-YS>5</Quotation-unit-price-YS>", {"-8", "-8", "-8", "0", "0.0"}},
        // 0.35 times 10 is a half exactly, whatever binary fractions make of it.
        {"<Quotation-quantityS>35</Quotation-quantityS><Quotation-unit-price-Y>10</Quotation-unit-price-Y>",
         {"4", "4", "4", "0", "0.0"}},
        {q("100", "98", "8", "") + "<Consumption-tax-rateS>5</Consumption-tax-rateS>",
         {"9800", "9800", "10633", "833", "8.5"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.recognised);
        Line line = reply(c.recognised);
        EXPECT_EQ(line.amount, c.line.amount);
        EXPECT_EQ(line.total, c.line.total);
        EXPECT_EQ(line.ground, c.line.ground);
        EXPECT_EQ(line.tax, c.line.tax);
        EXPECT_EQ(line.rate, c.line.rate);
    }
    // A request without rows still gets its totals.
    Line none = reply(q("5", "100", "10", ""), "");
    EXPECT_EQ(none.amount, "<none>");
    EXPECT_EQ(none.total, "0");
    EXPECT_EQ(none.ground, "0");
    EXPECT_EQ(none.tax, "0");
    EXPECT_EQ(none.rate, "10.0");
}

TEST(AnswerValues, DecimalsAndDatesAreWrittenAsTheServerReadsThem) {
    struct Number {
        std::string text;
        int places;
        std::string fixed, general;
    } numbers[] = {
        {"12.", 3, "12.000", "12"},      {".5", 3, "0.500", "0.5"},        {"1200.0", 0, "1200", "1200"},
        {"0.0005", 3, "0.001", "0.0005"}, {"-0.0004", 3, "0.000", "-0.0004"}, {"2.5", 0, "3", "2.5"},
        {"-2.5", 0, "-3", "-2.5"},      {"007.50", 1, "7.5", "7.5"},      {"987.60", 2, "987.60", "987.6"},
        {"1.0005", 3, "1.001", "1.0005"},
    };
    for (const Number& n : numbers) {
        SCOPED_TRACE(n.text);
        Decimal d = Decimal::parse(n.text, "値");
        EXPECT_EQ(d.fixed(n.places), n.fixed);
        EXPECT_EQ(d.general(), n.general);
    }
    for (const char* bad : {"", "-", "1.2.3", "1-2", "--1", "12a", "１２"})
        EXPECT_EQ(errorOf([&] { Decimal::parse(bad, "値"); }), errnum::TypeMismatch) << bad;
    EXPECT_EQ(errorOf([] { Decimal::parse("1234567890123456789012345678901", "値"); }), errnum::Overflow);
    Decimal big = Decimal::parse("999999999999999999999", "値");
    EXPECT_EQ(errorOf([&] { big* big; }), errnum::Overflow);
    EXPECT_EQ(errorOf([&] { big + big; }), 0);

    struct Date {
        std::string text, written;
    } dates[] = {
        {"2001/02/03", "20010203"}, {"2001/2/3", "20010203"}, {"20010203", "20010203"}, {"01/02/03", "01/02/03"},
        {"2001-02-03", "2001-02-03"}, {"2001/02/30", "2001/02/30"}, {"2000/02/29", "20000229"},
        {"1900/02/29", "1900/02/29"}, {"2001/13/01", "2001/13/01"}, {"2001/02", "2001/02"},
        {"２００１/02/03", "２００１/02/03"}, {"", ""},
    };
    for (const Date& d : dates) EXPECT_EQ(telephony::dateRule(d.text), d.written) << d.text;
}

}  // namespace
}  // namespace fg::testing
