// Report printing: the checks of the data files, the template and the save
// name come first; then the report book prints (through a stand-in lp on
// PATH that records its call), shows or saves, and its result is the call's.
#include "fax_images/lustov/create_report_ctl.h"

#include "platform/error.h"
#include "platform/file_lock.h"
#include "platform/files.h"
#include "platform/report_book/report_book.h"
#include "platform/report_book/tests/stand_in_folder.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_home.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace fg {
namespace {

constexpr const char* kTemplate = R"xlt(<?xml version="1.0" encoding="UTF-8"?>
<Workbook xmlns:xsl="http://www.w3.org/1999/XSL/Transform" xsl:version="1.0">
  <Sheet name="帳票">
    <Cells>
      <Cell ref="A1">取引先</Cell>
      <xsl:for-each select="/ReportData/Data">
        <Cell><xsl:attribute name="ref">B<xsl:value-of select="position()"/></xsl:attribute><xsl:value-of select="Maker/Name"/></Cell>
      </xsl:for-each>
    </Cells>
  </Sheet>
</Workbook>
)xlt";

class CreateReportCtlTest : public ::testing::Test {
protected:
    void SetUp() override {
        home_.write("ReportID/R01.xlt", kTemplate);
        home_.write("data/m1.xml", "<Maker><Name>東和精機</Name></Maker>");
        home_.write("data/m2.xml", "<Maker><Name>北辰工業</Name></Maker>");
        lp(0);
    }

    // The stand-in lp records its arguments and ends with `exitCode`.
    void lp(int exitCode) {
        const std::string script = "#!/bin/sh\nprintf '%s\\n' \"$@\" >> '" + record_ + "'\nexit " +
                                   std::to_string(exitCode) + "\n";
        fs::writeFileAtomic(bin_ / "lp", script);
        ASSERT_EQ(::chmod((bin_ / "lp").c_str(), 0755), 0);
    }
    std::string lpCalls() const { return fs::fileExists(record_) ? fs::readFile(record_) : ""; }
    int16_t print(CreateReportCtl& ctl, const std::vector<std::string>& files, const std::string& id,
                  int16_t copies = 1, const std::string& printer = "p1", const Variant& from = {},
                  const Variant& collate = {}) {
        return ctl.doPrint(files, id, from, Variant(), copies, Variant(), Variant(), collate, printer);
    }

    testing::TempHome home_;
    testing::StandInFolder bin_;
    testing::ErrorLogGuard log_;
    std::string record_ = bin_ / "lp.calls";
    std::string m1 = home_ / "data/m1.xml";
    std::string m2 = home_ / "data/m2.xml";
    std::string imageBook = home_ / "temp/ImageBook.xls";
};

