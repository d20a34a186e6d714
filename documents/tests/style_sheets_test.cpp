// The installed style sheets against the real libxslt tools: every sheet and
// every file the builders write passes xmllint, and each builder's output is
// what xsltproc makes of the same in-memory document with the same sheets.
#include "documents/tests/builder_fixture.h"
#include "platform/testing/run_program.h"

#include <functional>

namespace fg::testing {
namespace {

using Strings = std::vector<std::string>;

std::string canonical(const std::string& path) {
    auto run = runProgram({"xmllint", "--c14n", path});
    EXPECT_EQ(run.exitCode, 0) << path << ": " << run.output;
    return run.output;
}

// The document as UTF-8 text for xsltproc: some builders declare shift-jis,
// and xsltproc's own Shift_JIS table maps a few characters (the full-width
// minus) differently from code page 932, which the system writes.
std::string utf8(const xml::Document& document) {
    std::string text = document.xml();
    auto at = text.find("encoding=\"shift-jis\"");
    if (at != std::string::npos && at < text.find('>')) text.replace(at, 20, "encoding=\"UTF-8\"");
    return text;
}

class StyleSheetTest : public BuilderTest {
protected:
    // xsltproc of the sheets, in order, over a saved copy of the document.
    std::string xsltproc(const xml::Document& document, const Strings& sheets) {
        std::string input = tmp / ("in" + std::to_string(step_) + ".xml");
        fs::writeFileAtomic(input, utf8(document));
        for (const auto& sheet : sheets) {
            std::string output = tmp / ("out" + std::to_string(step_++) + ".xml");
            auto run = runProgram({"xsltproc", "-o", output, folder("Xsl") + sheet, input});
            EXPECT_EQ(run.exitCode, 0) << sheet << ": " << run.output;
            input = output;
        }
        return canonical(input);
    }
    TempDir tmp;
    int step_ = 0;
};

TEST_F(StyleSheetTest, EveryInstalledSheetIsWellFormedXslt) {
    auto sheets = fs::list(folder("Xsl"), "*.xsl");
    EXPECT_GE(sheets.size(), 14u);
    for (const auto& s : sheets) {
        auto run = runProgram({"xmllint", "--noout", folder("Xsl") + s});
        EXPECT_EQ(run.exitCode, 0) << s << run.output;
    }
    auto table = runProgram({"xmllint", "--noout", folder("Xsl") + "StandardCode_jp.xml"});
    EXPECT_EQ(table.exitCode, 0) << table.output;
}

TEST_F(StyleSheetTest, BuildersWriteWhatXsltprocMakesOfTheirDocuments) {
    std::map<std::string, xml::Document> seen;
    builder.setDocumentObserver([&](const std::string& n, const xml::Document& d) { seen[n] = d.clone(); });
    struct Case {
        const char* name;
        std::function<Strings()> build;
        Strings faxSheets;   // the fax document
        Strings baseSheets;  // the base copy, when the sheets make it
    };
    Case cases[] = {
        {"delivery-date confirmation",
         [&] { Strings o; EXPECT_TRUE(builder.makeLimitConfirmList({"DORE0701_0001", "DORE0701_0002"}, o)); return o; },
         {"FR080_ChangeCode.xsl", "FR080_ChangeStructure.xsl"}, {"FR080_ChangeStructure.xsl"}},
        {"quotation request",
         [&] { Strings o; EXPECT_TRUE(builder.makeEstiRequest({"DORE0301_0001", "DORE0301_0002"}, o)); return o; },
         {"FR010_ChangeCode.xsl", "FR010_ChangeStructure.xsl"}, {}},
        {"order sheet", [&] { Strings o; EXPECT_TRUE(builder.makeOrderSheet({"DORE0500_0001"}, o)); return o; },
         {"FR060_ChangeCode.xsl", "FR060_ChangeStructure.xsl"}, {}},
        {"payables notice", [&] { Strings o; EXPECT_TRUE(builder.makeCreditDetail({"DORE1101_0001"}, o)); return o; },
         {"FR120_ChangeCode.xsl", "FR120_ChangeStructure.xsl"}, {}},
        {"order balance",
         [&] { Strings o; EXPECT_TRUE(builder.makeOderBalanceList({"DORE0601_0001"}, o, "0312345679")); return o; },
         {"FR070_ChangeCode.xsl", "FR070_ChangeStructure.xsl"}, {}},
        {"reminders",
         [&] {
             std::vector<WORKTABLE> t;
             EXPECT_TRUE(builder.makeEstimLimitList({"Reminder_0001.xml"}, t));
             Strings o;
             for (auto& w : t) o.push_back(w.strFileName);
             return o;
         },
         {}, {}},
        {"unanswered items",
         [&] { std::string n; EXPECT_TRUE(builder.makeFAXTransaction("0312345679", n)); return Strings{n}; },
         {"FR150_ChangeStructure.xsl"}, {}},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        seen.clear();
        Strings numbers = c.build();
        ASSERT_FALSE(numbers.empty());
        for (const auto& n : numbers) {
            SCOPED_TRACE(n);
            ASSERT_EQ(seen.count(n), 1u);
            std::string fax = folder("FaxSendXML") + n + ".xml";
            ASSERT_EQ(runProgram({"xmllint", "--noout", fax}).exitCode, 0);
            Strings sheets = c.faxSheets;
            if (sheets.empty()) {
                bool rfq = seen[n].selectSingleNode("/FAX-reminders/FAX-reminder/KEY/RFQ-number") ? true : false;
                sheets = {rfq ? "FR050_ChangeStructure.xsl" : "FR110_ChangeStructure.xsl"};
            }
            if (c.faxSheets == Strings{"FR150_ChangeStructure.xsl"}) {
                // The builder writes the addressee into the result afterwards.
                xml::Document expected;
                std::string out = tmp / "fr150.xml";
                fs::writeFileAtomic(tmp / "fr150in.xml", utf8(seen[n]));
                ASSERT_EQ(runProgram({"xsltproc", "-o", out, folder("Xsl") + sheets[0], tmp / "fr150in.xml"}).exitCode, 0);
                ASSERT_TRUE(expected.load(out));
                for (const char* f : {"SendCompanyName", "SendPostName", "SendChargeName", "SendFAXNum"})
                    expected.selectSingleNode(std::string("/JPTRM/") + f)
                        .setText(loadSent(n).selectSingleNode(std::string("/JPTRM/") + f).text());
                expected.save(out);
                EXPECT_EQ(canonical(fax), canonical(out));
                continue;
            }
            EXPECT_EQ(canonical(fax), xsltproc(seen[n], sheets));
            if (!c.baseSheets.empty()) {
                std::string base = folder("FaxSendXML") + "base" + n + ".xml";
                EXPECT_EQ(canonical(base), xsltproc(seen[n], c.baseSheets));
            } else if (fs::fileExists(folder("FaxSendXML") + "base" + n + ".xml")) {
                ASSERT_EQ(runProgram({"xmllint", "--noout", folder("FaxSendXML") + "base" + n + ".xml"}).exitCode, 0);
            }
        }
    }
}

}  // namespace
}  // namespace fg::testing
