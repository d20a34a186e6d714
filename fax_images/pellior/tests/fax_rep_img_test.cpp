#include "fax_images/pellior/fax_rep_img.h"

#include "fax_images/pellior/page_files.h"
#include "page_fixture.h"
#include "platform/error.h"
#include "platform/fax_engine/fax_page.h"
#include "platform/image/bmp.h"
#include "platform/imaging/jpeg.h"
#include "platform/layout/workbook_file.h"
#include "platform/testing/fax_pages.h"
#include "platform/xml.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace fg {
namespace {

using testing::kOrderSheet;
using testing::kTestForm;
using Names = std::vector<std::string>;

class MakeFaxImage : public testing::PageImagesTest {};

int inkIn(const fax::BilevelImage& page, int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) n += page.black(x, y);
    return n;
}

TEST_F(MakeFaxImage, LeavesG3PagesReferenceCopiesAndThePageNamesInTheRecord) {
    record(kOrderSheet, "注文書");
    record(kTestForm, "テスト帳票");
    FaxRepImg img;
    ASSERT_TRUE(img.makeFAXImage({kOrderSheet, kTestForm}, {kOrderSheet, kTestForm}, "F6")) << loggedText();
    EXPECT_TRUE(log.log->entries().empty()) << loggedText();

    const Names order{std::string(kOrderSheet) + "_001", std::string(kOrderSheet) + "_002"};
    const Names form{std::string(kTestForm) + "_001"};
    EXPECT_EQ(pageNames(kOrderSheet), order);
    EXPECT_EQ(copyNames(kOrderSheet), order);
    EXPECT_EQ(pageNames(kTestForm), form);
    EXPECT_EQ(copyNames(kTestForm), form);

    // Only the copies and the G3 pages remain; the layouts, printed files
    // and bitmaps are gone, and so is the start file.
    EXPECT_EQ(files(g3s), (Names{order[0] + ".g3", order[1] + ".g3", form[0] + ".g3"}));
    EXPECT_EQ(files(jpgs), (Names{order[0] + ".jpg", order[1] + ".jpg", form[0] + ".jpg"}));
    EXPECT_TRUE(files(bitmaps).empty());
    EXPECT_TRUE(files(msfs).empty());
    EXPECT_FALSE(fs::fileExists(layouts + kOrderSheet + ".xls"));
    EXPECT_FALSE(fs::fileExists(layouts + kTestForm + ".xls"));
    EXPECT_FALSE(fs::fileExists(home / "MyTalkStUp.xml"));

    // Every page is a fax page to a peer reader: 1728 pels wide, an A4 page
    // of fine lines.
    for (const std::string& p : {order[0], order[1], form[0]}) {
        testing::TiffPage t = testing::readThroughFax2tiff(g3s + p + ".g3", home / (p + ".tif"));
        EXPECT_EQ(t.width, 1728) << p;
        EXPECT_EQ(t.length, fax::kA4LinesHigh) << p;
    }
    // The copies are the pages as printed, in colour JPEG.
    image::Image copy = image::readJpeg(jpgs + order[0] + ".jpg");
    EXPECT_EQ(copy.width(), 2339);
    EXPECT_EQ(copy.height(), 1654);
    EXPECT_EQ(copy.format(), image::PixelFormat::Rgb24);

    // The landscape order sheet went out turned a quarter counter-clockwise:
    // its title, centred at the top, now stands at the left edge half-way
    // down, and the empty right end of the title row above it.
    fax::BilevelImage p1 = fax::decodeG3(fs::readFile(g3s + order[0] + ".g3"));
    EXPECT_GT(inkIn(p1, 73, 985, 168, 1475), 2000);
    EXPECT_LT(inkIn(p1, 73, 60, 168, 700), 20);
    // The upright form went out as it stands: the thick frame of its title
    // runs across the top at 36 points, below the page's margin of 5 mm.
    fax::BilevelImage f1 = fax::decodeG3(fs::readFile(g3s + form[0] + ".g3"));
    EXPECT_GT(inkIn(f1, 100, 125, 1600, 141), 1500 * 3);
    EXPECT_LT(inkIn(f1, 100, 20, 1600, 80), 20);
}

