#include "platform/layout/fax_printer.h"
#include "platform/layout/page_export.h"
#include "platform/layout/sheet_renderer.h"
#include "platform/layout/workbook_file.h"

#include "platform/error.h"
#include "platform/files.h"
#include "platform/image/bmp.h"
#include "platform/testing/temp_home.h"

#include "reference_picture.h"

#include <gtest/gtest.h>

#include <cmath>

namespace fg::layout {
namespace {

using testing::TempDir;

std::string shipped(const std::string& name) { return testing::sourceDir() + "demo/home/ExcelLayout/" + name; }

// Prints as the page pipeline does: the first sheet with margins of 1, 1, 20
// and 0 points.
std::vector<std::string> printAndExport(const std::string& layout, const std::string& folder, const std::string& name) {
    Workbook wb = readWorkbook(layout);
    PageSetup& p = wb.sheets.at(0).pageSetup;
    p.leftMargin = 1, p.rightMargin = 1, p.topMargin = 20, p.bottomMargin = 0;
    FaxPrinter printer;
    printer.reset();
    EXPECT_TRUE(printer.setOutputFile(folder + name + ".msf"));
    printer.print(wb);
    return exportPages(folder + name + ".msf", folder + name + ".bmp");
}

// Pels per point of an exported page.
constexpr double kPx = kExportDpi / 72.0;

int darkIn(const image::Image& page, double x0pt, double y0pt, double x1pt, double y1pt) {
    int n = 0;
    for (int y = static_cast<int>(y0pt * kPx); y < static_cast<int>(y1pt * kPx); ++y)
        for (int x = static_cast<int>(x0pt * kPx); x < static_cast<int>(x1pt * kPx); ++x) n += page.row(y)[x] < 128;
    return n;
}

// A ruled line runs down at x (points) over the rows y0..y1 (points) when
// nearly every pel row there has a dark pel within a pel of it.
bool verticalLine(const image::Image& page, double xpt, double y0pt, double y1pt) {
    int rows = 0, hit = 0;
    const int x = static_cast<int>(std::lround(xpt * kPx));
    for (int y = static_cast<int>(y0pt * kPx); y < static_cast<int>(y1pt * kPx); ++y, ++rows)
        for (int dx = -2; dx <= 2; ++dx)
            if (page.row(y)[x + dx] < 128) {
                ++hit;
                break;
            }
    return hit >= rows * 95 / 100;
}

bool horizontalLine(const image::Image& page, double ypt, double x0pt, double x1pt) {
    int cols = 0, hit = 0;
    const int y = static_cast<int>(std::lround(ypt * kPx));
    for (int x = static_cast<int>(x0pt * kPx); x < static_cast<int>(x1pt * kPx); ++x, ++cols)
        for (int dy = -2; dy <= 2; ++dy)
            if (page.row(y + dy)[x] < 128) {
                ++hit;
                break;
            }
    return hit >= cols * 95 / 100;
}

// Halves the page for the reference picture: 100 pels per inch keep the
// Japanese text readable for the person who reviews it.
image::Image halved(const image::Image& page) { return image::resize(page, page.width() / 2, page.height() / 2); }

TEST(Rendering, OrderSheetPrintsOnTwoLandscapePagesAsLaidOut) {
    TempDir dir;
    auto names = printAndExport(shipped("202401150930000001.xls"), dir.path(), "202401150930000001");
    ASSERT_EQ(names, (std::vector<std::string>{"202401150930000001_001", "202401150930000001_002"}));
    image::BmpSize size = image::readBmpSize(dir / "202401150930000001_001.bmp");
    EXPECT_EQ(size.width, 2339);  // A4 landscape at 200 pels per inch
    EXPECT_EQ(size.height, 1654);
    EXPECT_EQ(size.bitsPerPixel, 8);
    image::Image p1 = image::readBmp(dir / "202401150930000001_001.bmp");
    image::Image p2 = image::readBmp(dir / "202401150930000001_002.bmp");

    // Column edges of the item table lie at 1 + the column widths; rows of
    // items run from 162 to 582 points.
    for (double x : {1.0, 31.0, 101.0, 316.0, 371.0, 411.0, 486.0, 576.0, 656.0, 781.0})
        EXPECT_TRUE(verticalLine(p1, x, 165, 578)) << "column edge at " << x;
    for (double y : {140.0, 162.0, 182.0, 582.0}) EXPECT_TRUE(horizontalLine(p1, y, 5, 775)) << "row edge at " << y;
    // The title merges A1:I1: no column edge runs through it, and its text
    // sits in the middle.
    EXPECT_FALSE(verticalLine(p1, 101, 24, 56));
    EXPECT_GT(darkIn(p1, 300, 25, 480, 58), 500);
    EXPECT_EQ(darkIn(p1, 5, 25, 250, 58), 0);
    // Item names in column C.
    EXPECT_GT(darkIn(p1, 103, 164, 314, 180), 100);

    // Page 2 starts at the manual break: its heading, then the total row
    // whose label merges A40:F40 (rows 29..40 end at 268 points).
    EXPECT_GT(darkIn(p2, 2, 22, 400, 45), 300);
    EXPECT_TRUE(verticalLine(p2, 486, 250, 266));
    EXPECT_FALSE(verticalLine(p2, 101, 250, 266));
    EXPECT_FALSE(verticalLine(p2, 371, 250, 266));
    // The bottom line of page 1's last row is not repeated above page 2.
    EXPECT_FALSE(horizontalLine(p2, 20, 5, 775));

    testing::expectLooksLike(halved(p1), "order_sheet_page1.png");
    testing::expectLooksLike(halved(p2), "order_sheet_page2.png");
}

TEST(Rendering, TestFormPrintsOnOnePortraitPage) {
    TempDir dir;
    auto names = printAndExport(shipped("202401150930000002.xls"), dir.path(), "form");
    ASSERT_EQ(names, std::vector<std::string>{"form_001"});
    image::Image page = image::readBmp(dir / "form_001.bmp");
    EXPECT_EQ(page.width(), 1654);
    EXPECT_EQ(page.height(), 2339);
    // The title box B2:F2 (columns from 31 to 561 points, rows 36 to 92) has
    // its thick frame all round and nothing inside but the title.
    EXPECT_TRUE(horizontalLine(page, 36, 35, 555));
    EXPECT_TRUE(horizontalLine(page, 92, 35, 555));
    EXPECT_TRUE(verticalLine(page, 31, 40, 88));
    EXPECT_TRUE(verticalLine(page, 561, 40, 88));
    EXPECT_FALSE(verticalLine(page, 141, 40, 88));
    EXPECT_GT(darkIn(page, 200, 45, 400, 85), 1000);
    testing::expectLooksLike(halved(page), "test_form_page1.png");
}

TEST(Rendering, WrapsAlignsAndRunsTextOnAsASpreadsheetDoes) {
    TempDir dir;
    Workbook wb = parseWorkbook(R"(<Workbook><Styles>
        <Style id="wrap" wrap="true" valign="top"/>
        <Style id="right" halign="right"/>
        <Style id="big" size="30"/>
      </Styles><Sheet><PageSetup leftMargin="0" rightMargin="0" topMargin="0" bottomMargin="0"/>
      <Columns defaultWidth="100"/><Rows defaultHeight="40"/>
      <Cells>
        <Cell ref="A1" style="wrap">長い文章は、セルの幅で折り返して次の行に続けます。</Cell>
        <Cell ref="A2">はみ出す文字は右の空いたセルに続きます</Cell>
        <Cell ref="A3">はみ出す文字は右のセルで切れます</Cell><Cell ref="B3">右</Cell>
        <Cell ref="C4" style="right">右寄せ</Cell>
        <Cell ref="A5" style="big">大</Cell>
      </Cells></Sheet></Workbook>)");
    FaxPrinter printer;
    ASSERT_TRUE(printer.setOutputFile(dir / "t.msf"));
    EXPECT_EQ(printer.print(wb), 1);
    exportPages(dir / "t.msf", dir / "t.bmp");
    image::Image page = image::readBmp(dir / "t_001.bmp");
    // Wrapped: ink on two lines within A1, none to the right of it.
    EXPECT_GT(darkIn(page, 1, 2, 99, 14), 50);
    EXPECT_GT(darkIn(page, 1, 14, 99, 27), 50);
    EXPECT_EQ(darkIn(page, 101, 0, 300, 40), 0);
    // Run on over B2 and C2, which are empty...
    EXPECT_GT(darkIn(page, 101, 40, 199, 80), 50);
    // ...but cut at B3, which holds text of its own.
    EXPECT_GT(darkIn(page, 101, 40, 115, 80), 0);
    EXPECT_EQ(darkIn(page, 120, 80, 200, 120), 0);
    // Right-aligned in C4: ink near the right edge, none near the left.
    EXPECT_GT(darkIn(page, 260, 120, 299, 160), 50);
    EXPECT_EQ(darkIn(page, 200, 120, 230, 160), 0);
    // 30-point text is taller than 10-point text.
    EXPECT_GT(darkIn(page, 1, 160, 99, 178), 50);
}

TEST(Rendering, LongTextsStayInsideTheirCellsClearOfTheBorders) {
    // Three rows of boxed cells 100 x 20 points: a text much too wide for
    // its cell, a wrapped one too long for its row, and a short one.
    Workbook wb = parseWorkbook(R"(<Workbook><Styles>
        <Style id="box" border="thin" valign="middle"/>
        <Style id="wrap" border="thin" wrap="true" valign="top"/>
        <Style id="right" border="thin" halign="right" valign="bottom"/>
      </Styles><Sheet><PageSetup leftMargin="0" rightMargin="0" topMargin="0" bottomMargin="0"/>
      <Columns defaultWidth="100"/><Rows defaultHeight="20"/>
      <Cells>
        <Cell ref="B2" style="box">六角ボルト　Ｍ８×３０　ステンレス製　座金付き　国内生産品</Cell>
        <Cell ref="B4" style="wrap">品名と規格と備考とが長く続いて一行にも二行にも収まらない文です。まだ続きます。</Cell>
        <Cell ref="B6" style="right">12,345</Cell>
      </Cells></Sheet></Workbook>)");
    std::vector<image::Image> pages = renderSheetPages(wb, wb.sheets[0], kExportDpi);
    ASSERT_EQ(pages.size(), 1u);
    const image::Image& page = pages[0];
    // The first text is made smaller and wrapped onto two lines, so its ink
    // reaches into the top of the cell where a centred line at full size
    // would leave white.
    EXPECT_GT(darkIn(page, 102, 22, 198, 25), 10);
    for (double row : {20.0, 60.0, 100.0}) {
        SCOPED_TRACE(row);
        // Ink inside the cell, none in the cells beside it or the rows
        // above and below (the borders lie on the cell's edges).
        EXPECT_GT(darkIn(page, 102, row + 2, 198, row + 18), 30);
        EXPECT_EQ(darkIn(page, 201, row + 1, 300, row + 19), 0);
        EXPECT_EQ(darkIn(page, 0, row + 1, 99, row + 19), 0);
        EXPECT_EQ(darkIn(page, 101, row + 21, 199, row + 39), 0);
        // The text keeps at least a point off the borders.
        EXPECT_EQ(darkIn(page, 101, row + 1, 102, row + 19), 0);
        EXPECT_EQ(darkIn(page, 198, row + 1, 199, row + 19), 0);
        EXPECT_EQ(darkIn(page, 101, row + 0.6, 199, row + 1.5), 0);
        EXPECT_EQ(darkIn(page, 101, row + 18.5, 199, row + 19.4), 0);
    }
}

TEST(Rendering, ContinuedPagesRepeatTheTitleRowsAndCountThePages) {
    // A list of 60 rows of 20 points with a title row and a heading row, on
    // pages of 700 points: the second page begins with both again.
    std::string cells = R"(<Cell ref="A1" style="title">一覧表</Cell><Cell ref="A2" style="head">品名</Cell>)";
    for (int r = 3; r <= 60; ++r) cells += "<Cell ref=\"A" + std::to_string(r) + "\">品目" + std::to_string(r) + "</Cell>";
    Workbook wb = parseWorkbook(R"(<Workbook><Styles>
        <Style id="title" size="16" bold="true"/><Style id="head" border="thin" bold="true"/>
      </Styles><Sheet><PageSetup leftMargin="47.6" rightMargin="47.6" topMargin="70.9" bottomMargin="71"
        titleRows="1:2" footer="&amp;P / &amp;N"/>
      <Columns defaultWidth="200"/><Rows defaultHeight="20"/><Cells>)" +
                                cells + "</Cells></Sheet></Workbook>");
    std::vector<image::Image> pages = renderSheetPages(wb, wb.sheets[0], kExportDpi);
    ASSERT_EQ(pages.size(), 2u);
    // Page 1 shows rows 1 to 34 (the footer takes 14 points), page 2 the
    // title and heading rows, then rows 35 to 60.
    for (const image::Image& page : pages) {
        EXPECT_GT(darkIn(page, 50, 73, 245, 89), 100);   // the title
        EXPECT_GT(darkIn(page, 50, 93, 245, 109), 50);   // the heading
        EXPECT_TRUE(horizontalLine(page, 110.9, 50, 245));
    }
    // The footer centred at the foot of each page: "1 / 2", then "2 / 2".
    for (const image::Image& page : pages) {
        EXPECT_GT(darkIn(page, 250, 757, 345, 770), 20);
        EXPECT_EQ(darkIn(page, 50, 757, 240, 770), 0);
    }
    EXPECT_NE(darkIn(pages[0], 250, 757, 345, 770), darkIn(pages[1], 250, 757, 345, 770));
    // Row 35 is the first of page 2, right under the heading row.
    image::Image alone = renderSheetPages(wb, wb.sheets[0], kExportDpi)[1];
    EXPECT_GT(darkIn(alone, 50, 113, 245, 129), 30);
}

TEST(PageExport, NamesPagesExactlyAndInPageOrder) {
    TempDir dir;
    // Kept before the pages are there: they are found as the folder
    // changes, not from one reading of it.
    for (int asked = 0; asked < 2; ++asked) EXPECT_TRUE(listPages(dir.path(), "L").empty());
    // Pages of other layouts and of an earlier, longer export of this one.
    for (const char* f : {"L_001.bmp", "L_009.bmp", "L1_001.bmp", "LL_001.bmp", "L_01.bmp", "L_1a.bmp",
                          "L_001.bmp.bak", "L.bmp"})
        fs::writeFileAtomic(dir / f, "old");
    Workbook wb;
    Sheet s;
    s.defaultRowHeight = 400;
    s.cells[{1, 1}] = Cell{"一", ""};
    s.cells[{2, 1}] = Cell{"二", ""};
    s.cells[{3, 1}] = Cell{"三", ""};
    wb.sheets.push_back(s);
    FaxPrinter printer;
    ASSERT_TRUE(printer.setOutputFile(dir / "L.msf"));
    EXPECT_EQ(printer.print(wb), 3);
    auto names = exportPages(dir / "L.msf", dir / "L");  // the extension may be left off
    EXPECT_EQ(names, (std::vector<std::string>{"L_001", "L_002", "L_003"}));
    EXPECT_EQ(listPages(dir.path(), "L"), names);
    EXPECT_FALSE(fs::fileExists(dir / "L_009.bmp"));
    for (const char* kept : {"L1_001.bmp", "LL_001.bmp", "L_01.bmp", "L_1a.bmp", "L_001.bmp.bak", "L.bmp"})
        EXPECT_TRUE(fs::fileExists(dir / kept)) << kept;
    EXPECT_EQ(listPages(dir.path(), "L1"), std::vector<std::string>{"L1_001"});

    // Order is by number, not by how a listing sorts the names.
    for (const char* f : {"N_010.bmp", "N_1000.bmp", "N_002.bmp", "N_100.bmp"}) fs::writeFileAtomic(dir / f, "");
    EXPECT_EQ(listPages(dir.path(), "N"), (std::vector<std::string>{"N_002", "N_010", "N_100", "N_1000"}));
    EXPECT_EQ(pageName("N", 7), "N_007");
    EXPECT_EQ(pageName("N", 1234), "N_1234");
}

TEST(PageExport, ReadsThePrintersPicturesAndAnyOtherPdfAlike) {
    TempDir dir;
    Workbook wb = readWorkbook(shipped("202401150930000002.xls"));
    FaxPrinter printer;
    ASSERT_TRUE(printer.setOutputFile(dir / "p.msf"));
    const std::vector<PrintedPage> printed = printer.printPages(wb);
    ASSERT_EQ(printed.size(), 1u);
    ASSERT_TRUE(picturesOf(fs::readFile(dir / "p.msf")));
    // A PDF of vector pages (no printed file of ours) goes to the general
    // reader; both give the same page at the same place.
    fs::writeFileAtomic(dir / "v.msf", renderSheetPdf(wb, wb.sheets[0]).bytes);
    EXPECT_FALSE(picturesOf(fs::readFile(dir / "v.msf")));
    ASSERT_EQ(exportPages(dir / "p.msf", dir / "p.bmp").size(), 1u);
    ASSERT_EQ(exportPages(dir / "v.msf", dir / "v.bmp").size(), 1u);
    const image::Image fromPictures = image::readBmp(dir / "p_001.bmp"), fromVectors = image::readBmp(dir / "v_001.bmp");
    EXPECT_EQ(fromPictures.width(), fromVectors.width());
    EXPECT_EQ(fromPictures.height(), fromVectors.height());
    EXPECT_LT(testing::compare(fromPictures, fromVectors).meanAbsolute, 5.0);  // two rasterisers
    EXPECT_LT(testing::compare(fromPictures, printed[0].picture).meanAbsolute, 1.5);
    // A printed file cut short is not taken for one.
    const std::string whole = fs::readFile(dir / "p.msf");
    EXPECT_FALSE(picturesOf(std::string_view(whole).substr(0, whole.size() / 2)));
}

TEST(PageExport, RefusesWhatIsNoPrintedFile) {
    TempDir dir;
    fs::writeFileAtomic(dir / "bad.msf", "%PDF-1.4 this is no document");
    struct Case {
        std::string printed, bitmap;
        long number;
    } cases[] = {
        {dir / "none.msf", dir / "x.bmp", errnum::FileNotFound},
        {dir / "bad.msf", dir / "x.bmp", kLayoutError},
        {dir / "bad.msf", dir / "nofolder/x.bmp", errnum::PathNotFound},
        {dir / "bad.msf", dir / ".bmp", errnum::BadFileNameOrNumber},
    };
    for (const Case& c : cases) {
        try {
            exportPages(c.printed, c.bitmap);
            ADD_FAILURE() << c.printed << " exported";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), c.number) << c.printed << " " << e.description();
        }
    }
    EXPECT_TRUE(listPages(dir.path(), "x").empty());
}

