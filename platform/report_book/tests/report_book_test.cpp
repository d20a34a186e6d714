// The report book fills templates from data files and prints through lp,
// shows through the desktop's viewer, or saves; stand-in programs first on
// PATH record what the printing system and the desktop were asked to do.
#include "platform/report_book/report_book.h"

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/layout/page_export.h"
#include "platform/layout/workbook_file.h"
#include "platform/report_book/tests/stand_in_folder.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_home.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <thread>

namespace fg {
namespace {

using namespace std::chrono_literals;

constexpr const char* kOrderTemplate = R"(<?xml version="1.0" encoding="UTF-8"?>
<Workbook xmlns:xsl="http://www.w3.org/1999/XSL/Transform" xsl:version="1.0">
  <Styles><Style id="Default" font="IPAGothic" size="10"/><Style id="grid" border="thin"/></Styles>
  <Sheet name="注文一覧">
    <Cells>
      <Cell ref="A1">注文番号</Cell>
      <Cell ref="B1"><xsl:value-of select="/ReportData/Data[1]/Order/@No"/></Cell>
      <xsl:for-each select="/ReportData/Data/Order/Item">
        <Cell style="grid"><xsl:attribute name="ref">A<xsl:value-of select="position() + 2"/></xsl:attribute><xsl:value-of select="Name"/></Cell>
      </xsl:for-each>
    </Cells>
  </Sheet>
  <Sheet name="控え"><PageSetup orientation="landscape"/><Cells><Cell ref="A1">控え</Cell></Cells></Sheet>
  <Sheet name="空き"/>
</Workbook>
)";

constexpr const char* kFirstData =
    R"(<?xml version="1.0" encoding="UTF-8"?><Order No="A-1001"><Item><Name>ボルト</Name></Item><Item><Name>ナット</Name></Item></Order>)";
constexpr const char* kSecondData =
    R"(<?xml version="1.0" encoding="Shift_JIS"?><Order No="A-1002"><Item><Name>座金</Name></Item></Order>)";

// A program first on PATH that writes its arguments, one a line, to
// `<name>.args` in the record folder, keeps a copy of its last argument as
// `<name>.file`, and ends with the given exit code (or never, with "hang").
void standIn(const std::string& bin, const std::string& record, const std::string& name, const std::string& end) {
    std::string script = "#!/bin/sh\n"
                         "for last; do :; done\n"
                         "[ -f \"$last\" ] && cp \"$last\" '" + record + name + ".file'\n"
                         "printf '%s\\n' \"$@\" > '" + record + name + ".tmp'\n"
                         "mv '" + record + name + ".tmp' '" + record + name + ".args'\n";
    script += end == "hang" ? "exec sleep 600\n" : "exit " + end + "\n";
    fs::writeFileAtomic(bin + name, script);
    ASSERT_EQ(::chmod((bin + name).c_str(), 0755), 0);
}

class ReportBookTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::makeFolders(dir_ / "temp");
        fs::writeFileAtomic(templatePath, kOrderTemplate);
        fs::writeFileAtomic(data1, kFirstData);
        std::string sjis = kSecondData;
        fs::writeFileAtomic(data2, toShiftJis(sjis));
    }
    void TearDown() override { setClock(nullptr); }
    static std::string toShiftJis(std::string s) {
        // 座金 in code page 932
        std::size_t at = s.find("座金");
        return s.replace(at, std::string("座金").size(), "\x8D\xC0\x8B\xE0");
    }
    bool logged(int code, const std::string& call) const {
        for (const auto& e : log_.log->entries())
            if (e.number == code && e.source == call) return true;
        return false;
    }
    std::string recorded(const std::string& name) const {
        return fs::fileExists(record_ / (name + ".args")) ? fs::readFile(record_ / (name + ".args")) : "";
    }

    testing::TempDir dir_, record_;
    testing::StandInFolder bin_;
    testing::ErrorLogGuard log_;
    std::string templatePath = dir_ / "F90.xlt";
    std::string data1 = dir_ / "order1.xml";
    std::string data2 = dir_ / "order2.xml";
    std::string temp = dir_ / "temp/ImageBook.xls";
    std::string pdf = dir_ / "temp/ImageBook.pdf";
};