TEST_F(MakeFaxImage, TwelvePagesKeepTheirOrder) {
    // Page k of this layout has a black bar in its k-th of twelve rows.
    layout::Workbook wb;
    layout::CellStyle bar;
    bar.fill = layout::Color{0, 0, 0};
    wb.styles["bar"] = bar;
    layout::Sheet s;
    s.pageSetup = layout::PageSetup{layout::Orientation::Portrait, 1, 1, 20, 0, 100};
    s.defaultColumnWidth = 100;
    s.defaultRowHeight = 60;
    for (int k = 1; k <= 12; ++k) {
        const int first = (k - 1) * 12 + 1;
        if (k > 1) s.rowBreaks.push_back(first);
        s.cells[{first, 1}] = layout::Cell{"ページ " + std::to_string(k), ""};
        for (int c = 1; c <= 4; ++c) s.cells[{first + k - 1, c}] = layout::Cell{"", "bar"};
        s.cells[{first + 11, 5}] = layout::Cell{"末", ""};
    }
    wb.sheets.push_back(s);
    layout::writeWorkbook(layouts + "TWELVE.xls", wb);
    record("TWELVE", "テスト帳票");

    FaxRepImg img;
    ASSERT_TRUE(img.makeFAXImage({"TWELVE"}, {"TWELVE"}, "")) << loggedText();
    Names expected;
    for (int k = 1; k <= 12; ++k) expected.push_back("TWELVE_" + std::string(k < 10 ? "00" : "0") + std::to_string(k));
    ASSERT_EQ(pageNames("TWELVE"), expected);
    // 2291 lines stand for 841.89 points.
    const double linesPerPoint = fax::kA4LinesHigh / 841.89;
    for (int k = 1; k <= 12; ++k) {
        fax::BilevelImage page = fax::decodeG3(fs::readFile(g3s + expected[static_cast<std::size_t>(k) - 1] + ".g3"));
        for (int row = 1; row <= 12; ++row) {
            const int mid = static_cast<int>((20 + (row - 0.5) * 60) * linesPerPoint);
            const bool black = inkIn(page, 100, mid, 1000, mid + 1) > 850;
            EXPECT_EQ(black, row == k) << "page " << k << ", row " << row;
        }
    }
}

