#include "platform/layout/workbook.h"
#include "platform/layout/workbook_file.h"

#include "platform/error.h"
#include "platform/files.h"
#include "platform/testing/temp_home.h"
#include "platform/text.h"

#include <gtest/gtest.h>

namespace fg::layout {
namespace {

Workbook everyFeature() {
    Workbook wb;
    CellStyle title;
    title.font = Font{"IPAMincho", 18.5, true, true, true, Color{0x12, 0x34, 0x56}};
    title.halign = HAlign::Center;
    title.valign = VAlign::Middle;
    title.wrap = true;
    title.fill = Color{0xE0, 0xE0, 0xE0};
    title.borders = Borders{LineStyle::Hair, LineStyle::Double, LineStyle::Dashed, LineStyle::Thick};
    wb.styles["title"] = title;
    CellStyle plain;
    plain.halign = HAlign::Right;
    plain.valign = VAlign::Top;
    plain.borders = Borders{LineStyle::Thin, LineStyle::Medium, LineStyle::Dotted, LineStyle::None};
    wb.styles["Default"] = plain;

    Sheet s;
    s.name = "注文書";
    s.pageSetup = PageSetup{Orientation::Landscape, 1, 2.5, 20, 0, 85, {{1, 3}, {7, 7}}, "&P / &N 頁"};
    s.defaultColumnWidth = 50.25;
    s.defaultRowHeight = 17;
    s.columnWidths = {{1, 30}, {3, 0}, {256, 100}};
    s.rowHeights = {{1, 40}, {65536, 12}};
    s.cells[{1, 1}] = Cell{"注　文　書", "title"};
    s.cells[{2, 3}] = Cell{"一行目\n二行目 & <tag> \"引用\"", ""};
    s.cells[{3, 2}] = Cell{"", "title"};
    s.merges = {Area{{1, 1}, {1, 9}}, Area{{4, 2}, {6, 3}}};
    s.rowBreaks = {29, 60};
    s.columnBreaks = {10};
    wb.sheets.push_back(s);
    Sheet second;
    second.name = "Sheet2";
    second.cells[{1, 1}] = Cell{"二枚目", ""};
    wb.sheets.push_back(second);
    return wb;
}

TEST(LayoutFile, WritesAndReadsBackEveryFeature) {
    testing::TempDir dir;
    Workbook wb = everyFeature();
    writeWorkbook(dir / "1.xls", wb);
    Workbook back = readWorkbook(dir / "1.xls");
    EXPECT_EQ(back, wb);
    // Names are read without regard to case.
    EXPECT_EQ(readWorkbook(dir / "1.XLS"), wb);
    EXPECT_EQ(parseWorkbook(serializeWorkbook(back)), wb);
}

TEST(LayoutFile, AreaStylesAndLaterCellsOverride) {
    Workbook wb = parseWorkbook(R"(<Workbook><Styles><Style id="g" border="thin"/><Style id="h" bold="1"/></Styles>
      <Sheet><Cells>
        <Cell ref="C3:B2" style="g"/>
        <Cell ref="B2">見出し</Cell>
        <Cell ref="C3" style="h"/>
        <Cell ref="C3">後</Cell>
        <Cell ref="D4"/>
      </Cells></Sheet></Workbook>)");
    const Sheet& s = wb.sheets.at(0);
    EXPECT_EQ(s.name, "Sheet1");
    EXPECT_EQ(s.cells.size(), 4u);  // D4 carries nothing and is dropped
    EXPECT_EQ(*s.cell({2, 2}), (Cell{"見出し", "g"}));
    EXPECT_EQ(*s.cell({2, 3}), (Cell{"", "g"}));
    EXPECT_EQ(*s.cell({3, 3}), (Cell{"後", "h"}));
    EXPECT_TRUE(wb.styleOf(*s.cell({3, 3})).font.bold);
    EXPECT_EQ(wb.styleOf(*s.cell({2, 2})).borders.left, LineStyle::Thin);
    // Without a "Default" style a plain cell takes the built-in defaults.
    EXPECT_EQ(wb.styleOf(Cell{"x", ""}), CellStyle{});
}

TEST(LayoutFile, ReadsShiftJisLayouts) {
    testing::TempDir dir;
    std::string xml = "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><Workbook><Sheet name=\"" + text::toCp932("帳票") +
                      "\"><Cells><Cell ref=\"A1\">" + text::toCp932("ＦＡＸ送信テスト") +
                      "</Cell></Cells></Sheet></Workbook>";
    fs::writeFileAtomic(dir / "sjis.xls", xml);
    Workbook wb = readWorkbook(dir / "sjis.xls");
    EXPECT_EQ(wb.sheets.at(0).name, "帳票");
    EXPECT_EQ(wb.sheets.at(0).cell({1, 1})->text, "ＦＡＸ送信テスト");
}

TEST(LayoutFile, ReadsTheShippedLayouts) {
    const std::string folder = testing::sourceDir() + "demo/home/ExcelLayout/";
    Workbook order = readWorkbook(folder + "202401150930000001.xls");
    ASSERT_EQ(order.sheets.size(), 1u);
    EXPECT_EQ(order.sheets[0].pageSetup.orientation, Orientation::Landscape);
    EXPECT_EQ(order.sheets[0].rowBreaks, std::vector<int>{29});
    EXPECT_EQ(order.sheets[0].cell({1, 1})->text, "注　文　書");
    Workbook form = readWorkbook(folder + "202401150930000002.xls");
    EXPECT_EQ(form.sheets.at(0).pageSetup.orientation, Orientation::Portrait);
    EXPECT_FALSE(form.sheets[0].merges.empty());
}

TEST(LayoutFile, RefusesWhatItWouldHaveToGuess) {
    struct Case {
        const char* what;
        std::string xml;
        const char* reason;  // a part of the description
    } cases[] = {
        {"not XML", "<Workbook>", ""},
        {"wrong root", "<Book><Sheet/></Book>", "Workbook"},
        {"no sheet", "<Workbook><Styles/></Workbook>", "シート"},
        {"unknown element", "<Workbook><Sheet><Chart/></Sheet></Workbook>", "Chart"},
        {"unknown attribute", "<Workbook><Sheet><PageSetup orientaton=\"portrait\"/></Sheet></Workbook>", "orientaton"},
        {"bad orientation", "<Workbook><Sheet><PageSetup orientation=\"sideways\"/></Sheet></Workbook>", "sideways"},
        {"text where none belongs", "<Workbook><Sheet>本文</Sheet></Workbook>", "Sheet"},
        {"bad number", "<Workbook><Sheet><Columns defaultWidth=\"1,5\"/></Sheet></Workbook>", "1,5"},
        {"negative width", "<Workbook><Sheet><Columns><Column index=\"1\" width=\"-3\"/></Columns></Sheet></Workbook>",
         "-3"},
        {"column out of bounds",
         "<Workbook><Sheet><Columns><Column index=\"257\" width=\"3\"/></Columns></Sheet></Workbook>", "257"},
        {"font too large", "<Workbook><Styles><Style id=\"a\" size=\"500\"/></Styles><Sheet/></Workbook>", "500"},
        {"bad colour", "<Workbook><Styles><Style id=\"a\" fill=\"red\"/></Styles><Sheet/></Workbook>", "red"},
        {"bad line", "<Workbook><Styles><Style id=\"a\" border=\"wavy\"/></Styles><Sheet/></Workbook>", "wavy"},
        {"bad boolean", "<Workbook><Styles><Style id=\"a\" bold=\"yes\"/></Styles><Sheet/></Workbook>", "yes"},
        {"style twice", "<Workbook><Styles><Style id=\"a\"/><Style id=\"a\"/></Styles><Sheet/></Workbook>", "\"a\""},
        {"style without id", "<Workbook><Styles><Style/></Styles><Sheet/></Workbook>", "id"},
        {"undefined style", "<Workbook><Sheet><Cells><Cell ref=\"A1\" style=\"x\"/></Cells></Sheet></Workbook>", "\"x\""},
        {"text on an area", "<Workbook><Sheet><Cells><Cell ref=\"A1:B2\">x</Cell></Cells></Sheet></Workbook>", "A1:B2"},
        {"cell beyond the columns", "<Workbook><Sheet><Cells><Cell ref=\"IW1\">x</Cell></Cells></Sheet></Workbook>",
         "IW1"},
        {"cell beyond the rows", "<Workbook><Sheet><Cells><Cell ref=\"A65537\">x</Cell></Cells></Sheet></Workbook>",
         "A65537"},
        {"no reference", "<Workbook><Sheet><Cells><Cell>x</Cell></Cells></Sheet></Workbook>", "セル参照"},
        {"overlapping merges",
         "<Workbook><Sheet><Merges><Merge ref=\"A1:C3\"/><Merge ref=\"C3:D4\"/></Merges></Sheet></Workbook>", "C3:D4"},
        {"break on the first row", "<Workbook><Sheet><PageBreaks><RowBreak row=\"1\"/></PageBreaks></Sheet></Workbook>",
         "row"},
        {"margins that eat the page",
         "<Workbook><Sheet><PageSetup leftMargin=\"300\" rightMargin=\"300\"/></Sheet></Workbook>",
         "余白"},
        {"zoom out of range", "<Workbook><Sheet><PageSetup zoom=\"5\"/></Sheet></Workbook>", "zoom"},
        {"title rows out of order", "<Workbook><Sheet><PageSetup titleRows=\"7,1:3\"/></Sheet></Workbook>", "7,1:3"},
        {"title rows backwards", "<Workbook><Sheet><PageSetup titleRows=\"3:1\"/></Sheet></Workbook>", "3:1"},
        {"title rows no number", "<Workbook><Sheet><PageSetup titleRows=\"1:x\"/></Sheet></Workbook>", "1:x"},
        {"title row beyond the rows", "<Workbook><Sheet><PageSetup titleRows=\"65537\"/></Sheet></Workbook>", "65537"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            parseWorkbook(c.xml);
            ADD_FAILURE() << "accepted";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), kLayoutError);
            EXPECT_NE(e.description().find(c.reason), std::string::npos) << e.description();
        }
    }
}

