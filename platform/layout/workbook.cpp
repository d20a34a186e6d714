#include "platform/layout/workbook.h"

#include "platform/error.h"

#include <algorithm>

namespace fg::layout {

void layoutError(const std::string& why) {
    throw Error(kLayoutError, "レイアウトを処理できません。(" + why + ")", "layout");
}

double Sheet::columnWidth(int column) const {
    auto it = columnWidths.find(column);
    return it == columnWidths.end() ? defaultColumnWidth : it->second;
}

double Sheet::rowHeight(int row) const {
    auto it = rowHeights.find(row);
    return it == rowHeights.end() ? defaultRowHeight : it->second;
}

const Cell* Sheet::cell(CellRef ref) const {
    auto it = cells.find(ref);
    return it == cells.end() ? nullptr : &it->second;
}

const Area* Sheet::mergeAt(CellRef ref) const {
    for (const Area& a : merges)
        if (a.contains(ref)) return &a;
    return nullptr;
}

std::optional<Area> Workbook::usedArea(const Sheet& sheet) const {
    std::optional<Area> used;
    auto take = [&](CellRef a, CellRef b) {
        if (!used) {
            used = Area{a, b};
            return;
        }
        used->first.row = std::min(used->first.row, a.row);
        used->first.column = std::min(used->first.column, a.column);
        used->last.row = std::max(used->last.row, b.row);
        used->last.column = std::max(used->last.column, b.column);
    };
    for (const auto& [ref, c] : sheet.cells) {
        const CellStyle& st = styleOf(c);
        const Borders& b = st.borders;
        if (!c.text.empty() || st.fill || b.left != LineStyle::None || b.top != LineStyle::None ||
            b.right != LineStyle::None || b.bottom != LineStyle::None)
            take(ref, ref);
    }
    for (const Area& m : sheet.merges) take(m.first, m.last);
    // Printing always starts at A1, as a person expects of a form: a layout
    // that leaves its first rows empty keeps them as space on the page.
    if (used) used->first = CellRef{1, 1};
    return used;
}

const CellStyle& Workbook::styleOf(const Cell& cell) const {
    static const CellStyle kDefault;
    auto it = styles.find(cell.style.empty() ? std::string(kDefaultStyle) : cell.style);
    return it == styles.end() ? kDefault : it->second;
}

std::string columnName(int column) {
    std::string name;
    for (int c = column; c > 0; c = (c - 1) / 26) name.insert(name.begin(), static_cast<char>('A' + (c - 1) % 26));
    return name;
}

std::string toString(CellRef ref) { return columnName(ref.column) + std::to_string(ref.row); }

std::string toString(const Area& area) {
    if (area.first == area.last) return toString(area.first);
    return toString(area.first) + ":" + toString(area.last);
}

CellRef parseCellRef(const std::string& text) {
    std::size_t i = 0;
    long column = 0, row = 0;
    while (i < text.size() && ((text[i] >= 'A' && text[i] <= 'Z') || (text[i] >= 'a' && text[i] <= 'z'))) {
        column = column * 26 + ((text[i] & ~0x20) - 'A' + 1);
        if (column > kMaxColumns) layoutError("列が範囲外です: " + text);
        ++i;
    }
    const std::size_t digits = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        row = row * 10 + (text[i] - '0');
        if (row > kMaxRows) layoutError("行が範囲外です: " + text);
        ++i;
    }
    if (column == 0 || i == digits || i != text.size() || row == 0) layoutError("セル参照が不正です: " + text);
    return CellRef{static_cast<int>(row), static_cast<int>(column)};
}

Area parseArea(const std::string& text) {
    std::size_t colon = text.find(':');
    if (colon == std::string::npos) {
        CellRef c = parseCellRef(text);
        return Area{c, c};
    }
    CellRef a = parseCellRef(text.substr(0, colon));
    CellRef b = parseCellRef(text.substr(colon + 1));
    // Corners may come in any order, as people write them.
    return Area{CellRef{std::min(a.row, b.row), std::min(a.column, b.column)},
                CellRef{std::max(a.row, b.row), std::max(a.column, b.column)}};
}

}  // namespace fg::layout
