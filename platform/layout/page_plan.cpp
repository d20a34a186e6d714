#include "platform/layout/page_plan.h"

#include <algorithm>
#include <functional>

namespace fg::layout {

namespace {

struct Band {
    int first, last;
};

// Cuts first..last into bands no longer than `room`; a break starts a band.
// An item longer than the room gets a band of its own and is cut off at the
// page edge, as a printer does with a column wider than the paper.
std::vector<Band> cut(int first, int last, double room, const std::function<double(int)>& size,
                      const std::vector<int>& breaks) {
    std::vector<Band> bands;
    int start = first;
    double used = 0;
    for (int i = first; i <= last; ++i) {
        const double s = size(i);
        const bool manual = i != start && std::binary_search(breaks.begin(), breaks.end(), i);
        // A small tolerance keeps a band that fits to the hundredth of a point.
        if (i != start && (manual || (s > 0 && used + s > room + 0.01))) {
            bands.push_back({start, i - 1});
            start = i;
            used = 0;
        }
        used += s;
    }
    bands.push_back({start, last});
    return bands;
}

}  // namespace

PagePlan planPages(const Workbook& workbook, const Sheet& sheet) {
    auto used = workbook.usedArea(sheet);
    if (!used) layoutError("シート \"" + sheet.name + "\" に印刷するものがありません");
    const PageSetup& p = sheet.pageSetup;
    const double scale = p.zoom / 100.0;
    const double width = (p.paperWidth() - p.leftMargin - p.rightMargin) / scale;
    const double height = (p.paperHeight() - p.topMargin - p.bottomMargin) / scale;

    auto columns = cut(used->first.column, used->last.column, width, [&](int c) { return sheet.columnWidth(c); },
                       sheet.columnBreaks);
    // Counted before any page is built: a sheet of 256 narrow columns and
    // 65536 rows must not become a plan of millions of pages.
    auto rows = cut(used->first.row, used->last.row, height, [&](int r) { return sheet.rowHeight(r); },
                    sheet.rowBreaks);
    if (columns.size() * rows.size() > static_cast<std::size_t>(kMaxPages))
        layoutError("シート \"" + sheet.name + "\" は " + std::to_string(columns.size() * rows.size()) +
                    " ページになり、" + std::to_string(kMaxPages) + " ページを超えます");
    PagePlan plan;
    plan.printed = *used;
    for (const Band& c : columns)
        for (const Band& r : rows) plan.pages.push_back({r.first, r.last, c.first, c.last});
    return plan;
}

}  // namespace fg::layout