TEST(MakeFaxImageFailures, StopAtTheFirstWithEarlierDocumentsCompleteAndLaterOnesUntouched) {
    const std::string form = testing::sourceDir() + "demo/home/ExcelLayout/" + kTestForm + ".xls";
    struct Case {
        const char* what;
        std::function<void(const std::string& layouts)> prepare;
        Names excelNames;  // for the numbers A, B, C
        long underlying;   // logged beside 40007
        const char* source;
    } cases[] = {
        {"no layout", [](const std::string&) {}, {"A", "B", "C"}, errnum::FileNotFound, "changeMSFFile"},
        {"a layout that prints nothing",
         [](const std::string& l) {
             fs::writeFileAtomic(l + "B.xls", "<Workbook><Sheet><Cells><Cell ref=\"A1\"/></Cells></Sheet></Workbook>");
         },
         {"A", "B", "C"}, layout::kLayoutError, "changeMSFFile"},
        {"a layout that is no layout", [](const std::string& l) { fs::writeFileAtomic(l + "B.xls", "<Workbook>"); },
         {"A", "B", "C"}, layout::kLayoutError, "changeMSFFile"},
        {"no record to shape the pages by",
         [&](const std::string& l) {
             (void)FaxManageNum().delManageNum("B");
             fs::copyFile(form, l + "B.xls");
         },
         {"A", "B", "C"}, 40012, "FaxManageNum"},
        {"fewer layout names than numbers", [&](const std::string& l) { fs::copyFile(form, l + "B.xls"); }, {"A"},
         errnum::SubscriptOutOfRange, "makeFAXImage"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testing::PageImagesTest::Scratch t;
        for (const char* n : {"A", "B", "C"}) t.record(n, "テスト帳票");
        fs::copyFile(form, t.layouts + "A.xls");
        fs::copyFile(form, t.layouts + "C.xls");
        c.prepare(t.layouts);

        FaxRepImg img;
        EXPECT_FALSE(img.makeFAXImage({"A", "B", "C"}, c.excelNames, ""));
        EXPECT_TRUE(t.logged(FaxRepImg::kMakeImageError, "makeFAXImage")) << t.loggedText();
        EXPECT_TRUE(t.logged(c.underlying, c.source)) << t.loggedText();
        EXPECT_EQ(t.pageNames("A"), Names{"A_001"});
        EXPECT_TRUE(fs::fileExists(t.g3s + "A_001.g3"));
        EXPECT_TRUE(t.pageNames("B").empty());
        EXPECT_TRUE(fs::fileExists(t.layouts + "C.xls"));  // never started
        EXPECT_TRUE(t.pageNames("C").empty());
        EXPECT_FALSE(fs::fileExists(t.home / "MyTalkStUp.xml"));
    }
}

TEST_F(MakeFaxImage, PagesOfAFailedDocumentStayForThePersonWhoLooks) {
    // The page shape needs the record; without it the first page's copy is
    // made and its bitmap stays, with the rest.
    fs::copyFile(layouts + kOrderSheet + ".xls", layouts + "X.xls");
    FaxRepImg img;
    EXPECT_FALSE(img.makeFAXImage({"X"}, {"X"}, ""));
    EXPECT_EQ(files(bitmaps), (Names{"X_001.bmp", "X_002.bmp"}));
    EXPECT_EQ(files(jpgs), Names{"X_001.jpg"});
    EXPECT_TRUE(files(g3s).empty());
}

TEST(MakeFaxImageCopies, TheReferenceCopyIsThePageAsPrintedOrAsSent) {
    // The landscape order sheet, printed wide and sent turned: its copy is
    // the wide page as printed, or the turned page as sent, whose ink has the
    // proportions of the page that went out.
    struct Case {
        FaxRepImg::ReferenceCopy copy;
        int width, height;
    } cases[] = {{FaxRepImg::ReferenceCopy::AsPrinted, 2339, 1654}, {FaxRepImg::ReferenceCopy::AsSent, 1200, 1728}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.width);
        testing::PageImagesTest::Scratch t;
        t.record(kOrderSheet, "注文書");
        FaxRepImg img;
        ASSERT_TRUE(img.makeFAXImage({kOrderSheet}, {kOrderSheet}, "F6", c.copy)) << t.loggedText();
        const std::string page = std::string(kOrderSheet) + "_001";
        image::Image copy = image::readJpeg(t.jpgs + page + ".jpg");
        EXPECT_EQ(copy.width(), c.width);
        EXPECT_EQ(copy.height(), c.height);
        EXPECT_EQ(t.copyNames(kOrderSheet), t.pageNames(kOrderSheet));
        if (c.copy != FaxRepImg::ReferenceCopy::AsSent) continue;
        std::string failure;
        testing::Sheet sent = testing::readG3WithFax2tiff(t.g3s + page + ".g3", t.home.path(), failure);
        ASSERT_TRUE(failure.empty()) << failure;
        testing::Sheet kept{image::toGray(copy), 215.0 / 1200.0, 297.0 / 1728.0};
        EXPECT_NEAR(testing::inkAspect(kept) / testing::inkAspect(sent), 1.0, 0.02);
    }
}

class PageMembers : public testing::PageImagesTest {};

