// How a sheet falls onto pages: the printed cells are cut into page-sized
// bands of columns and of rows, at the manual breaks and wherever the next
// column or row would not fit, and the pages run down first, then over, as
// a person reading a wide form expects.
//
// A page after the first of its column band begins with the sheet's title
// rows that lie above it (PageSetup::titleRows), so that a continued list
// still shows its title, headings and number; its own rows get the room that
// is left. A sheet with a footer keeps a band at the foot of every page for
// it. The list below the title rows (the rows down to the first row without
// a cell) never ends on the page before its closing lines: no page carries
// the headings and closing lines without a row of the list.
#pragma once

#include "platform/layout/workbook.h"

#include <vector>

namespace fg::layout {

struct PagePlan {
    struct Page {
        int firstRow = 1, lastRow = 1;
        int firstColumn = 1, lastColumn = 1;
        std::vector<RowSpan> titles;  // printed above the page's rows, in order
    };
    std::vector<Page> pages;
    Area printed;  // the cells printing covers
};

// More pages than this is no fax: it is refused rather than printed for hours.
inline constexpr int kMaxPages = 999;

// The band a footer takes at the foot of the printed area, in points of paper.
inline constexpr double kFooterBand = 14;

// Raises kLayoutError for a blank sheet (nothing to print) and for a sheet
// that would give more than kMaxPages pages.
PagePlan planPages(const Workbook& workbook, const Sheet& sheet);

}  // namespace fg::layout
