// Layout workbooks: the sheets that the fax printer prints.
//
// A workbook is what the document builder lays a fax document out as and
// what the page pipeline prints. It keeps only what printing needs: sheets
// with column widths, row heights, cells holding display text and a style,
// merged areas, page set-up and manual page breaks. Every length is in
// points (1/72 inch); rows and columns are numbered from 1, as people who
// write layouts count them.
//
// The file form is in workbook_file.h.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace fg::layout {

// Bounds of a sheet. They are the old workbook bounds, and they keep a
// hand-edited or hostile layout from asking the renderer for millions of
// pages.
inline constexpr int kMaxRows = 65536;
inline constexpr int kMaxColumns = 256;
inline constexpr std::size_t kMaxTextUnits = 32767;  // UTF-16 units per cell

// The error number of every layout failure (a file that is no layout, a
// sheet that cannot be printed, a printed file that cannot be exported).
inline constexpr long kLayoutError = 1004;
[[noreturn]] void layoutError(const std::string& why);

struct Color {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Color&) const = default;
};

enum class HAlign { Left, Center, Right };
enum class VAlign { Top, Middle, Bottom };
// Ordered by weight: where two cells give one edge different lines, the
// heavier one is drawn.
enum class LineStyle { None, Hair, Dotted, Dashed, Thin, Medium, Double, Thick };

struct Borders {
    LineStyle left = LineStyle::None;
    LineStyle top = LineStyle::None;
    LineStyle right = LineStyle::None;
    LineStyle bottom = LineStyle::None;
    bool operator==(const Borders&) const = default;
};

struct Font {
    std::string family = "IPAGothic";
    double size = 10.0;  // points
    bool bold = false;
    bool italic = false;
    bool underline = false;
    Color color{};
    bool operator==(const Font&) const = default;
};

struct CellStyle {
    Font font;
    HAlign halign = HAlign::Left;
    VAlign valign = VAlign::Bottom;
    bool wrap = false;
    std::optional<Color> fill;
    Borders borders;
    bool operator==(const CellStyle&) const = default;
};

struct CellRef {
    int row = 1;
    int column = 1;
    bool operator==(const CellRef&) const = default;
    auto operator<=>(const CellRef&) const = default;
};

// A rectangle of cells, both corners included.
struct Area {
    CellRef first;
    CellRef last;
    bool operator==(const Area&) const = default;
    [[nodiscard]] bool contains(CellRef c) const {
        return c.row >= first.row && c.row <= last.row && c.column >= first.column && c.column <= last.column;
    }
    [[nodiscard]] bool overlaps(const Area& o) const {
        return first.row <= o.last.row && o.first.row <= last.row && first.column <= o.last.column &&
               o.first.column <= last.column;
    }
};

struct Cell {
    std::string text;    // UTF-8 display text; "\n" breaks a line
    std::string style;   // id in Workbook::styles; "" takes the style "Default"
    bool operator==(const Cell&) const = default;
};

enum class Orientation { Portrait, Landscape };

// Rows first..last, both included.
struct RowSpan {
    int first = 1, last = 1;
    bool operator==(const RowSpan&) const = default;
};

struct PageSetup {
    Orientation orientation = Orientation::Portrait;
    // Paper is A4; the printed area lies inside these margins.
    double leftMargin = 36, rightMargin = 36, topMargin = 36, bottomMargin = 36;
    int zoom = 100;  // percent, 10..400
    // Rows printed again at the top of every page after the first that
    // continues below them (a form's title, addressee and column headings),
    // in row order.
    std::vector<RowSpan> titleRows;
    // A line printed at the foot of every page, centred: "&P" stands for the
    // page number, "&N" for the number of pages, "&&" for "&". Empty: none.
    std::string footer;
    bool operator==(const PageSetup&) const = default;

    static constexpr double kA4Width = 595.2756;   // 210 mm
    static constexpr double kA4Height = 841.8898;  // 297 mm
    double paperWidth() const { return orientation == Orientation::Portrait ? kA4Width : kA4Height; }
    double paperHeight() const { return orientation == Orientation::Portrait ? kA4Height : kA4Width; }
};

class Sheet {
public:
    std::string name = "Sheet1";
    PageSetup pageSetup;
    double defaultColumnWidth = 48;
    double defaultRowHeight = 18;
    std::map<int, double> columnWidths;  // column -> width, where not the default
    std::map<int, double> rowHeights;    // row -> height, where not the default
    std::map<CellRef, Cell> cells;
    std::vector<Area> merges;
    std::vector<int> rowBreaks;     // rows that begin a new page
    std::vector<int> columnBreaks;  // columns that begin a new page

    double columnWidth(int column) const;
    double rowHeight(int row) const;
    const Cell* cell(CellRef ref) const;
    // The merged area that holds the cell, if any.
    const Area* mergeAt(CellRef ref) const;

    bool operator==(const Sheet&) const = default;
};

class Workbook {
public:
    // Cells that name no style take this one when the workbook has it, and
    // the built-in defaults of CellStyle otherwise.
    static constexpr const char* kDefaultStyle = "Default";

    std::map<std::string, CellStyle> styles;  // by id
    std::vector<Sheet> sheets;

    // The style of a cell. An id that names no style (the reader refuses
    // those, so only code can make one) gives the built-in defaults.
    const CellStyle& styleOf(const Cell& cell) const;
    // The cells of a sheet that printing covers: from A1 to the last row and
    // column that hold anything to print (text, a style with borders or
    // fill, a merge). nullopt for a blank sheet.
    std::optional<Area> usedArea(const Sheet& sheet) const;

    bool operator==(const Workbook&) const = default;
};

// "A1" <-> CellRef and "A1:C3" <-> Area. Parsing raises fg::Error for text
// that is no reference or lies outside the sheet bounds.
std::string columnName(int column);
std::string toString(CellRef ref);
std::string toString(const Area& area);
CellRef parseCellRef(const std::string& text);
Area parseArea(const std::string& text);  // a single cell is a 1x1 area

}  // namespace fg::layout