TEST(FaxPrinter, PrintsOnlyWhereItWasToldTo) {
    TempDir dir;
    FaxPrinter printer;
    EXPECT_FALSE(printer.setOutputFile(""));
    EXPECT_FALSE(printer.setOutputFile(dir / "missing/out.msf"));
    EXPECT_FALSE(printer.setOutputFile(dir.path()));
    Workbook wb;
    wb.sheets.push_back(Sheet{});
    wb.sheets[0].cells[{1, 1}] = Cell{"x", ""};
    EXPECT_THROW(printer.print(wb), Error);  // no output file named
    ASSERT_TRUE(printer.setOutputFile(dir / "out.msf"));
    EXPECT_THROW(printer.print(wb, 1), Error);  // no second sheet
    printer.reset();
    EXPECT_EQ(printer.outputFile(), "");
    ASSERT_TRUE(printer.setOutputFile(dir / "out.msf"));
    Workbook blank;
    blank.sheets.push_back(Sheet{});
    EXPECT_THROW(printer.print(blank), Error);
    EXPECT_FALSE(fs::fileExists(dir / "out.msf"));  // a failed print leaves no file
    EXPECT_EQ(printer.print(wb), 1);
    EXPECT_TRUE(fs::readFile(dir / "out.msf").starts_with("%PDF"));
}

}  // namespace
}  // namespace fg::layout