TEST_F(PageMembers, TrimGivesEveryReportTypeTheSameFaxShapeWithoutSquashingAPage) {
    struct Case {
        const char* type;
        int width, height;  // of the printed page
        bool turned, mismatched;
    } cases[] = {
        {"注文書", 2339, 1654, true, false},         {"見積依頼書", 2339, 1654, true, false},
        {"テスト帳票", 1654, 2339, false, false},    {"未処理一覧", 1654, 2339, false, false},
        {"FAX回答再送信依頼", 1654, 2339, false, false},
        // A form laid out the wrong way round is fitted, turned as its title
        // says, and reported; never squashed.
        {"見積依頼書", 1654, 2339, true, true},      {"テスト帳票", 2339, 1654, false, true},
    };
    int i = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.type) + (c.mismatched ? ", mismatched" : ""));
        log.log->clear();
        const std::string n = "N" + std::to_string(++i);
        record(n, c.type);
        // A black frame around an A4 page at 200 pels per inch, and a mark
        // in its top-left corner.
        image::Image page(c.width, c.height, image::PixelFormat::Gray8);
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x)
                if (x < 200 && y < 200) page.row(y)[x] = 0;
                else if (x < 4 || y < 4 || x >= c.width - 4 || y >= c.height - 4) page.row(y)[x] = 0;
        page.setResolution(7874, 7874);
        image::writeBmp(bitmaps + n + ".bmp", page, 8);
        FaxRepImg img;
        ASSERT_TRUE(img.trimBMPFile(n, n)) << loggedText();
        image::Image shaped = image::readBmp(bitmaps + n + ".bmp");
        EXPECT_EQ(shaped.width(), 1200);
        EXPECT_EQ(shaped.height(), 1728);
        EXPECT_EQ(shaped.format(), image::PixelFormat::Gray8);
        EXPECT_EQ(logged(layout::kLayoutError, "trimBMPFile"), c.mismatched) << loggedText();
        // The frame keeps the page's proportions on the fax paper, 215 x 297
        // mm over 1200 x 1728 pels (turned back where the page was turned).
        int left = shaped.width(), right = 0, top = shaped.height(), bottom = 0;
        for (int y = 0; y < shaped.height(); ++y)
            for (int x = 0; x < shaped.width(); ++x)
                if (shaped.row(y)[x] < 128) {
                    left = std::min(left, x), right = std::max(right, x + 1);
                    top = std::min(top, y), bottom = std::max(bottom, y + 1);
                }
        double across = (right - left) * 215.0 / 1200, down = (bottom - top) * 297.0 / 1728;
        if (c.turned) std::swap(across, down);
        EXPECT_NEAR(across / down, static_cast<double>(c.width) / c.height, 0.01);
        // Turned counter-clockwise, the top-left corner comes to the bottom left.
        const bool topLeft = shaped.row(top + 20)[left + 20] < 128;
        const bool bottomLeft = shaped.row(bottom - 21)[left + 20] < 128;
        EXPECT_EQ(topLeft, !c.turned);
        EXPECT_EQ(bottomLeft, c.turned);
    }
    // No record: the store's 40012 is logged and the bitmap left alone.
    image::writeBmp(bitmaps + "Z.bmp", image::Image(30, 20, image::PixelFormat::Gray8), 8);
    EXPECT_FALSE(FaxRepImg().trimBMPFile("Z", "NO-SUCH-NUMBER"));
    EXPECT_TRUE(logged(40012, "FaxManageNum"));
    EXPECT_EQ(image::readBmpSize(bitmaps + "Z.bmp").width, 30);
}

