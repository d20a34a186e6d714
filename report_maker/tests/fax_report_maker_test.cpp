#include "report_maker/fax_report_maker.h"

#include "platform/error.h"
#include "platform/files.h"
#include "platform/testing/temp_home.h"

#include <gtest/gtest.h>

namespace fg {
namespace {

TEST(FaxReportMaker, DeletesTheLayoutOfANumberInAnySpelling) {
    testing::TempHome home;
    const std::string folder = home.folder("ExcelLayout");
    home.write("ExcelLayout/202401010000000001.xls", "<Workbook/>");
    home.write("ExcelLayout/202401010000000002.XLS", "<Workbook/>");
    home.write("ExcelLayout/2024010100000000011.xls", "<Workbook/>");
    bool ok = false;
    FaxReportMaker maker;
    maker.deleteReport("202401010000000001", ok);
    EXPECT_TRUE(ok);
    EXPECT_FALSE(fs::fileExists(folder + "202401010000000001.xls"));
    EXPECT_TRUE(fs::fileExists(folder + "2024010100000000011.xls"));  // a longer number is another layout
    maker.deleteReport("202401010000000002", ok);
    EXPECT_TRUE(ok);
    EXPECT_FALSE(fs::fileExists(folder + "202401010000000002.XLS"));
    ok = false;
    maker.deleteReport("202401010000000009", ok);  // none there: nothing left to delete
    EXPECT_TRUE(ok);
}

TEST(FaxReportMaker, RefusesNamesThatLeaveTheFolder) {
    testing::TempHome home;
    home.write("secret.xls", "keep");
    for (const char* bad : {"", "..", "../secret", "a/b"}) {
        bool ok = true;
        try {
            FaxReportMaker().deleteReport(bad, ok);
            ADD_FAILURE() << bad;
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), errnum::BadFileNameOrNumber);
        }
        EXPECT_FALSE(ok);
    }
    EXPECT_TRUE(fs::fileExists(home / "secret.xls"));
}

}  // namespace
}  // namespace fg