TEST_F(CreateReportCtlTest, FailedChecksAnswerTheirCodeBeforeAnythingIsPrinted) {
    const std::string out = home_ / "out.xls";
    struct Case {
        const char* what;
        std::vector<std::string> files;
        std::string id;
        std::string saveName;  // "" tries print and preview, else save
        int16_t code;
    };
    const Case cases[] = {
        {"missing data file", {home_ / "data/none.xml"}, "R01", "", NONE_XML_FILE},
        {"empty second name", {m1, ""}, "R01", "", NONE_XML_FILE},
        {"data file is a folder", {home_ / "data"}, "R01", "", NONE_XML_FILE},
        {"missing template", {m1}, "R99", "", NONE_TMP_FILE},
        {"id outside the template folder", {m1}, "../ReportID/R01", "", NONE_TMP_FILE},
        {"save missing template", {m1}, "R99", out, NONE_TMP_FILE},
        {"save upper-case XLS", {m1}, "R01", home_ / "out.XLS", NONE_SAVE_FILE},
        {"save into missing folder", {m1}, "R01", home_ / "nowhere/out.xls", NONE_SAVE_FILE},
        {"save without a folder", {m1}, "R01", "out.xls", NONE_SAVE_FILE},
        {"save missing data file", {home_ / "data/none.xml"}, "R01", out, NONE_XML_FILE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CreateReportCtl ctl;
        if (c.saveName.empty()) {
            EXPECT_EQ(print(ctl, c.files, c.id), c.code);
            EXPECT_EQ(ctl.doPreview(c.files, c.id), c.code);
        } else {
            EXPECT_EQ(ctl.doSave(c.files, c.id, c.saveName), c.code);
        }
    }
    EXPECT_EQ(lpCalls(), "");
    EXPECT_FALSE(fs::fileExists(imageBook));
    EXPECT_FALSE(fs::fileExists(home_ / "out.XLS"));
    EXPECT_TRUE(log_.log->entries().empty());
}

TEST_F(CreateReportCtlTest, PrintPassesPrinterAndCopiesAndRemovesTheTemporaryWorkbook) {
    CreateReportCtl ctl;
    // The page range and collate arguments change nothing.
    ASSERT_EQ(print(ctl, {m1, m2}, "R01", 2, "経理-2F", Variant(3), Variant(true)), NO_ERR);
    ASSERT_EQ(print(ctl, {m1, m2}, "R01", 2, "経理-2F"), NO_ERR);
    const std::string pdf = home_ / "temp/ImageBook.pdf";
    const std::string call = "-d\n経理-2F\n-n\n2\n" + pdf + "\n";
    EXPECT_EQ(lpCalls(), call + call);
    EXPECT_FALSE(fs::fileExists(imageBook));
    EXPECT_FALSE(fs::fileExists(pdf));
    EXPECT_TRUE(log_.log->entries().empty());

    // The book's own failure is the call's result; the workbook still goes.
    lp(3);
    EXPECT_EQ(print(ctl, {m1}, "R01"), ReportBook::kPrintRefused);
    EXPECT_FALSE(fs::fileExists(imageBook));
}

TEST_F(CreateReportCtlTest, PreviewAndSaveKeepTheTemporaryWorkbook) {
    CreateReportCtl ctl;
    ASSERT_EQ(ctl.doPreview({m1, m2}, "R01"), NO_ERR);
    EXPECT_TRUE(fs::fileExists(imageBook));
    EXPECT_TRUE(fs::fileExists(home_ / "temp/ImageBook.pdf"));

    const std::string saved = home_ / "data/取引先一覧.xls";
    // Only the first data file is checked with the template and save name.
    ASSERT_EQ(ctl.doSave({m1, m2}, "R01", saved), NO_ERR);
    EXPECT_TRUE(fs::fileExists(imageBook));
    auto lint = testing::runProgram({"xmllint", "--noout", saved});
    EXPECT_EQ(lint.exitCode, 0) << lint.errors;
    const std::string text = fs::readFile(saved);
    EXPECT_NE(text.find("東和精機"), std::string::npos);
    EXPECT_NE(text.find("北辰工業"), std::string::npos);
    EXPECT_EQ(lpCalls(), "");
}

TEST_F(CreateReportCtlTest, AReusedObjectChecksEveryCallAfresh) {
    CreateReportCtl ctl;
    const std::string good = home_ / "data/good.xls";
    ASSERT_EQ(ctl.doSave({m1}, "R01", good), NO_ERR);
    // After a passed save the next save's template and name are checked again.
    EXPECT_EQ(ctl.doSave({m1}, "R01", home_ / "data/bad.XLS"), NONE_SAVE_FILE);
    EXPECT_EQ(ctl.doSave({m1}, "R99", good), NONE_TMP_FILE);
    EXPECT_EQ(print(ctl, {m1}, "R99"), NONE_TMP_FILE);
    // A failed call's code does not stick to the next one.
    lp(1);
    EXPECT_EQ(print(ctl, {m1}, "R01"), ReportBook::kPrintRefused);
    lp(0);
    EXPECT_EQ(print(ctl, {m1}, "R01"), NO_ERR);
    EXPECT_EQ(ctl.doSave({m1}, "R01", good), NO_ERR);
}

TEST_F(CreateReportCtlTest, AReportWaitsWhileAnotherProgramUsesTheTemporaryWorkbook) {
    // Another program's preview of its own report is under way.
    home_.write("temp/ImageBook.xls", "<Workbook/>");
    FileLock other(imageBook);
    int16_t result = -1;
    std::thread printing([&] {
        CreateReportCtl ctl;
        result = print(ctl, {m1}, "R01");
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(lpCalls(), "");
    EXPECT_EQ(fs::readFile(imageBook), "<Workbook/>");
    other.unlock();
    printing.join();
    EXPECT_EQ(result, NO_ERR);
    EXPECT_NE(lpCalls(), "");
}

TEST_F(CreateReportCtlTest, AFolderFileThatCannotBeReadReachesTheCaller) {
    (void)fs::removeFile(home_ / "folder.xml");
    CreateReportCtl ctl;
    try {
        print(ctl, {m1}, "R01");
        FAIL() << "no error raised";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), errnum::ClientClassError);
    }
    // A save checks its first data file before it needs the folders.
    EXPECT_EQ(ctl.doSave({home_ / "data/none.xml"}, "R01", home_ / "out.xls"), NONE_XML_FILE);
}

}  // namespace
}  // namespace fg