TEST_F(PageMembers, PrintingDeletesTheLayoutOnlyWhenAskedAndWritesTheStartFileAsOthersReadIt) {
    FaxRepImg img;
    ASSERT_TRUE(img.changeMSFFile(kTestForm, true)) << loggedText();
    EXPECT_TRUE(fs::fileExists(layouts + kTestForm + ".xls"));
    EXPECT_TRUE(fs::readFile(msfs + kTestForm + ".msf").starts_with("%PDF"));
    ASSERT_TRUE(img.changeMSFFile(kTestForm, false));
    EXPECT_FALSE(fs::fileExists(layouts + kTestForm + ".xls"));
    EXPECT_FALSE(fs::fileExists(home / "MyTalkStUp.xml"));

    ASSERT_TRUE(img.CreateMyTalkFile());
    xml::Document start;
    ASSERT_TRUE(start.load(home / "MyTalkStUp.xml"));
    EXPECT_EQ(start.childNodes().at(0).nodeName(), "xml");
    EXPECT_NE(start.childNodes().at(0).text().find("encoding=\"shift-jis\""), std::string::npos);
    EXPECT_EQ(start.selectSingleNode("/MyTalk/My").text(), "Start");
    // A start file left behind does not stop the next print.
    ASSERT_TRUE(img.changeMSFFile(kOrderSheet, true));
    EXPECT_FALSE(fs::fileExists(home / "MyTalkStUp.xml"));
}

TEST_F(PageMembers, ExportNamesPagesAndRemovesThePrintedFile) {
    FaxRepImg img;
    ASSERT_TRUE(img.changeMSFFile(kOrderSheet, true));
    ASSERT_TRUE(img.changeBMPFile(kOrderSheet, "0")) << loggedText();
    EXPECT_EQ(files(bitmaps), (Names{std::string(kOrderSheet) + "_001.bmp", std::string(kOrderSheet) + "_002.bmp"}));
    EXPECT_TRUE(files(msfs).empty());
    // Exported again without a printed file: the export's error is logged.
    EXPECT_FALSE(img.changeBMPFile(kOrderSheet, "0"));
    EXPECT_TRUE(logged(errnum::FileNotFound, "changeBMPFile")) << loggedText();
    EXPECT_FALSE(img.changeBMPFile(kOrderSheet, "zero"));
    EXPECT_TRUE(logged(errnum::TypeMismatch, "changeBMPFile"));
}

TEST_F(PageMembers, AReSentPageIsRebuiltFromItsCopyAsItStandsAndShapedOnceByTrim) {
    record("W", "注文書");
    image::Image wide(2339, 1654, image::PixelFormat::Gray8);
    for (int y = 0; y < 150; ++y)
        for (int x = 0; x < 150; ++x) wide.row(y)[x] = 0;
    image::writeJpeg(jpgs + "W_001.jpg", wide, 24);
    FaxRepImg img;
    ASSERT_TRUE(img.changeBMPFile("W_001", "1")) << loggedText();
    image::BmpSize s = image::readBmpSize(bitmaps + "W_001.bmp");
    EXPECT_EQ(s.width, 2339);
    EXPECT_EQ(s.height, 1654);
    EXPECT_EQ(s.bitsPerPixel, 8);
    // The re-send shapes it as the page first sent: turned once.
    ASSERT_TRUE(img.trimBMPFile("W_001", "W")) << loggedText();
    image::Image shaped = image::readBmp(bitmaps + "W_001.bmp");
    EXPECT_EQ(shaped.width(), 1200);
    EXPECT_EQ(shaped.height(), 1728);
    EXPECT_LT(shaped.row(1690)[60], 128);
    EXPECT_GT(shaped.row(40)[30], 128);
    ASSERT_TRUE(img.changeG3File("W_001"));
    EXPECT_EQ(testing::readThroughFax2tiff(g3s + "W_001.g3", home / "w.tif").width, 1728);
    // A copy that is not there is a failure, not a page.
    EXPECT_FALSE(img.changeBMPFile("M_001", "1"));
    EXPECT_TRUE(logged(errnum::FileNotFound, "changeBMPFile")) << loggedText();
    EXPECT_FALSE(fs::fileExists(bitmaps + "M_001.bmp"));
}