TEST(LayoutFile, MissingFileIsFileNotFound) {
    testing::TempDir dir;
    try {
        readWorkbook(dir / "none.xls");
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), errnum::FileNotFound);
    }
}

TEST(CellReferences, ParseAndPrint) {
    struct Case {
        const char* text;
        CellRef ref;
        const char* printed;
    } cases[] = {
        {"A1", {1, 1}, "A1"},       {"z9", {9, 26}, "Z9"},          {"AA10", {10, 27}, "AA10"},
        {"IV65536", {65536, 256}, "IV65536"}, {"Az3", {3, 52}, "AZ3"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parseCellRef(c.text), c.ref) << c.text;
        EXPECT_EQ(toString(c.ref), c.printed);
    }
    EXPECT_EQ(parseArea("C5:A1"), (Area{{1, 1}, {5, 3}}));
    EXPECT_EQ(toString(Area{{1, 1}, {5, 3}}), "A1:C5");
    EXPECT_EQ(toString(parseArea("B2")), "B2");
    for (const char* bad : {"", "1A", "A0", "A", "A1B", "A-1", "AAA1", "A1:", ":B2", "A 1"}) {
        EXPECT_THROW(parseArea(bad), Error) << bad;
    }
}

}  // namespace
}  // namespace fg::layout
