#include "platform/layout/page_plan.h"

#include <algorithm>
#include <functional>
#include <set>

namespace fg::layout {

namespace {

struct Band {
    int first, last;
};

// Cuts first..last into bands no longer than the room a band starting at a
// given item has; a break starts a band. An item longer than the room gets a
// band of its own and is cut off at the page edge, as a printer does with a
// column wider than the paper.
std::vector<Band> cut(int first, int last, const std::function<double(int)>& room,
                      const std::function<double(int)>& size, const std::vector<int>& breaks) {
    std::vector<Band> bands;
    int start = first;
    double used = 0;
    for (int i = first; i <= last; ++i) {
        const double s = size(i);
        const bool manual = i != start && std::binary_search(breaks.begin(), breaks.end(), i);
        // A small tolerance keeps a band that fits to the hundredth of a point.
        if (i != start && (manual || (s > 0 && used + s > room(start) + 0.01))) {
            bands.push_back({start, i - 1});
            start = i;
            used = 0;
        }
        used += s;
    }
    bands.push_back({start, last});
    return bands;
}

// The title rows above `row`, within the printed rows.
std::vector<RowSpan> titlesAbove(const std::vector<RowSpan>& titles, int row, int lastPrinted) {
    std::vector<RowSpan> out;
    for (const RowSpan& t : titles) {
        const int last = std::min({t.last, row - 1, lastPrinted});
        if (t.first <= last) out.push_back({t.first, last});
    }
    return out;
}

// The last row of the list that the title rows head: the rows right below
// the last title row, up to the first row that holds no cell (the blank row
// that sets a form's closing lines apart). 0 when no row follows the titles.
int lastListRow(const Sheet& sheet, int lastPrinted) {
    int lastTitle = 0;
    for (const RowSpan& t : sheet.pageSetup.titleRows) lastTitle = std::max(lastTitle, t.last);
    if (lastTitle == 0) return 0;
    std::set<int> filled;
    for (const auto& [ref, cell] : sheet.cells) filled.insert(ref.row);
    int row = lastTitle;
    while (row < lastPrinted && filled.count(row + 1)) ++row;
    return row > lastTitle ? row : 0;
}

}  // namespace

PagePlan planPages(const Workbook& workbook, const Sheet& sheet) {
    auto used = workbook.usedArea(sheet);
    if (!used) layoutError("シート \"" + sheet.name + "\" に印刷するものがありません");
    const PageSetup& p = sheet.pageSetup;
    const double scale = p.zoom / 100.0;
    const double width = (p.paperWidth() - p.leftMargin - p.rightMargin) / scale;
    const double footer = p.footer.empty() ? 0 : kFooterBand;
    const double height = (p.paperHeight() - p.topMargin - p.bottomMargin - footer) / scale;

    auto rowHeight = [&](int r) { return sheet.rowHeight(r); };
    auto titleHeight = [&](int row) {
        double h = 0;
        for (const RowSpan& t : titlesAbove(p.titleRows, row, used->last.row))
            for (int r = t.first; r <= t.last; ++r) h += rowHeight(r);
        return h;
    };
    // Titles that would leave less than half a page are not repeated: a
    // continued page must still carry its own rows.
    const bool repeat = !p.titleRows.empty() && titleHeight(used->last.row + 1) <= height / 2;
    auto rowRoom = [&](int start) { return repeat && start > used->first.row ? height - titleHeight(start) : height; };

    auto columns = cut(used->first.column, used->last.column, [&](int) { return width; },
                       [&](int c) { return sheet.columnWidth(c); }, sheet.columnBreaks);
    // Counted before any page is built: a sheet of 256 narrow columns and
    // 65536 rows must not become a plan of millions of pages.
    auto rows = cut(used->first.row, used->last.row, rowRoom, rowHeight, sheet.rowBreaks);
    // A page that would carry only a list's closing lines (a note, the
    // sender) under the repeated headings, no row of the list itself, costs
    // the supplier a page of line time and puzzles the reader: the list's
    // last row goes over with them, where the room allows and no manual
    // break stands between.
    if (const int listEnd = lastListRow(sheet, used->last.row); listEnd && rows.size() >= 2) {
        Band& before = rows[rows.size() - 2];
        Band& last = rows.back();
        double needed = 0;
        for (int r = listEnd; r <= last.last; ++r) needed += rowHeight(r);
        if (last.first > listEnd && before.first < listEnd && before.last >= listEnd &&
            !std::binary_search(sheet.rowBreaks.begin(), sheet.rowBreaks.end(), last.first) &&
            needed <= rowRoom(listEnd) + 0.01) {
            before.last = listEnd - 1;
            last.first = listEnd;
        }
    }
    if (columns.size() * rows.size() > static_cast<std::size_t>(kMaxPages))
        layoutError("シート \"" + sheet.name + "\" は " + std::to_string(columns.size() * rows.size()) +
                    " ページになり、" + std::to_string(kMaxPages) + " ページを超えます");
    PagePlan plan;
    plan.printed = *used;
    for (const Band& c : columns)
        for (const Band& r : rows) {
            PagePlan::Page page{r.first, r.last, c.first, c.last, {}};
            if (repeat && r.first > used->first.row) page.titles = titlesAbove(p.titleRows, r.first, used->last.row);
            plan.pages.push_back(std::move(page));
        }
    return plan;
}

}  // namespace fg::layout