TEST_F(PageMembers, DeletionsReportWhatTheyCouldNotDo) {
    image::writeBmp(bitmaps + "P.bmp", image::Image(8, 8, image::PixelFormat::Gray8), 8);
    FaxRepImg img;
    EXPECT_TRUE(img.deleteBMPFile("P"));
    EXPECT_FALSE(fs::fileExists(bitmaps + "P.bmp"));
    EXPECT_FALSE(img.deleteBMPFile("P"));
    EXPECT_TRUE(logged(errnum::FileNotFound, "deleteBMPFile"));
    for (const char* bad : {"../P", "", "a/b"}) {
        EXPECT_FALSE(img.deleteBMPFile(bad)) << bad;
        EXPECT_FALSE(img.changeG3File(bad)) << bad;
        EXPECT_FALSE(img.changeMSFFile(bad, true)) << bad;
    }
    EXPECT_TRUE(logged(errnum::BadFileNameOrNumber, "changeMSFFile"));
    // A G3 page of a bitmap that is not there: the engine's status is logged.
    EXPECT_FALSE(img.changeG3File("NONE"));
    EXPECT_TRUE(logged(5, "changeG3File")) << loggedText();
}

TEST_F(PageMembers, DeletingTheG3PagesOfANumberStopsAtTheFirstThatIsMissing) {
    record("D", "注文書");
    FaxManageNum store;
    ASSERT_TRUE(store.subAddTempImageFileNames("D", {"D_001", "D_002", "D_003"}));
    fs::writeFileAtomic(g3s + "D_001.g3", "g3");
    fs::writeFileAtomic(g3s + "D_003.g3", "g3");
    FaxRepImg img;
    EXPECT_FALSE(img.delG3FromManageNo("D"));
    EXPECT_FALSE(fs::fileExists(g3s + "D_001.g3"));
    EXPECT_TRUE(fs::fileExists(g3s + "D_003.g3"));
    bool found = false;
    for (const ErrorLogEntry& e : log.log->entries())
        if (e.number == FaxRepImg::kDeleteG3Error && e.source == "FaxRepImg" && e.description == "帳票管理番号=D") found = true;
    EXPECT_TRUE(found) << loggedText();

    for (const char* p : {"D_001.g3", "D_002.g3"}) fs::writeFileAtomic(g3s + p, "g3");
    EXPECT_TRUE(img.delG3FromManageNo("D"));
    EXPECT_TRUE(files(g3s).empty());
    record("E", "注文書");  // no pages
    EXPECT_TRUE(img.delG3FromManageNo("E"));
}

TEST_F(PageMembers, NewPagesAreNumberedOnAfterTheHighestKeptInEitherFolder) {
    for (const char* p : {"E1_050.jpg", "EE_090.jpg", "X_020.jpg"}) fs::writeFileAtomic(jpgs + p, "jpg");
    for (int asked = 0; asked < 2; ++asked) EXPECT_EQ(pellior::freshPageNames("E", 2), (Names{"E_001", "E_002"}));
    // Kept after the folders were looked at: a gap, another
    // spelling, a long suffix; and the pages of other layouts.
    for (const char* p : {"E_001.jpg", "e_004.JPG"}) fs::writeFileAtomic(jpgs + p, "jpg");
    EXPECT_EQ(pellior::freshPageNames("E", 1), Names{"E_005"});
    fs::writeFileAtomic(g3s + "E_0000012.g3", "g3");
    fs::writeFileAtomic(g3s + "E2_030.g3", "g3");
    EXPECT_EQ(pellior::freshPageNames("E", 2), (Names{"E_013", "E_014"}));
    EXPECT_TRUE(fs::removeFile(g3s + "E_0000012.g3"));
    EXPECT_EQ(pellior::freshPageNames("e", 1), Names{"e_005"});
}

}  // namespace
}  // namespace fg