TEST_F(ReportBookTest, SaveFillsTheTemplateFromEveryDataFileIntoALayout) {
    ReportBook book(temp);
    const std::string saved = dir_ / "out/report.xls";
    fs::makeFolders(dir_ / "out");
    ASSERT_EQ(book.gCallSaveReport({data1, data2}, templatePath, saved), 0);

    layout::Workbook wb = layout::readWorkbook(saved);
    ASSERT_EQ(wb.sheets.size(), 3u);
    const layout::Sheet& s = wb.sheets[0];
    EXPECT_EQ(s.cell({1, 2})->text, "A-1001");
    EXPECT_EQ(s.cell({3, 1})->text, "ボルト");
    EXPECT_EQ(s.cell({4, 1})->text, "ナット");
    EXPECT_EQ(s.cell({5, 1})->text, "座金");  // from the Shift_JIS file
    EXPECT_EQ(s.cell({5, 1})->style, "grid");
    EXPECT_EQ(wb.sheets[1].pageSetup.orientation, layout::Orientation::Landscape);
    // The temporary workbook holds the same filled layout.
    EXPECT_EQ(layout::readWorkbook(temp), wb);

    auto lint = testing::runProgram({"xmllint", "--noout", saved});
    EXPECT_EQ(lint.exitCode, 0) << lint.errors;

    // A template without xsl:version is a fixed form.
    fs::writeFileAtomic(dir_ / "fixed.xlt", "<Workbook><Sheet><Cells><Cell ref=\"C2\">固定</Cell></Cells></Sheet></Workbook>");
    ASSERT_EQ(book.gCallSaveReport({data1}, dir_ / "fixed.xlt", saved), 0);
    EXPECT_EQ(layout::readWorkbook(saved).sheets[0].cell({2, 3})->text, "固定");
}

TEST_F(ReportBookTest, PrintHandsOnePdfOfThePrintedSheetsToLpWithPrinterAndCopies) {
    standIn(bin_.path(), record_.path(), "lp", "0");
    ReportBook book(temp);
    ASSERT_EQ(book.gCallPrintReport({data1, data2}, templatePath, 2, "office-2F"), 0);
    EXPECT_EQ(recorded("lp"), "-d\noffice-2F\n-n\n2\n" + pdf + "\n");
    // Both printed sheets, each in its own orientation; the blank one gives no page.
    const std::string printed = fs::readFile(record_ / "lp.file");
    ASSERT_EQ(printed.rfind("%PDF", 0), 0u);
    EXPECT_EQ(layout::exportPages(record_ / "lp.file", dir_ / "page.bmp").size(), 2u);
    EXPECT_NE(printed.find("595.275"), std::string::npos);
    EXPECT_NE(printed.find("841.889"), std::string::npos);
    EXPECT_FALSE(fs::fileExists(pdf));  // lp has it; the copy is gone
    EXPECT_TRUE(fs::fileExists(temp));  // the caller decides about the workbook

    // No printer named: the system's default destination.
    ASSERT_EQ(book.gCallPrintReport({data1}, templatePath, 1, ""), 0);
    EXPECT_EQ(recorded("lp"), "-n\n1\n" + pdf + "\n");
}

