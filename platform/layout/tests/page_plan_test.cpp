#include "platform/layout/page_plan.h"

#include "platform/error.h"

#include <gtest/gtest.h>

#include <tuple>

namespace fg::layout {
namespace {

// A sheet of `rows` x `columns` text cells, each cell 100 x 20 points, on a
// portrait page whose printed area is 500 x 700 points: 5 columns and 35
// rows to a page.
Workbook grid(int rows, int columns) {
    Workbook wb;
    Sheet s;
    s.pageSetup = PageSetup{Orientation::Portrait, 47.6378, 47.6378, 70.9449, 70.9449, 100};
    s.defaultColumnWidth = 100;
    s.defaultRowHeight = 20;
    for (int r = 1; r <= rows; ++r)
        for (int c = 1; c <= columns; ++c) s.cells[{r, c}] = Cell{"x", ""};
    wb.sheets.push_back(s);
    return wb;
}

std::vector<std::array<int, 4>> pages(const Workbook& wb) {
    std::vector<std::array<int, 4>> out;
    for (const auto& p : planPages(wb, wb.sheets[0]).pages)
        out.push_back({p.firstRow, p.lastRow, p.firstColumn, p.lastColumn});
    return out;
}

TEST(PagePlan, CutsAtTheEdgesAndRunsDownThenOver) {
    using P = std::vector<std::array<int, 4>>;
    EXPECT_EQ(pages(grid(35, 5)), (P{{1, 35, 1, 5}}));
    EXPECT_EQ(pages(grid(36, 6)), (P{{1, 35, 1, 5}, {36, 36, 1, 5}, {1, 35, 6, 6}, {36, 36, 6, 6}}));

    Workbook breaks = grid(40, 3);
    breaks.sheets[0].rowBreaks = {10, 30};
    breaks.sheets[0].columnBreaks = {3};
    EXPECT_EQ(pages(breaks), (P{{1, 9, 1, 2}, {10, 29, 1, 2}, {30, 40, 1, 2},
                                {1, 9, 3, 3}, {10, 29, 3, 3}, {30, 40, 3, 3}}));

    // A column wider than the paper gets a page of its own (and is cut off);
    // a hidden column never forces a page.
    Workbook wide = grid(2, 4);
    wide.sheets[0].columnWidths = {{2, 900}, {3, 0}};
    EXPECT_EQ(pages(wide), (P{{1, 2, 1, 1}, {1, 2, 2, 3}, {1, 2, 4, 4}}));

    // Half the zoom, twice the room.
    Workbook zoomed = grid(70, 10);
    zoomed.sheets[0].pageSetup.zoom = 50;
    EXPECT_EQ(pages(zoomed), (P{{1, 70, 1, 10}}));
}

TEST(PagePlan, ContinuedPagesRepeatTheTitleRowsAndAFooterTakesItsBand) {
    using P = std::vector<std::array<int, 4>>;
    struct Case {
        const char* what;
        std::vector<RowSpan> titles;
        std::string footer;
        P pages;
        std::vector<std::vector<RowSpan>> titlesOfPages;
    } cases[] = {
        // 35 rows of 20 points to a page; two title rows leave 33 on the next.
        {"two title rows", {{1, 2}}, "", P{{1, 35, 1, 5}, {36, 68, 1, 5}, {69, 80, 1, 5}},
         {{}, {{1, 2}}, {{1, 2}}}},
        {"title rows apart", {{1, 1}, {3, 3}}, "", P{{1, 35, 1, 5}, {36, 68, 1, 5}, {69, 80, 1, 5}},
         {{}, {{1, 1}, {3, 3}}, {{1, 1}, {3, 3}}}},
        // A footer's band of 14 points takes a row from every page.
        {"footer", {}, "&P / &N", P{{1, 34, 1, 5}, {35, 68, 1, 5}, {69, 80, 1, 5}}, {{}, {}, {}}},
        // Titles that would take more than half a page are not repeated.
        {"titles too tall", {{1, 20}}, "", P{{1, 35, 1, 5}, {36, 70, 1, 5}, {71, 80, 1, 5}}, {{}, {}, {}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Workbook wb = grid(80, 5);
        wb.sheets[0].pageSetup.titleRows = c.titles;
        wb.sheets[0].pageSetup.footer = c.footer;
        EXPECT_EQ(pages(wb), c.pages);
        std::vector<std::vector<RowSpan>> titles;
        for (const auto& p : planPages(wb, wb.sheets[0]).pages) titles.push_back(p.titles);
        EXPECT_EQ(titles, c.titlesOfPages);
    }
}

TEST(PagePlan, NoPageCarriesOnlyTheClosingLinesOfAList) {
    using P = std::vector<std::array<int, 4>>;
    // Two title rows, a list down to the row given, a blank row and a note.
    const std::tuple<int, std::vector<int>, P> cases[] = {
        {33, {}, P{{1, 35, 1, 5}}},
        {34, {}, P{{1, 33, 1, 5}, {34, 36, 1, 5}}},
        {67, {}, P{{1, 35, 1, 5}, {36, 66, 1, 5}, {67, 69, 1, 5}}},
        {34, {36}, P{{1, 35, 1, 5}, {36, 36, 1, 5}}},  // a manual break stands
    };
    for (const auto& [listEnd, breaks, expected] : cases) {
        Workbook wb = grid(listEnd, 5);
        wb.sheets[0].pageSetup.titleRows = {{1, 2}};
        wb.sheets[0].rowBreaks = breaks;
        wb.sheets[0].cells[{listEnd + 2, 1}] = Cell{"note", ""};
        EXPECT_EQ(pages(wb), expected) << listEnd;
    }
}

TEST(PagePlan, PrintsFromTheFirstCellToTheLastThatShows) {
    Workbook wb = grid(0, 0);
    Sheet& s = wb.sheets[0];
    CellStyle boxed;
    boxed.borders.bottom = LineStyle::Thin;
    wb.styles["box"] = boxed;
    wb.styles["plain"] = CellStyle{};
    s.cells[{3, 2}] = Cell{"", "box"};     // shows: a border
    s.cells[{90, 9}] = Cell{"", "plain"};  // shows nothing
    s.merges.push_back(Area{{5, 1}, {6, 7}});
    PagePlan plan = planPages(wb, s);
    EXPECT_EQ(plan.printed, (Area{{1, 1}, {6, 7}}));
    EXPECT_EQ(plan.pages.size(), 2u);  // seven columns of 100 points
}

TEST(PagePlan, RefusesABlankSheetAndEndlessPrints) {
    Workbook blank = grid(0, 0);
    blank.sheets[0].cells[{4, 4}] = Cell{"", ""};
    EXPECT_THROW(planPages(blank, blank.sheets[0]), Error);

    Workbook endless = grid(0, 0);
    endless.sheets[0].cells[{kMaxRows, kMaxColumns}] = Cell{"x", ""};
    try {
        planPages(endless, endless.sheets[0]);
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), kLayoutError);
    }
}

}  // namespace
}  // namespace fg::layout