TEST_F(ReportBookTest, EveryFailureAnswersItsOwnCodeAndIsLogged) {
    const std::string bad = dir_ / "bad.xlt";
    struct Case {
        const char* what;
        std::string templateText;  // "" keeps the order template
        std::vector<std::string> files;
        std::string lp;  // exit code of the stand-in lp, "" for none on PATH
        int copies;
        int code;
    };
    const std::string broken = dir_ / "broken.xml";
    fs::writeFileAtomic(broken, "<Order><Item></Order>");
    const Case cases[] = {
        {"no data file", "", {}, "0", 1, ReportBook::kNoDataFile},
        {"template no XML", "<Workbook>", {data1}, "0", 1, ReportBook::kTemplateUnreadable},
        {"template bad XSLT",
         R"(<Workbook xmlns:xsl="http://www.w3.org/1999/XSL/Transform" xsl:version="1.0"><xsl:value-of/></Workbook>)",
         {data1}, "0", 1, ReportBook::kTemplateUnreadable},
        {"data no XML", "", {data1, broken}, "0", 1, ReportBook::kDataUnreadable},
        {"filled is no layout", "<Workbook><Sheet><Cells><Cell ref=\"ZZZ1\"/></Cells></Sheet></Workbook>", {data1},
         "0", 1, ReportBook::kFillFailed},
        {"nothing to print", "<Workbook><Sheet/></Workbook>", {data1}, "0", 1, ReportBook::kNothingToPrint},
        {"no copies", "", {data1}, "0", 0, ReportBook::kBadCopies},
        {"no lp", "", {data1}, "", 1, ReportBook::kNoPrintCommand},
        {"lp refuses", "", {data1}, "1", 1, ReportBook::kPrintRefused},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        log_.log->clear();
        (void)fs::removeFile(bin_ / "lp");
        if (!c.lp.empty()) standIn(bin_.path(), record_.path(), "lp", c.lp);
        std::string tpl = templatePath;
        if (!c.templateText.empty()) {
            fs::writeFileAtomic(bad, c.templateText);
            tpl = bad;
        }
        // Where the path holds no lp at all, only the stand-in folder is searched.
        if (c.lp.empty()) ::setenv("PATH", bin_.path().c_str(), 1);
        ReportBook book(temp);
        EXPECT_EQ(book.gCallPrintReport(c.files, tpl, c.copies, "p1"), c.code);
        bin_.firstOnPath();
        EXPECT_TRUE(logged(c.code, "gCallPrintReport"));
        EXPECT_FALSE(fs::fileExists(pdf));
    }

    log_.log->clear();
    ReportBook book(temp);
    EXPECT_EQ(book.gCallSaveReport({data1}, templatePath, dir_ / "missing/report.xls"), ReportBook::kSaveWriteFailed);
    EXPECT_TRUE(logged(ReportBook::kSaveWriteFailed, "gCallSaveReport"));
    ReportBook nowhere(dir_ / "missing/ImageBook.xls");
    EXPECT_EQ(nowhere.gCallPreviewReport({data1}, templatePath), ReportBook::kTempWriteFailed);
    EXPECT_TRUE(logged(ReportBook::kTempWriteFailed, "gCallPreviewReport"));
}

TEST_F(ReportBookTest, AFailedCallLeavesNoEarlierReportBehind) {
    ReportBook book(temp);
    ASSERT_EQ(book.gCallPreviewReport({data1}, templatePath), 0);
    ASSERT_TRUE(fs::fileExists(temp));
    ASSERT_TRUE(fs::fileExists(pdf));
    EXPECT_EQ(book.gCallPreviewReport({dir_ / "gone.xml"}, templatePath), ReportBook::kDataUnreadable);
    EXPECT_FALSE(fs::fileExists(temp));
    EXPECT_FALSE(fs::fileExists(pdf));
}

TEST_F(ReportBookTest, PreviewOpensTheViewerOnlyWhereADisplayExists) {
    standIn(bin_.path(), record_.path(), "xdg-open", "0");
    ReportBook book(temp);
    ASSERT_EQ(book.gCallPreviewReport({data1}, templatePath), 0);
    EXPECT_EQ(fs::readFile(pdf).rfind("%PDF", 0), 0u);
    EXPECT_TRUE(fs::fileExists(temp));

    ::setenv("DISPLAY", ":7", 1);
    ASSERT_EQ(book.gCallPreviewReport({data1}, templatePath), 0);
    ::unsetenv("DISPLAY");
    // The viewer runs on its own; wait, within a bound, for its record.
    testing::eventually([&] { return !recorded("xdg-open").empty(); });
    EXPECT_EQ(recorded("xdg-open"), pdf + "\n");
    EXPECT_TRUE(fs::fileExists(pdf));

    // Nothing was opened the first time.
    (void)fs::removeFile(record_ / "xdg-open.args");
    ASSERT_EQ(book.gCallPreviewReport({data1}, templatePath), 0);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(recorded("xdg-open"), "");

    (void)fs::removeFile(bin_ / "xdg-open");
    ::setenv("WAYLAND_DISPLAY", "wayland-0", 1);
    ::setenv("PATH", bin_.path().c_str(), 1);
    EXPECT_EQ(book.gCallPreviewReport({data1}, templatePath), ReportBook::kNoViewer);
    ::unsetenv("WAYLAND_DISPLAY");
}

TEST_F(ReportBookTest, AnLpThatNeverEndsIsStoppedWithinItsBound) {
    setClock(std::make_shared<ScaledClock>(0.001));
    standIn(bin_.path(), record_.path(), "lp", "hang");
    ReportBook book(temp);
    EXPECT_EQ(book.gCallPrintReport({data1}, templatePath, 1, "p1"), ReportBook::kPrintTimedOut);
    EXPECT_TRUE(logged(ReportBook::kPrintTimedOut, "gCallPrintReport"));
    EXPECT_FALSE(fs::fileExists(pdf));
}

}  // namespace
}  // namespace fg
